#pragma once

#include "BellClock.h"
#include "BellStore.h"
#include "Calendar.h"
#include "DayCheck.h"
#include "DayPlan.h"
#include "MediaPlayerDevice.h"

#include <QString>

#include <functional>
#include <memory>

class MediaLayer;

// Bells: the parts that ring a program folder's bells, without any window: the store, the
// start-of-day check, the player and the clock. The windowed program and the background service
// both ring through one. The parts are made in the order they are declared and destroyed in
// reverse, so the store and the player outlive the clock.
class Bells {
public:
    // `report` tells the user of a failure (a box in the windowed program, the log in the
    // service). `layer` is the player's way to the sound output; nullptr plays through GStreamer
    // to the program's audio output.
    explicit Bells(std::function<void(const QString &message)> report,
                   std::unique_ptr<MediaLayer> layer = nullptr);

    BellStore &store() { return m_store; }
    // The school calendar the clock rings by; the windows show and change it.
    Calendar &calendar() { return m_calendar; }
    // What sounds today and next: the clock rings from it, the windows and the tray draw it.
    DayPlan &plan() { return m_plan; }
    DayCheck &dayCheck() { return m_dayCheck; }
    MediaPlayerDevice &player() { return m_player; }
    BellClock &clock() { return m_clock; }

    // Starts the clock and opens the schedule; a schedule that cannot be opened is reported
    // once, the clock keeps trying, and the answer is false.
    bool start();
    // Stops and closes whatever music plays; false when none was open.
    bool stopMusic();

private:
    std::function<void(const QString &message)> m_report;
    BellStore m_store;
    Calendar m_calendar{m_store};
    DayPlan m_plan{m_store, &m_calendar};
    DayCheck m_dayCheck;
    MediaPlayerDevice m_player;
    BellClock m_clock;
};
