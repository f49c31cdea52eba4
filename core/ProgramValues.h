#pragma once

#include <QString>

class Clock;

// The program-wide values: the last bell's length, the program and music folders, the clock and
// the audio output. They live here together so that nothing else keeps global state.

// Duration in seconds of the bell the clock started last; 0 until the first one.
extern int CalmaSuresi;

// The folder of the program file, ending in a separator. The schedule and Muzikler are there.
QString programFolder();
// Tests point the program at a temporary folder; an empty text restores the real one.
void setProgramFolder(const QString &folder);
// The bells' music: Muzikler in the program folder, ending in a separator.
QString musicFolder();

// The wall clock the whole program reads.
const Clock &programClock();
// Tests give a simulated clock; nullptr restores the system clock. The caller keeps ownership.
void setProgramClock(const Clock *clock);

// The GStreamer description of the audio output the player plays into ("autoaudiosink").
QString audioSinkDescription();
// Tests play into an output that needs no sound card; an empty text restores the real one.
void setAudioSinkDescription(const QString &description);
