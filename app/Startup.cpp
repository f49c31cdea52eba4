#include "Startup.h"

#include "Autostart.h"
#include "Backup.h"
#include "CommandDesk.h"
#include "ErrorBox.h"
#include "OrtakProgram.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "ScheduleQuery.h"
#include "SingleInstance.h"
#include "StopSignals.h"
#include "Translations.h"
#include "WeekPrint.h"
#include "WindowLook.h"
#include "ZilApplication.h"

#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QTranslator>

namespace {
// What the service said when it did not do a command passed on to it; what is known when it
// said nothing.
QString serviceRefusal(const QString &said, const QString &undone) {
    if (!said.isEmpty())
        return QStringLiteral("Arka plandaki hizmet: %1").arg(said);
    return undone.isEmpty() ? QStringLiteral("Arka plandaki hizmet yanıt vermedi.")
                            : QStringLiteral("Arka plandaki hizmet yanıt vermedi; %1").arg(undone);
}
} // namespace

Program::Program(std::function<bool()> online, std::unique_ptr<MediaLayer> layer,
                 const QString &webSite)
    : m_bells(showErrorNotice, std::move(layer))
    , m_started(m_bells.start())
    , m_menu(m_bells.store(), m_bells.plan(), m_bells.player(), std::move(online), webSite)
    , m_editor(m_bells.store(), [this] { m_menu.ListeyiDoldur(); })
    , m_history(m_bells.store())
    , m_wizard(m_bells.store(), &m_bells.calendar(), [this] { m_menu.ListeyiDoldur(); })
    , m_bulk(m_bells.store(), [this] { m_menu.ListeyiDoldur(); })
    , m_tray(m_menu, m_bells.plan(), m_bells.calendar())
    , m_calendarWindow(m_bells.calendar(), &m_bells.store())
    , m_ceremonies(m_bells.store(), m_bells.calendar())
    , m_oneOffs(m_bells.store())
    , m_announcements(m_bells.store(), m_bells.player())
    , m_breakWindow(m_bells.breakMusic(), &m_menu) {
    // The wizard's replaced week and Toplu Değişiklik's deleted days are kept first.
    m_bells.store().setBeforeWholeDays([this] {
        try {
            Backup::keepBeforeAside(
                dataFolder(), QStringLiteral("degisiklik"), [](const QString &message) {
                    // The application outlives the windows.
                    QMetaObject::invokeMethod(
                        QCoreApplication::instance(), [message] { showErrorNotice(message); },
                        Qt::QueuedConnection);
                });
        } catch (const ZilError &error) {
            throw ZilError(QStringLiteral("Değişiklik yapılmadı: önce alınan yedek "
                                          "kaydedilemedi (") +
                           error.message() + QLatin1Char(')'));
        }
    });
    QObject::connect(&m_menu, &TfrmMenu::EditorIstendi, &m_editor,
                     [this](int editorKipi, int gunIndex, int kayitId) {
                         m_editor.setEditorKipi(editorKipi);
                         m_editor.setGunIndex(gunIndex);
                         m_editor.setKayitID(kayitId);
                         m_editor.setProgram(m_menu.chosenProgramme());
                         runHandler([this] { m_editor.ShowEditor(); });
                     });
    QObject::connect(&m_bells.clock(), &BellClock::SaatChanged, &m_menu, &TfrmMenu::showTime);
    QObject::connect(&m_menu, &TfrmMenu::HakkindaIstendi, &m_about,
                     handled([this] { m_about.ShowAbout(); }));
    QObject::connect(&m_menu, &TfrmMenu::ZilGecmisiIstendi, &m_history,
                     handled([this] { m_history.ShowHistory(); }));
    QObject::connect(&m_menu, &TfrmMenu::OkulTakvimiIstendi, &m_calendarWindow,
                     handled([this] { m_calendarWindow.ShowCalendar(); }));
    QObject::connect(&m_menu, &TfrmMenu::TorenlerIstendi, &m_ceremonies,
                     handled([this] { m_ceremonies.ShowCeremonies(); }));
    QObject::connect(&m_menu, &TfrmMenu::TekSeferlikIstendi, &m_oneOffs,
                     handled([this] { m_oneOffs.ShowOneOffs(); }));
    QObject::connect(&m_menu, &TfrmMenu::AnonslarIstendi, &m_announcements,
                     handled([this] { m_announcements.ShowAnnouncements(); }));
    QObject::connect(&m_menu, &TfrmMenu::SihirbazIstendi, &m_wizard,
                     handled([this] { m_wizard.ShowWizard(m_menu.chosenProgramme()); }));
    QObject::connect(&m_menu, &TfrmMenu::TopluDegisiklikIstendi, &m_bulk,
                     [this](int gunIndex, int programme) {
                         runHandler([&] { m_bulk.ShowFor(gunIndex, programme); });
                     });

    // Every window that changes something asks the main window's gate before it does.
    RoleGate *gate = &m_menu.gate();
    m_editor.setGate(gate);
    m_wizard.setGate(gate);
    m_bulk.setGate(gate);
    m_calendarWindow.setGate(gate);
    m_ceremonies.setGate(gate);
    m_oneOffs.setGate(gate);
    m_announcements.setGate(gate);
    QObject::connect(&m_tray, &TrayIcon::showRequested, &m_menu, [this] { bringToFront(m_menu); });
    QObject::connect(&m_tray, &TrayIcon::stopRequested, &m_menu, handled([this] {
        if (!m_menu.allowed(Action::StopSound))
            return;
        m_bells.stopMusic();
        // While the service rings, the bell's music is the service's.
        QString said;
        if (m_menu.serviceRings() && m_serviceClaim &&
            !m_serviceClaim->askRunningToStop(2000, &said))
            showMessage(&m_menu, serviceRefusal(said, QString()));
    }));
    QObject::connect(&m_clockSync, &ClockSync::changed, &m_menu, [this] {
        m_menu.setClockLine(m_clockSync.shortLine(), m_clockSync.line());
        m_tray.setClockLine(m_clockSync.line());
    });
    m_firstStart = new FirstStartPanel(m_bells.store(), m_bells.calendar(), m_menu);
    QObject::connect(m_firstStart, &FirstStartPanel::wizardWanted, &m_menu,
                     &TfrmMenu::SihirbazIstendi);
    QObject::connect(m_firstStart, &FirstStartPanel::calendarWanted, &m_menu,
                     &TfrmMenu::OkulTakvimiIstendi);
    m_schoolName = addSchoolNameCommand(m_menu, m_bells.calendar());
    m_print = addPrintCommand(m_menu, m_bells.store(), m_bells.calendar());
    m_soundSettings = addSoundSettingsCommand(m_menu, m_bells.soundSettings());
    addSharedScheduleCommand(m_menu, dataFolder(), m_bells.shared());
    if (SharedSchedule *shared = m_bells.shared())
        QObject::connect(shared, &SharedSchedule::statusChanged, &m_menu,
                         [this](const QString &line) { m_tray.setSharedLine(line); });
    // While the service rings, the link to the shared schedule is the service's: the tray shows
    // what it last wrote into the copy.
    auto *serviceShared = new QTimer(&m_menu);
    serviceShared->setInterval(5000);
    QObject::connect(serviceShared, &QTimer::timeout, &m_menu, [this] {
        if (m_menu.serviceRings())
            m_tray.setSharedLine(SharedSchedule::savedStatus(dataFolder()));
    });
    serviceShared->start();
    try {
        m_menu.setSchoolName(m_bells.calendar().schoolName());
    } catch (const ZilError &) {
        // A schedule that cannot be read was told once already; the title stays the program's.
    }
    m_firstStart->refresh();
    addAnnounceNow();
    m_alarmCommands = new AlarmCommands(
        m_menu, m_tray.menu(), [this](std::optional<Alarm::Kind> kind) { soundAlarm(kind); },
        [this]() -> std::optional<Alarm::Kind> {
            // The service's alarm is its own; this copy's menu cannot tell it.
            return m_menu.serviceRings() ? std::nullopt : m_bells.alarm().sounding();
        });
    QObject::connect(&m_bells.alarm(), &Alarm::changed, m_alarmCommands, &AlarmCommands::refresh);
    addBreakMusic();
    // Music played by hand waits for the alarm, a bell or the break music.
    m_menu.gate().louderSound = [this] { return m_bells.louderSound(); };
    m_menu.gate().scheduleRefusal = [] { return SharedSchedule::editRefusal(dataFolder()); };
    m_tray.showWhereTray();
    // The main window ends the program itself; closing another window while it sits in the
    // tray must not end it and stop the bells.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    QAction &autostart = autostartAction();
    autostart.setChecked(Autostart::isOn());
    QObject::connect(&autostart, &QAction::toggled, &m_menu, [this, &autostart](bool on) {
        runHandler([&] {
            if (!m_menu.allowed(Action::ChangeSettings)) {
                const QSignalBlocker keep(autostart);
                autostart.setChecked(!on);
                return;
            }
            try {
                Autostart::set(on, QCoreApplication::applicationFilePath());
            } catch (...) {
                const QSignalBlocker keep(autostart);
                autostart.setChecked(Autostart::isOn());
                throw;
            }
        });
    });
}

void Program::setServiceRings(bool rings) {
    // While the service rings, a PIN typed here is tried at its gate; the session the gate
    // opens there is the one the commands passed on to it carry.
    if (!rings && m_serviceClaim) {
        m_menu.gate().setLogin({});
        m_serviceClaim->setToken({});
    }
    // A window whose bells ring in the service may wait a moment for the service's writes.
    ScheduleQuery::setBellsRingHere(!rings);
    m_bells.clock().setRinging(!rings);
    m_bells.setSharedOn(!rings);
    m_menu.setServiceRings(rings);
    m_tray.setServiceRings(rings);
}

void Program::takeOverWhenFree(FolderClaim &claim, int intervalMs) {
    m_serviceClaim = &claim;
    m_menu.gate().setLogin([&claim](const QString &pin) {
        return askGate(claim, pin, {GateClient::Road::Socket, {}, {}});
    });
    QObject::connect(&m_menu.gate(), &RoleGate::roleChanged, &m_menu,
                     [this, &claim] { claim.setToken(m_menu.gate().token()); });
    QObject::connect(&claim, &FolderClaim::claimed, &m_menu, [this] { setServiceRings(false); });
    claim.claimWhenFree(intervalMs);
}

FolderRole takeFolder(FolderClaim &claim) {
    if (claim.claim())
        return FolderRole::Rings;
    if (claim.claimError() != FolderClaim::Error::Held) {
        // A folder the user cannot write to still rings: silence would be worse than the
        // small chance of a second copy.
        qWarning().noquote() << "The data folder cannot be claimed:"
                             << QDir::toNativeSeparators(dataFolder());
        return FolderRole::Rings;
    }
    if (!claim.askRunningToShow())
        return FolderRole::Refused;
    return claim.holderIsService() ? FolderRole::ServiceRings : FolderRole::OtherWindowShown;
}

int runProgram(ZilApplication &app, const std::function<bool()> &online) {
    QTranslator qtTurkish;
    loadQtTranslations(app, qtTurkish);
    // Before anything else, so that a signal during start-up too ends the program cleanly.
    StopSignals stopSignals;
    // Claimed before anything opens the schedule or the sound output: a second copy only shows
    // the first one's window.
    FolderClaim claim(dataFolder());
    const FolderRole role = takeFolder(claim);
    if (role == FolderRole::OtherWindowShown)
        return 0;
    if (role == FolderRole::Refused) {
        showMessage(nullptr, QStringLiteral("Zil programı bu klasörde zaten çalışıyor."));
        return 1;
    }
    // Once per folder, beside the clock rather than before it, so a new folder's first bell is
    // not held for them; later starts find them there.
    ProgramSounds::ensureAllAside([](const QString &failure) { showErrorNotice(failure); });
    Program program(online);
    // While this window rings, the socket's commands (the network service's phone page, a
    // staff member's) are this window's bells', at the same gate.
    CommandDesk desk(claim, program.bells(),
                     [](const QString &line) { qInfo().noquote() << line; });
    QObject::connect(&claim, &FolderClaim::showRequested, &program.menu(),
                     [&program] { bringToFront(program.menu()); });
    // A window ended by the system (log-out, shutdown, kill) stops its music and lets go of the
    // folder at once, rather than dying in the middle of a bell.
    QObject::connect(&stopSignals, &StopSignals::received, &app, [&program, &app] {
        program.bells().stopMusic();
        app.quit();
    });
    // Asked in the background, now and every hour; the answer only changes a line.
    program.clockSync().start();
    if (role == FolderRole::ServiceRings) {
        program.setServiceRings(true);
        program.takeOverWhenFree(claim);
    }
    if (app.arguments().contains(QLatin1String(Autostart::MinimisedArgument)))
        program.menu().showMinimized();
    else
        program.menu().show();
    return app.exec();
}

void Program::announceNow(const Announcement &announcement) {
    if (!m_menu.allowed(Action::AnnounceNow))
        return;
    // The service owns the loudspeakers then; this copy's sound would go to this desktop only.
    if (m_menu.serviceRings()) {
        QString said;
        if (!m_serviceClaim || !m_serviceClaim->askRunningTo("anons", announcement.id, 2000, &said))
            showMessage(&m_menu, serviceRefusal(said, QStringLiteral("anons yapılamadı.")));
        return;
    }
    if (const std::optional<QString> refused = m_bells.announceNow(announcement))
        showMessage(&m_menu, *refused);
}

void Program::addBreakMusic() {
    m_breakWindow.setGate(&m_menu.gate());
    addBreakMusicCommand(m_menu, m_breakWindow);
    BreakMusic &music = m_bells.breakMusic();
    m_breakToday = new QAction(QStringLiteral("Teneffüs müziği"), &m_tray.menu());
    m_breakToday->setObjectName(QStringLiteral("TeneffusBugun1"));
    m_breakToday->setCheckable(true);
    m_tray.menu().insertAction(m_tray.menu().actions().value(3), m_breakToday);
    const auto show = [this, &music] {
        runHandler([&] {
            const bool on = music.settings().on;
            m_breakToday->setEnabled(on);
            m_breakToday->setChecked(on && !music.offToday());
        });
    };
    QObject::connect(&m_tray.menu(), &QMenu::aboutToShow, m_breakToday, show);
    QObject::connect(m_breakToday, &QAction::triggered, &m_menu, [this, &music, show](bool on) {
        runHandler([&] {
            if (m_menu.allowed(on ? Action::PlayMusic : Action::StopSound))
                music.setOffToday(!on);
        });
        show();
    });
}

void Program::soundAlarm(std::optional<Alarm::Kind> kind) {
    const int argument = kind ? int(*kind) : -1;
    if (m_menu.serviceRings()) {
        QString said;
        if (!m_serviceClaim || !m_serviceClaim->askRunningTo("alarm", argument, 2000, &said))
            showMessage(&m_menu, serviceRefusal(said, QStringLiteral("alarm komutu iletilemedi.")));
        return;
    }
    m_bells.alarmCommand(argument);
}

void Program::addAnnounceNow() {
    m_announcements.AnnounceNow = [this](const Announcement &a) { announceNow(a); };
    // In the tray too: the saved announcements, read when the menu opens.
    auto *now = new QMenu(QStringLiteral("Şimdi anons et"), &m_tray.menu());
    m_tray.menu().insertMenu(m_tray.menu().actions().value(2), now);
    QObject::connect(now, &QMenu::aboutToShow, now, [this, now] {
        now->clear();
        QList<Announcement> all;
        try {
            all = m_bells.store().announcements();
        } catch (const ZilError &) {
            // The schedule's trouble is told where it is read for the bells.
        }
        for (const Announcement &a : std::as_const(all))
            QObject::connect(now->addAction(a.name), &QAction::triggered, &m_menu,
                             handled([this, a] { announceNow(a); }));
        if (all.isEmpty())
            now->addAction(QStringLiteral("(kayıtlı anons yok)"))->setEnabled(false);
    });
}
