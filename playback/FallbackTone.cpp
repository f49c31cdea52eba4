#include "FallbackTone.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace {
constexpr int SampleRate = 22050;

void put16(QByteArray &out, quint16 v) {
    out.append(char(v & 0xff)).append(char(v >> 8));
}
void put32(QByteArray &out, quint32 v) {
    put16(out, quint16(v & 0xffff));
    put16(out, quint16(v >> 16));
}

// One struck bell: a few partials of the note, each fading at its own pace.
double strike(double frequency, double t) {
    constexpr double partials[][3] = {{1.0, 1.0, 2.2}, {2.0, 0.5, 3.5}, {3.01, 0.25, 5.0}};
    double sum = 0;
    for (const auto &p : partials)
        sum += p[1] * std::exp(-p[2] * t) * std::sin(2 * std::numbers::pi * frequency * p[0] * t);
    return sum;
}
} // namespace

QByteArray FallbackTone::wave(int seconds) {
    const qsizetype samples = qsizetype(seconds) * SampleRate;
    QByteArray out;
    out.reserve(44 + samples * 2);
    out.append("RIFF");
    put32(out, quint32(36 + samples * 2));
    out.append("WAVEfmt ");
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, 1); // mono
    put32(out, SampleRate);
    put32(out, SampleRate * 2);
    put16(out, 2);
    put16(out, 16);
    out.append("data");
    put32(out, quint32(samples * 2));
    // A high and a low stroke every 1.5 s, the way a school's electric bell is heard.
    constexpr double period = 1.5;
    for (qsizetype i = 0; i < samples; ++i) {
        const double t = std::fmod(double(i) / SampleRate, period);
        double v = strike(880.0, t);
        if (t >= 0.5)
            v += strike(660.0, t - 0.5);
        const double scaled = std::clamp(v * 0.35, -1.0, 1.0) * 32767.0;
        put16(out, quint16(qint16(std::lround(scaled))));
    }
    return out;
}

QString FallbackTone::file(int seconds) {
    seconds = seconds <= 0 ? DefaultSeconds : std::min(seconds, MaxSeconds);
    static std::unique_ptr<QTemporaryDir> folder;
    if (!folder || !folder->isValid() || !QFileInfo::exists(folder->path()))
        folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/selvanor-zil-XXXXXX");
    if (!folder->isValid())
        return {};
    const QString path = folder->filePath(QStringLiteral("zil-tonu-%1.wav").arg(seconds));
    if (QFileInfo(path).size() == 44 + qint64(seconds) * SampleRate * 2)
        return path;
    const QByteArray tone = wave(seconds);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(tone) != tone.size())
        return {};
    return path;
}
