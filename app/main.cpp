#include "AnaSayfa.h"
#include "Startup.h"
#include "ZilApplication.h"

int main(int argc, char *argv[]) {
    // Asked once, before the application exists: only the web panel's browser engine needs
    // shared OpenGL contexts, and an offline program is spared the graphics stack they load.
    const bool online = TfrmMenu::machineIsOnline();
    if (online)
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ZilApplication app(argc, argv);
    return runProgram(app, [online] { return online; });
}
