#pragma once

#include <QByteArray>
#include <QString>

// Spoken announcements: a Turkish text read by espeak-ng's Turkish voice into a WAV file, once,
// when the announcement is saved. The bell player then plays the file like any music, so nothing
// is synthesised at the second a bell is due.
//
// espeak-ng keeps one global synthesiser: every call here takes one lock, so any thread may call
// (a window synthesises away from the thread that rings the bells). Failures throw ZilError with
// a Turkish sentence for the user.
namespace Speech {

// The folder of Muzikler that keeps synthesised announcements ("Anonslar"), without separators:
// inside Muzikler, since the bell player opens nothing outside it.
QString folderName();
// The name the announcement's speech is kept under, relative to Muzikler, as a bell names its
// music: the same text always gives the same name, so saving it again replaces that file and
// two announcements of one text share it.
QString soundName(const QString &text);

// The text, read as people say it (SpokenTurkish), as a complete WAV file: PCM, 16 bits, mono, at
// espeak-ng's own sample rate.
QByteArray wave(const QString &text);

// wave(text) written to `target`: written aside and renamed into place, so a bell never opens half
// a file and a failed write leaves an older file of the name as it was.
void write(const QString &text, const QString &target);

// The longest text read; a longer one is refused rather than tying the synthesiser up for minutes.
inline constexpr int MaxCharacters = 2000;

} // namespace Speech
