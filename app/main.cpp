#include "Startup.h"
#include "ZilApplication.h"

int main(int argc, char *argv[])
{
    // The web panel's browser engine needs this before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ZilApplication app(argc, argv);
    return runProgram(app);
}
