#pragma once

#include "AcilDurum.h"
#include "AnaSayfa.h"
#include "Anonslar.h"
#include "Bells.h"
#include "Calendar.h"
#include "ClockSync.h"
#include "Duzenleme.h"
#include "FirstStart.h"
#include "Hakkinda.h"
#include "MediaPlayerDevice.h"
#include "OkulTakvimi.h"
#include "Sihirbaz.h"
#include "SingleInstance.h"
#include "TekSeferlik.h"
#include "Teneffus.h"
#include "TopluDegisiklik.h"
#include "Torenler.h"
#include "Tray.h"
#include "ZilGecmisi.h"

#include <QAction>

#include <functional>
#include <memory>

class MediaLayer;
class ZilApplication;

// Start-up. Program: the windowed program put together in one place: the bells (Bells, the same
// parts the background service rings with) and the windows onto them. The parts are made in the
// order they are declared and destroyed in reverse, so the bells outlive the windows.
class Program {
public:
    // `online` tells whether the machine has a connection. `layer` is the player's way to the
    // sound output; nullptr plays through GStreamer to the program's audio output. `webSite`
    // replaces the maker's site the web panel shows.
    explicit Program(std::function<bool()> online, std::unique_ptr<MediaLayer> layer = nullptr,
                     const QString &webSite = {});

    Bells &bells() { return m_bells; }
    BellStore &store() { return m_bells.store(); }
    MediaPlayerDevice &player() { return m_bells.player(); }
    BellClock &clock() { return m_bells.clock(); }
    DayPlan &plan() { return m_bells.plan(); }
    TfrmMenu &menu() { return m_menu; }
    TfrmDuzenleme &editor() { return m_editor; }
    TfrmAbout &about() { return m_about; }
    TfrmZilGecmisi &history() { return m_history; }
    Calendar &calendar() { return m_bells.calendar(); }
    TfrmOkulTakvimi &calendarWindow() { return m_calendarWindow; }
    TfrmTorenler &ceremoniesWindow() { return m_ceremonies; }
    TfrmTekSeferlik &oneOffsWindow() { return m_oneOffs; }
    TfrmAnonslar &announcementsWindow() { return m_announcements; }
    // The tray's "Bugün zil çalmasın".
    QAction &silenceTodayAction() { return m_tray.silenceAction(); }
    TfrmSihirbaz &wizard() { return m_wizard; }
    TfrmTopluDegisiklik &bulk() { return m_bulk; }
    TrayIcon &tray() { return m_tray; }
    // Whether the computer's clock is kept right; runProgram starts asking.
    ClockSync &clockSync() { return m_clockSync; }
    // The way in on an empty schedule, over the main window's list.
    FirstStartPanel &firstStart() { return *m_firstStart; }
    QAction &schoolNameAction() { return *m_schoolName; }
    TfrmTeneffus &breakMusicWindow() { return m_breakWindow; }
    // The tray's "Teneffüs müziği": today's switch.
    QAction &breakMusicAction() { return *m_breakToday; }
    // "Acil durum" in the window and the tray.
    AlarmCommands &alarmCommands() { return *m_alarmCommands; }
    // "Dosya" > "Yazdır / PDF…".
    QAction &printAction() { return *m_print; }
    // "Oturum açılınca başlat", checked while the user's autostart entry is there.
    QAction &autostartAction() { return m_menu.autostartItem(); }

    // While the background service rings the folder's bells, this program only shows them: its
    // clock shows the time and rings nothing, and the window says who rings.
    void setServiceRings(bool rings);
    // While the service rings: looks every `intervalMs` whether the folder has come free (the
    // service ended) and then rings in its place; meanwhile the tray's "Şimdi durdur" asks the
    // service through `claim`, which must outlive the program.
    void takeOverWhenFree(FolderClaim &claim, int intervalMs = 5000);

private:
    // "Şimdi anons et" in the announcements window and the tray.
    void addAnnounceNow();
    void announceNow(const Announcement &announcement);
    // "Ayarlar" > "Teneffüs müziği…" and the tray's switch for today.
    void addBreakMusic();
    // Sounds the alarm of `kind`, or stops it, in whichever copy rings the bells.
    void soundAlarm(std::optional<Alarm::Kind> kind);

    Bells m_bells;
    // The bells start before any window is made, as in the service: the clock runs and the
    // schedule is open (or has been reported once) whether a window is ever shown or not.
    bool m_started;
    // Its creation fills today's list.
    TfrmMenu m_menu;
    // Hidden until asked for.
    TfrmDuzenleme m_editor;
    TfrmAbout m_about;
    TfrmZilGecmisi m_history;
    TfrmSihirbaz m_wizard;
    TfrmTopluDegisiklik m_bulk;
    TrayIcon m_tray;
    FolderClaim *m_serviceClaim = nullptr;
    TfrmOkulTakvimi m_calendarWindow;
    TfrmTorenler m_ceremonies;
    TfrmTekSeferlik m_oneOffs;
    TfrmAnonslar m_announcements;
    TfrmTeneffus m_breakWindow;
    ClockSync m_clockSync;
    // Children of the main window.
    FirstStartPanel *m_firstStart = nullptr;
    QAction *m_schoolName = nullptr;
    QAction *m_print = nullptr;
    AlarmCommands *m_alarmCommands = nullptr;
    QAction *m_breakToday = nullptr;
};

// What a windowed copy makes of the program folder: it rings, the window already open there was
// shown instead, the background service rings and this copy only shows the schedule, or the
// folder is held by a copy that does not answer.
enum class FolderRole { Rings, OtherWindowShown, ServiceRings, Refused };
FolderRole takeFolder(FolderClaim &claim);

// Claims the program folder, puts the program together, shows the main window (minimised when
// started at login) and runs the event loop until the program ends. A copy started while another
// window rings in the same folder brings that one's window to the front and ends at once; while
// the background service rings, the window only shows the schedule and takes the ringing over if
// the service ends.
int runProgram(ZilApplication &app, const std::function<bool()> &online);
