#include "ZilApplication.h"

#include "ErrorBox.h"
#include "ZilError.h"

#include <QDebug>

ZilApplication::ZilApplication(int &argc, char **argv)
    : QApplication(argc, argv) {}

namespace {
void unexpected(QObject *receiver, const QString &message) {
    qWarning().noquote() << "An error left a handler of" << receiver->metaObject()->className()
                         << "unhandled:" << message;
    showErrorBox(message);
}
} // namespace

bool ZilApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const ZilError &error) {
        unexpected(receiver, error.message());
    } catch (const std::exception &error) {
        unexpected(receiver, QString::fromLocal8Bit(error.what()));
    }
    return false;
}
