#include "ServiceProcess.h"

bool startAsService(QProcess &service, const QString &program, const QString &mode) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    service.setProcessEnvironment(env);
    service.start(program, {mode});
    return service.waitForStarted();
}
