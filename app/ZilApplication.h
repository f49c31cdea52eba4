#pragma once

#include <QApplication>

// The application object. An exception that leaves any event handler ends up here and is shown
// in the error box; the event loop then simply goes on.
class ZilApplication : public QApplication {
public:
    ZilApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
