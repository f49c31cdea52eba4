#include "ZilApplication.h"

#include <QLabel>

int main(int argc, char *argv[])
{
    ZilApplication app(argc, argv);
    QLabel Saat;
    Saat.setWindowTitle(QStringLiteral("Selvanor Zil Sistemi"));
    Saat.show();
    return app.exec();
}
