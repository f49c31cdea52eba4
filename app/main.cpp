#include "AnaSayfa.h"
#include "NetworkService.h"
#include "Service.h"
#include "Startup.h"
#include "ZilApplication.h"

#include <QCoreApplication>

int main(int argc, char *argv[]) {
    // The background services have no window, so they need no display or graphics at all.
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--servis") == 0) {
            QCoreApplication app(argc, argv);
            return runService(app);
        } else if (qstrcmp(argv[i], "--ag") == 0) {
            QCoreApplication app(argc, argv);
            return runNetwork(app);
        }
    // Asked once, before the application exists: only the web panel's browser engine needs
    // shared OpenGL contexts, and an offline program is spared the graphics stack they load.
    const bool online = TfrmMenu::machineIsOnline();
    if (online)
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ZilApplication app(argc, argv);
    return runProgram(app, [online] { return online; });
}
