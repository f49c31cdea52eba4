#pragma once

#include "AnaSayfa.h"
#include "BellClock.h"
#include "BellStore.h"
#include "DayCheck.h"
#include "Duzenleme.h"
#include "Hakkinda.h"
#include "Sihirbaz.h"
#include "TopluDegisiklik.h"
#include "MediaPlayerDevice.h"
#include "ZilGecmisi.h"

#include <functional>
#include <memory>

class MediaLayer;
class ZilApplication;

// Start-up. Program: the windowed program put together in one place. The parts are made in the
// order they are declared and destroyed in reverse, so each outlives every part that uses it: the
// store and the player outlive the clock, and all three outlive the windows.
class Program {
public:
    // `online` tells whether the machine has a connection. `layer` is the player's way to the
    // sound output; nullptr plays through GStreamer to the program's audio output. `webSite`
    // replaces the maker's site the web panel shows.
    explicit Program(std::function<bool()> online, std::unique_ptr<MediaLayer> layer = nullptr,
                     const QString &webSite = {});

    BellStore &store() { return m_store; }
    MediaPlayerDevice &player() { return m_player; }
    BellClock &clock() { return m_clock; }
    TfrmMenu &menu() { return m_menu; }
    TfrmDuzenleme &editor() { return m_editor; }
    TfrmAbout &about() { return m_about; }
    TfrmZilGecmisi &history() { return m_history; }
    TfrmSihirbaz &wizard() { return m_wizard; }
    TfrmTopluDegisiklik &bulk() { return m_bulk; }

private:
    BellStore m_store;
    DayCheck m_dayCheck;
    MediaPlayerDevice m_player;
    BellClock m_clock;
    // Its creation opens the schedule, fills today's list and starts the clock.
    TfrmMenu m_menu;
    // Hidden until asked for.
    TfrmDuzenleme m_editor;
    TfrmAbout m_about;
    TfrmZilGecmisi m_history;
    TfrmSihirbaz m_wizard;
    TfrmTopluDegisiklik m_bulk;
};

// Claims the program folder, puts the program together, shows the main window and runs the event
// loop until the program ends. A copy started while another rings in the same folder brings that
// one's window to the front and ends at once.
int runProgram(ZilApplication &app, const std::function<bool()> &online);
