#pragma once

#include "Alarm.h"
#include "BellClock.h"
#include "BellStore.h"
#include "BreakMusic.h"
#include "Calendar.h"
#include "Commands.h"
#include "DailyCopies.h"
#include "DayCheck.h"
#include "DayPlan.h"
#include "Gate.h"
#include "LayerBellPlayer.h"
#include "MediaPlayerDevice.h"
#include "NetworkClaim.h"
#include "ProgramValues.h"
#include "SharedSchedule.h"
#include "SoundSettings.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class MediaLayer;
class PhonePage;

// Bells: the parts that ring a program folder's bells, without any window: the store, the
// start-of-day check, the player bar's device, the bell player and the clock. The windowed
// program and the background service both ring through one. The parts are made in the order they
// are declared and destroyed in reverse, so the store and the players outlive the clock. The bell
// player plays through the device's layer, and a bell silences the device's music.
class Bells {
public:
    // `report` tells the user of a failure (a box in the windowed program, the log in the
    // service). `layer` is the players' way to the sound output; nullptr plays through GStreamer
    // to the program's audio output.
    explicit Bells(std::function<void(const QString &message)> report,
                   std::unique_ptr<MediaLayer> layer = nullptr);
    ~Bells();

    BellStore &store() { return m_store; }
    // The school calendar the clock rings by; the windows show and change it.
    Calendar &calendar() { return m_calendar; }
    // What sounds today and next: the clock rings from it, the windows and the tray draw it.
    DayPlan &plan() { return m_plan; }
    DayCheck &dayCheck() { return m_dayCheck; }
    // The player bar's device.
    MediaPlayerDevice &player() { return m_player; }
    LayerBellPlayer &bellPlayer() { return m_bellPlayer; }
    BellClock &clock() { return m_clock; }
    // "Acil durum": sounded at once, over everything else, until stopped.
    Alarm &alarm() { return m_alarm; }
    // "Teneffüs müziği", between the lessons.
    BreakMusic &breakMusic() { return m_breakMusic; }
    LayerBellPlayer &musicPlayer() { return m_musicPlayer; }
    // How loud the sounds play and where: the bell player asks it at every play.
    SoundSettings &soundSettings() { return m_sound; }

    // Starts the clock and opens the schedule; a schedule that cannot be opened is reported
    // once, the clock keeps trying, and the answer is false.
    bool start();
    // An announcement made now ("Şimdi anons et"): the chime, then the announcement, each
    // recorded, as SoundRules lets them start. Refused, with the sentence for the asker, while
    // something it may not cut sounds, or when its recording is known not to play.
    std::optional<QString> announceNow(const Announcement &announcement);
    // A bell rung by hand now: `music` (a name in Muzikler) for `seconds`, recorded as a bell of
    // this second; `by` says who rang it, in the record's words.
    void ringNow(const QString &music, int seconds, const QString &by = {});
    // Stops the alarm, the bell and the player bar's music; false when none played.
    bool stopMusic();
    // The phone page, made at start(); nullptr before.
    PhonePage *phone() { return m_phone.get(); }
    // The link to the school's shared schedule, made at start(); nullptr before. It follows
    // "Ortak program" settings saved meanwhile.
    SharedSchedule *shared() { return m_shared.get(); }
    // Off while another process (the background service) rings the folder, so that one process
    // alone writes the copy, sends its record and its edits, and serves the phone.
    void setSharedOn(bool on);
    // Whether this process may face the network (the phone page, the shared schedule's link)
    // when no network service holds the folder's network claim; the ringing service may not,
    // it has none. Set before start().
    void setNetworkAllowed(bool allowed) { m_networkAllowed = allowed; }
    // This process faces the network now: it serves the phone and keeps the shared link.
    bool networkHere() const { return m_network.held(); }

    // The one gate every PIN and every command of this folder's ringing passes.
    Gate &gate() { return m_gate; }
    // What a window, a phone or the socket may ask these bells to do, checked at the gate.
    Commands &commands() { return m_commands; }

    // Sounds the alarm of `kind` (0 Yangın, 1 Deprem, 2 Tahliye) or stops it (-1); a line for
    // the log or the user says what was done.
    QString alarmCommand(int kind);

    // What sounds now that music played by hand must not cover, in a few words; empty: nothing.
    QString louderSound();

private:
    SoundStyle soundStyle(SoundKind kind);
    // Stops and closes the player bar's music; false when none was open.
    bool stopDevice();

    std::function<void(const QString &message)> m_report;
    BellStore m_store;
    Calendar m_calendar{m_store};
    DayPlan m_plan{m_store, &m_calendar};
    DayCheck m_dayCheck;
    MediaPlayerDevice m_player;
    LayerBellPlayer m_bellPlayer{m_player.layer()};
    BellClock m_clock;
    Alarm m_alarm;
    LayerBellPlayer m_musicPlayer{m_player.layer()};
    BreakMusic m_breakMusic;
    SoundSettings m_sound{m_calendar};
    SoundSettings::Values m_soundValues;
    // Made at start(), so a Bells that never starts copies nothing.
    std::unique_ptr<DailyCopies> m_copies;
    std::unique_ptr<PhonePage> m_phone;
    std::unique_ptr<SharedSchedule> m_shared;
    void followShared();
    SharedSettings m_sharedSettings;
    bool m_sharedOn = true;
    bool m_networkAllowed = true;
    NetworkClaim m_network{dataFolder()};
    Gate m_gate{dataFolder()};
    Commands m_commands{*this, m_gate};
    QTimer m_sharedLook;
};
