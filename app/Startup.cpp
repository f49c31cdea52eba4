#include "Startup.h"

#include "AnaSayfa.h"
#include "Duzenleme.h"
#include "Hakkinda.h"
#include "ZilApplication.h"

int runProgram(ZilApplication &app)
{
    // The main window first: its creation opens the schedule and starts the clock.
    TfrmMenu frmMenu;
    TfrmDuzenleme frmDuzenleme(frmMenu.ADOSorgu(), [&frmMenu] { frmMenu.ListeyiDoldur(); });
    TfrmAbout frmAbout;

    QObject::connect(&frmMenu, &TfrmMenu::EditorIstendi, &frmDuzenleme,
                     [&frmDuzenleme](int editorKipi, int gunIndex) {
                         frmDuzenleme.setEditorKipi(editorKipi);
                         frmDuzenleme.setGunIndex(gunIndex);
                         frmDuzenleme.ShowEditor();
                     });
    QObject::connect(&frmMenu, &TfrmMenu::HakkindaIstendi, &frmAbout, &TfrmAbout::ShowAbout);

    frmMenu.show();
    return app.exec();
}
