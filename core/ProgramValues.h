#pragma once

#include <QString>

class Clock;

// The program-wide values: the last bell's length, the program, data and music folders, the clock
// and the audio output. They live here together so that nothing else keeps global state.

// Duration in seconds of the bell the clock started last; 0 until the first one.
extern int CalmaSuresi;

// The folder of the program file, ending in a separator.
QString programFolder();
// Tests point the program at a temporary folder; an empty text restores the real one. The data
// folder follows it.
void setProgramFolder(const QString &folder);
// The name of the file beside an installed program that names its data folder.
inline constexpr char DataFolderMarker[] = "data-folder";
// The school's data (database.mdb, Muzikler, the single-ringer claim), ending in a separator: the
// folder named in the first line of DataFolderMarker beside the program, or else the program
// folder itself, as in a build folder.
QString dataFolder();
// The bells' music: Muzikler in the data folder, ending in a separator.
QString musicFolder();

// The wall clock the whole program reads.
const Clock &programClock();
// Tests give a simulated clock; nullptr restores the system clock. The caller keeps ownership.
void setProgramClock(const Clock *clock);

// The GStreamer description of the audio output the player plays into ("autoaudiosink").
QString audioSinkDescription();
// Tests play into an output that needs no sound card; an empty text restores the real one.
void setAudioSinkDescription(const QString &description);
