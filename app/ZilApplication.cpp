#include "ZilApplication.h"

#include "ErrorBox.h"
#include "ZilError.h"

ZilApplication::ZilApplication(int &argc, char **argv)
    : QApplication(argc, argv) {}

bool ZilApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const ZilError &error) {
        showErrorBox(error.message());
    } catch (const std::exception &error) {
        showErrorBox(QString::fromLocal8Bit(error.what()));
    }
    return false;
}
