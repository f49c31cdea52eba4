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

// The folder beside Muzikler that keeps synthesised announcements, ending in a separator.
QString folder();

// The text, read as people say it (SpokenTurkish), as a complete WAV file: PCM, 16 bits, mono, at
// espeak-ng's own sample rate.
QByteArray wave(const QString &text);

// wave(text) written to `target`: written aside and renamed into place, so a bell never opens half
// a file and a failed write leaves an older file of the name as it was.
void write(const QString &text, const QString &target);

// The longest text read; a longer one is refused rather than tying the synthesiser up for minutes.
inline constexpr int MaxCharacters = 2000;

} // namespace Speech
