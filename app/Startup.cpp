#include "Startup.h"

#include "AnaSayfa.h"
#include "Hakkinda.h"
#include "ZilApplication.h"

int runProgram(ZilApplication &app)
{
    TfrmMenu frmMenu;
    TfrmAbout frmAbout;
    QObject::connect(&frmMenu, &TfrmMenu::HakkindaIstendi, &frmAbout, &TfrmAbout::ShowAbout);
    frmMenu.show();
    return app.exec();
}
