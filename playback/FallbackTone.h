#pragma once

#include <QString>

// The program's own bell tone: what a bell rings when its music cannot be played, since a school
// would rather hear a plain bell than silence. It is made by the program, as a WAV file in a
// temporary folder of this process, and made again whenever that file has gone.
namespace FallbackTone {
// How long the tone sounds for a bell that plays its whole music (duration 0).
constexpr int DefaultSeconds = 5;
// The longest tone made; a longer bell ends with it.
constexpr int MaxSeconds = 120;

// A WAV file that rings for `seconds` (DefaultSeconds for 0 or less, at most MaxSeconds), or an
// empty text when it could not be written.
QString file(int seconds);

// The tone as a complete WAV file, for `seconds` of sound.
QByteArray wave(int seconds);
} // namespace FallbackTone
