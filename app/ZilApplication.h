#pragma once

#include <QApplication>

// ZilApplication, the application object. Our handlers show their own errors where Qt calls
// them (runHandler); an exception that still reaches the event dispatch is a fault, which this
// last net logs and shows before the event loop goes on.
class ZilApplication : public QApplication {
public:
    ZilApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
