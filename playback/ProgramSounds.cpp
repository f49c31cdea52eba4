#include "ProgramSounds.h"

#include "Backup.h"
#include "FileBeside.h"
#include "ProgramValues.h"
#include "ZilError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include <sys/stat.h>

namespace ProgramSounds {
namespace {
constexpr double Tau = 2 * std::numbers::pi;
// Bells keep their upper partials at this rate; a siren has nothing above a few kHz, and three
// minutes of it at 16 kHz are a third smaller.
constexpr int BellRate = 22050;
constexpr int SirenRate = 16000;
// The civil-defence signals each last three minutes; the steady one also serves the two
// minutes of 10 Kasım, where the bell's own duration cuts it.
constexpr double SirenSeconds = 180;

double noteFrequency(int semitonesFromA4) {
    return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

struct Partial {
    double ratio;
    double gain;
    double decay; // per second
};

struct Strike {
    double at;
    int note; // semitones from A4
    double gain = 1.0;
};

// Struck bars of a chime: each partial fades at its own pace, after an attack short enough to
// sound struck yet long enough not to click.
std::vector<double> chime(const std::vector<Strike> &strikes, const std::vector<Partial> &partials,
                          double seconds) {
    std::vector<double> out(std::size_t(seconds * BellRate), 0.0);
    constexpr double attack = 0.004;
    // By then the slowest partial has fallen to about a hundredth.
    constexpr double ringing = 3.5;
    for (const Strike &s : strikes) {
        const double f = noteFrequency(s.note);
        const auto first = std::size_t(s.at * BellRate);
        const std::size_t last = std::min(out.size(), first + std::size_t(ringing * BellRate));
        for (std::size_t i = first; i < last; ++i) {
            const double t = double(i - first) / BellRate;
            double v = 0;
            for (const Partial &p : partials)
                v += p.gain * std::exp(-p.decay * t) * std::sin(Tau * f * p.ratio * t);
            out[i] += s.gain * std::min(1.0, t / attack) * v;
        }
    }
    // The last tenth of a second fades out, so a bell that is cut off at the file's end does
    // not click.
    const std::size_t tail = BellRate / 10;
    for (std::size_t k = 0; k < tail && k < out.size(); ++k)
        out[out.size() - 1 - k] *= double(k) / tail;
    return out;
}

// A siren's tone: a rotor siren's rich, slightly buzzing note, with its harmonics taken from
// one sine and cosine by the angle sum rules, which keeps three minutes of it cheap.
double sirenVoice(double phase) {
    const double s1 = std::sin(phase);
    const double c1 = std::cos(phase);
    const double s2 = 2 * s1 * c1;
    const double c2 = 1 - 2 * s1 * s1;
    const double s3 = s2 * c1 + c2 * s1;
    const double s4 = 2 * s2 * c2;
    return (s1 + 0.45 * s2 + 0.25 * s3 + 0.12 * s4) / 1.6;
}

// A siren from its pitch and loudness over time; the phase runs on so a gliding pitch never
// jumps.
template <class Pitch, class Loudness> std::vector<double> siren(Pitch pitch, Loudness loudness) {
    std::vector<double> out(std::size_t(SirenSeconds * SirenRate));
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / SirenRate;
        phase = std::fmod(phase + Tau * pitch(t) / SirenRate, Tau);
        out[i] = loudness(t) * sirenVoice(phase);
    }
    return out;
}

double fadeInOut(double t, double in, double out) {
    return std::clamp(std::min(t / in, (SirenSeconds - t) / out), 0.0, 1.0);
}

std::vector<double> samples(Sound sound) {
    // Chimes: the student bell a bright rising run, the teacher bell a calm falling pair, the
    // exit bell a longer run that ends on a chord; each heard apart from the others and from
    // the high-low tone a bell rings when its own music fails.
    const std::vector<Partial> bright = {
        {1, 1, 2.0}, {2, 0.5, 3.2}, {3, 0.22, 4.8}, {4.07, 0.1, 7}};
    const std::vector<Partial> soft = {{1, 1, 1.3}, {2, 0.3, 2.5}, {3, 0.08, 4}};
    const std::vector<Partial> round = {{1, 1, 1.6}, {2, 0.4, 2.8}, {2.76, 0.12, 5}};
    switch (sound) {
    case Sound::Ogrenci: {
        std::vector<Strike> s;
        for (double from : {0.0, 1.6})
            for (int k = 0; k < 4; ++k)
                s.push_back({from + 0.18 * k, std::array{3, 7, 10, 15}[k]});
        return chime(s, bright, 4.5);
    }
    case Sound::Ogretmen:
        return chime({{0, 7}, {0.6, 2}, {1.8, 7}, {2.4, 2}}, soft, 5.0);
    case Sound::Cikis: {
        std::vector<Strike> s;
        for (double from : {0.0, 2.2}) {
            for (int k = 0; k < 5; ++k)
                s.push_back({from + 0.16 * k, std::array{-2, 3, 7, 10, 15}[k], 0.8});
            s.push_back({from + 0.9, 10});
            s.push_back({from + 1.05, 15});
        }
        for (int note : {3, 7, 10, 15})
            s.push_back({4.4, note, 0.6});
        return chime(s, round, 6.8);
    }
    case Sound::AnonsCani:
        // Three rising notes, then still: a call to listen, over before the voice begins.
        return chime({{0, 3}, {0.35, 7}, {0.7, 10}}, soft, 2.0);
    case Sound::SabitSiren: {
        // The rotor spins up to its note, holds it, and runs down in the last seconds.
        constexpr double note = 470;
        constexpr double down = SirenSeconds - 6;
        return siren(
            [](double t) {
                return t < down ? note * (1 - std::exp(-t / 0.9))
                                : note * std::exp(-(t - down) / 2.5);
            },
            [](double t) { return 0.8 * fadeInOut(t, 1.5, 6); });
    }
    case Sound::DalgaliSiren: {
        // Up and down between two notes, ten seconds a wave.
        constexpr double low = 280;
        constexpr double high = 760;
        constexpr double wave = 10;
        return siren(
            [](double t) { return low + (high - low) * (1 - std::cos(Tau * t / wave)) / 2; },
            [](double t) { return 0.8 * fadeInOut(t, 1, 3); });
    }
    case Sound::KesikSiren: {
        // Two seconds of tone, two of silence; each blast climbs quickly to its note.
        constexpr double period = 4;
        constexpr double on = 2;
        return siren(
            [](double t) {
                const double in = std::fmod(t, period);
                return 520 - 190 * std::exp(-in / 0.12);
            },
            [](double t) {
                const double in = std::fmod(t, period);
                if (in >= on)
                    return 0.0;
                return 0.8 * std::clamp(std::min(in / 0.05, (on - in) / 0.08), 0.0, 1.0);
            });
    }
    case Sound::DepremSinyali: {
        // Three seconds of a fast two-note warble, then one of silence: unlike any siren or
        // bell, so a drill is never taken for the real civil-defence warning.
        constexpr double period = 4;
        constexpr double on = 3;
        return siren([](double t) { return std::fmod(t, 0.5) < 0.25 ? 880.0 : 660.0; },
                     [](double t) {
                         const double in = std::fmod(t, period);
                         if (in >= on)
                             return 0.0;
                         return 0.7 * std::clamp(std::min(in / 0.05, (on - in) / 0.08), 0.0, 1.0);
                     });
    }
    case Sound::TahliyeSinyali: {
        // A rising whoop every two seconds: the call to leave the building.
        constexpr double period = 2;
        constexpr double rise = 1.5;
        return siren(
            [](double t) { return 450 + 600 * std::min(std::fmod(t, period) / rise, 1.0); },
            [](double t) {
                const double in = std::fmod(t, period);
                if (in >= rise)
                    return 0.0;
                return 0.8 * std::clamp(std::min(in / 0.05, (rise - in) / 0.08), 0.0, 1.0);
            });
    }
    }
    return {};
}

QString fileName(Sound sound) {
    return title(sound) + QStringLiteral(".wav");
}

QString shown(const QString &path) {
    return QDir::toNativeSeparators(path);
}
} // namespace

QString folderName() {
    return QStringLiteral("Programın sesleri");
}

const QList<Sound> &all() {
    static const QList<Sound> sounds = {
        Sound::Ogrenci,    Sound::Ogretmen,      Sound::Cikis,
        Sound::SabitSiren, Sound::DalgaliSiren,  Sound::KesikSiren,
        Sound::AnonsCani,  Sound::DepremSinyali, Sound::TahliyeSinyali};
    return sounds;
}

QString title(Sound sound) {
    switch (sound) {
    case Sound::Ogrenci:
        return QStringLiteral("Öğrenci zili");
    case Sound::Ogretmen:
        return QStringLiteral("Öğretmen zili");
    case Sound::Cikis:
        return QStringLiteral("Çıkış zili");
    case Sound::SabitSiren:
        return QStringLiteral("Sabit siren");
    case Sound::DalgaliSiren:
        return QStringLiteral("Dalgalı siren");
    case Sound::KesikSiren:
        return QStringLiteral("Kesik siren");
    case Sound::AnonsCani:
        return QStringLiteral("Anons çanı");
    case Sound::DepremSinyali:
        return QStringLiteral("Deprem tatbikatı sinyali");
    case Sound::TahliyeSinyali:
        return QStringLiteral("Tahliye sinyali");
    }
    return {};
}

QString bellName(Sound sound) {
    return folderName() + QLatin1Char('/') + fileName(sound);
}

int sampleRate(Sound sound) {
    return sound == Sound::Ogrenci || sound == Sound::Ogretmen || sound == Sound::Cikis ||
                   sound == Sound::AnonsCani
               ? BellRate
               : SirenRate;
}

QByteArray wave(Sound sound) {
    const std::vector<double> values = samples(sound);
    const double peak = std::max(
        1e-9, std::abs(*std::max_element(values.begin(), values.end(), [](double a, double b) {
            return std::abs(a) < std::abs(b);
        })));
    // Chimes are made louder to a common peak; the sirens are already at their level.
    const double scale = sampleRate(sound) == BellRate ? 0.7 / peak : 1.0;
    const auto dataBytes = quint32(values.size() * 2);
    const auto rate = quint32(sampleRate(sound));
    QByteArray out(44 + qsizetype(dataBytes), Qt::Uninitialized);
    char *p = out.data();
    const auto put = [&p](auto value) {
        qToLittleEndian(value, p);
        p += sizeof(value);
    };
    std::memcpy(p, "RIFF", 4);
    p += 4;
    put(quint32(36 + dataBytes));
    std::memcpy(p, "WAVEfmt ", 8);
    p += 8;
    put(quint32(16));
    put(quint16(1)); // PCM
    put(quint16(1)); // mono
    put(rate);
    put(quint32(rate * 2));
    put(quint16(2));
    put(quint16(16));
    std::memcpy(p, "data", 4);
    p += 4;
    put(dataBytes);
    for (double v : values)
        put(qint16(std::lround(std::clamp(v * scale, -1.0, 1.0) * 32767)));
    return out;
}

QString ensure(Sound sound) {
    const QString music = QDir::cleanPath(musicFolder());
    const QString folder = music + QLatin1Char('/') + folderName();
    const bool madeFolder = !QFileInfo::exists(folder);
    if (!QDir().mkpath(folder))
        throw ZilError(
            QStringLiteral("Programın sesleri için klasör oluşturulamadı: %1").arg(shown(folder)));
    // Whoever may read Muzikler may read these, whatever this user's umask: the service of the
    // installed program rings them too.
    struct stat musicStatus {};
    const bool known = ::stat(QFile::encodeName(music).constData(), &musicStatus) == 0;
    if (madeFolder && known)
        ::chmod(QFile::encodeName(folder).constData(), musicStatus.st_mode & 02777);

    const QString target = folder + QLatin1Char('/') + fileName(sound);
    const QFileInfo present(target);
    // A school's own recording under this name stays: the program never writes over a file.
    if (present.exists() || present.isSymLink())
        return bellName(sound);
    // Written aside and then given the name, so a bell never opens half a file, a copy that stops
    // half way leaves no file of the name to be kept as if the school's, and a link planted in the
    // folder never has the sound written into a file it leads to.
    const QString why =
        FileBeside::write(target, wave(sound), FileBeside::Existing::Keep,
                          known ? std::optional<mode_t>(musicStatus.st_mode & 0666) : std::nullopt);
    if (!why.isEmpty())
        throw ZilError(
            QStringLiteral("'%1' yazılamadı: Muzikler klasörüne yazılamıyor ya da disk dolu "
                           "olabilir (%2).")
                .arg(shown(target), why));
    return bellName(sound);
}

QString ensureAll() {
    try {
        for (Sound sound : all())
            ensure(sound);
    } catch (const ZilError &error) {
        return error.message();
    }
    return {};
}

void ensureAllAside(std::function<void(const QString &failure)> failed) {
    // The folder is resolved here, on the application's thread, before the pool reads it.
    musicFolder();
    QThreadPool::globalInstance()->start([failed = std::move(failed)] {
        Backup::yieldToTheBells();
        const QString failure = ensureAll();
        if (!failure.isEmpty())
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [failed, failure] { failed(failure); },
                Qt::QueuedConnection);
    });
}

bool isProgramSound(const QString &bellMusic, Sound *sound) {
    for (Sound s : all())
        if (bellMusic == bellName(s)) {
            if (sound)
                *sound = s;
            return true;
        }
    return false;
}

} // namespace ProgramSounds
