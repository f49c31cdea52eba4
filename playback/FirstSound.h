#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

// Where a music file's sound begins: the time of its first sample that is not digital silence.
// Recordings of ceremonies often open with tens of seconds of zeros, and every MP3 with the
// encoder's few milliseconds of them; a bell starts where the sound does.
struct FirstSound {
    // Below this a sample counts as silence: -60 dBFS, one thousandth of full scale (about 33
    // steps of a 16-bit sample). The zeros of a silent lead-in, the dither of a 16-bit master
    // (1 to 2 steps) and an MP3 decoder's ripple before the music (well under -70 dBFS) stay
    // below it; a fade-in passes it within its first moments, and the quietest passage of a
    // march or an anthem is tens of decibels above it.
    static constexpr double kThreshold = 0.001;

    enum class Result { Found, Silent, Failed };
    Result result = Result::Failed;
    // Nanoseconds from the start of the stream; meaningful only when found.
    std::int64_t atNs = 0;

    // Decodes `path` as far as its first sound (the whole file when it is silent), on the
    // calling thread. Gives up, as failed, when `cancelled` becomes true.
    static FirstSound of(const QString &path, const std::atomic<bool> *cancelled = nullptr);
};
