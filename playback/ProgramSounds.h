#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The program's own sounds ("Programın sesleri"): three school bells, the three civil-defence
// sirens, the announcement chime and the drill signals, made by the program so that a school can
// ring a week without bringing a single file. They live in a folder of Muzikler, so a bell names
// them as it names any music and the player opens them under the same rules. A file is written only
// when none of its name is there: a school that put its own recording in its place keeps it.
namespace ProgramSounds {

enum class Sound {
    Ogrenci,
    Ogretmen,
    Cikis,
    SabitSiren,
    DalgaliSiren,
    KesikSiren,
    AnonsCani,
    DepremSinyali,
    TahliyeSinyali,
};

// The folder inside Muzikler.
QString folderName();
// Every sound, in the order the menus offer them.
const QList<Sound> &all();
// The name shown to the user ("Öğrenci zili").
QString title(Sound sound);
// The name a bell keeps, relative to Muzikler ("Programın sesleri/Öğrenci zili.wav").
QString bellName(Sound sound);

int sampleRate(Sound sound);
// The sound as a complete WAV file: PCM, 16 bits, mono.
QByteArray wave(Sound sound);

// Writes the sound into Muzikler when no file of its name is there, and gives its bell name;
// throws ZilError, in the user's words, when it cannot be written.
QString ensure(Sound sound);
// Writes every sound that is missing; the reason when one could not be written, else empty.
QString ensureAll();
// The same on a thread of the pool at the lowest priority, so that a new folder's first start
// does not hold the first bell for the seconds that making them takes; `failed` is called on the
// application's thread with the reason, should one not be written. A bell that names one before
// it is there rings the fallback tone, as for any missing file.
void ensureAllAside(std::function<void(const QString &failure)> failed);
// Whether a bell's music name is one of these sounds, and which.
bool isProgramSound(const QString &bellMusic, Sound *sound = nullptr);

} // namespace ProgramSounds
