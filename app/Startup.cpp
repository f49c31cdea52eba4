#include "Startup.h"

#include "ErrorBox.h"
#include "GstMediaLayer.h"
#include "ProgramValues.h"
#include "SingleInstance.h"
#include "ZilApplication.h"

#include <QDebug>
#include <QDir>

namespace {
std::unique_ptr<MediaLayer> orProgramOutput(std::unique_ptr<MediaLayer> layer) {
    if (!layer)
        layer = std::make_unique<GstMediaLayer>(audioSinkDescription());
    return layer;
}
} // namespace

Program::Program(std::function<bool()> online, std::unique_ptr<MediaLayer> layer,
                 const QString &webSite)
    : m_dayCheck(m_store, showErrorNotice)
    , m_player(orProgramOutput(std::move(layer)))
    , m_clock(m_store, m_player, showErrorNotice)
    , m_menu(m_store, m_clock, m_player, std::move(online), webSite)
    , m_editor(m_store, [this] { m_menu.ListeyiDoldur(); })
    , m_history(m_store)
    , m_wizard(m_store, [this] { m_menu.ListeyiDoldur(); })
    , m_bulk(m_store, [this] { m_menu.ListeyiDoldur(); }) {
    m_clock.setPrepareAhead(true);
    QObject::connect(&m_clock, &BellClock::dayBegan, &m_dayCheck, &DayCheck::check);
    QObject::connect(&m_menu, &TfrmMenu::EditorIstendi, &m_editor,
                     [this](int editorKipi, int gunIndex, int kayitId) {
                         m_editor.setEditorKipi(editorKipi);
                         m_editor.setGunIndex(gunIndex);
                         m_editor.setKayitID(kayitId);
                         runHandler([this] { m_editor.ShowEditor(); });
                     });
    QObject::connect(&m_menu, &TfrmMenu::HakkindaIstendi, &m_about,
                     handled([this] { m_about.ShowAbout(); }));
    QObject::connect(&m_menu, &TfrmMenu::ZilGecmisiIstendi, &m_history,
                     handled([this] { m_history.ShowHistory(); }));
    QObject::connect(&m_menu, &TfrmMenu::SihirbazIstendi, &m_wizard,
                     handled([this] { m_wizard.ShowWizard(); }));
    QObject::connect(&m_menu, &TfrmMenu::TopluDegisiklikIstendi, &m_bulk,
                     [this](int gunIndex) { runHandler([&] { m_bulk.ShowFor(gunIndex); }); });
}

int runProgram(ZilApplication &app, const std::function<bool()> &online) {
    // Claimed before anything opens the schedule or the sound output: a second copy only shows
    // the first one's window.
    FolderClaim claim(programFolder());
    if (!claim.claim()) {
        if (claim.lockError() == QLockFile::LockFailedError) {
            if (claim.askRunningToShow())
                return 0;
            showMessage(nullptr, QStringLiteral("Zil programı bu klasörde zaten çalışıyor."));
            return 1;
        }
        // A folder the user cannot write to still rings: silence would be worse than the
        // small chance of a second copy.
        qWarning().noquote() << "The program folder cannot be claimed:"
                             << QDir::toNativeSeparators(programFolder());
    }
    Program program(online);
    QObject::connect(&claim, &FolderClaim::showRequested, &program.menu(),
                     [&program] { bringToFront(program.menu()); });
    program.menu().show();
    return app.exec();
}
