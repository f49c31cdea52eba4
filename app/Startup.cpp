#include "Startup.h"

#include "AnaSayfa.h"
#include "Duzenleme.h"
#include "Hakkinda.h"
#include "ZilApplication.h"

void connectWindows(TfrmMenu &frmMenu, TfrmDuzenleme &frmDuzenleme, TfrmAbout &frmAbout) {
    QObject::connect(&frmMenu, &TfrmMenu::EditorIstendi, &frmDuzenleme,
                     [&frmDuzenleme](int editorKipi, int gunIndex) {
                         frmDuzenleme.setEditorKipi(editorKipi);
                         frmDuzenleme.setGunIndex(gunIndex);
                         frmDuzenleme.ShowEditor();
                     });
    QObject::connect(&frmMenu, &TfrmMenu::HakkindaIstendi, &frmAbout, &TfrmAbout::ShowAbout);
}

int runProgram(ZilApplication &app, const std::function<bool()> &online) {
    // The main window first: its creation opens the schedule and starts the clock.
    TfrmMenu frmMenu(nullptr, online);
    TfrmDuzenleme frmDuzenleme(frmMenu.ADOSorgu(), [&frmMenu] { frmMenu.ListeyiDoldur(); });
    TfrmAbout frmAbout;
    connectWindows(frmMenu, frmDuzenleme, frmAbout);

    frmMenu.show();
    return app.exec();
}
