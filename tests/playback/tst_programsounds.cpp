// The program's own sounds, judged by their samples: what a listener would notice (a steady
// note, a rising and falling one, blasts with silence between) is measured here instead.
#include "MusicFile.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "ZilError.h"

#include <QtEndian>
#include <QtTest>

#include <algorithm>

#include <sys/stat.h>

using namespace ProgramSounds;

namespace {
std::vector<double> samplesOf(const QByteArray &wav) {
    std::vector<double> out;
    for (qsizetype i = 44; i + 1 < wav.size(); i += 2)
        out.push_back(qFromLittleEndian<qint16>(wav.constData() + i) / 32768.0);
    return out;
}

// Pitch of each window, from the upward zero crossings.
std::vector<double> pitches(Sound sound, double window) {
    const std::vector<double> x = samplesOf(wave(sound));
    const auto n = std::size_t(window * sampleRate(sound));
    std::vector<double> out;
    for (std::size_t from = 0; from + n <= x.size(); from += n) {
        int ups = 0;
        for (std::size_t i = from + 1; i < from + n; ++i)
            ups += x[i - 1] < 0 && x[i] >= 0;
        out.push_back(ups / window);
    }
    return out;
}

mode_t modeOf(const QString &path) {
    struct stat s {};
    return ::stat(QFile::encodeName(path).constData(), &s) == 0 ? s.st_mode & 07777 : 0;
}
} // namespace

class TestProgramSounds : public QObject {
    Q_OBJECT
private slots:
    void wavesThePlayerReads() {
        for (Sound s : all()) {
            const QByteArray w = wave(s);
            QVERIFY(w.startsWith("RIFF") && w.mid(8, 8) == "WAVEfmt " && w.mid(36, 4) == "data");
            QCOMPARE(qFromLittleEndian<quint16>(w.constData() + 20), quint16(1)); // PCM
            QCOMPARE(qFromLittleEndian<quint16>(w.constData() + 22), quint16(1)); // mono
            QCOMPARE(qFromLittleEndian<quint32>(w.constData() + 24), quint32(sampleRate(s)));
            QCOMPARE(qFromLittleEndian<quint32>(w.constData() + 40), quint32(w.size() - 44));
            const double seconds = (w.size() - 44) / 2.0 / sampleRate(s);
            const bool bell = sampleRate(s) != sampleRate(Sound::SabitSiren);
            // The chime only calls to listen, before an announcement.
            const double shortest = s == Sound::AnonsCani ? 1.5 : 3;
            const double longest = s == Sound::AnonsCani ? 2 : 8;
            QVERIFY2(bell ? seconds >= shortest && seconds <= longest : seconds == 180,
                     qPrintable(title(s)));
            // Loud at once (a siren within its spin-up), silent at the very end: no click when
            // the file ends.
            const std::vector<double> x = samplesOf(w);
            const auto soon = x.begin() + std::ptrdiff_t(sampleRate(s) * (bell ? 0.5 : 5));
            QVERIFY(*std::max_element(x.begin(), soon) > 0.3);
            QVERIFY(std::abs(x.back()) < 0.01);
        }
    }

    void steadySirenHoldsOneNote() {
        const std::vector<double> p = pitches(Sound::SabitSiren, 1.0);
        const auto [low, high] = std::minmax_element(p.begin() + 10, p.end() - 10);
        QVERIFY2(*low > 300 && *high < 700 && *high - *low <= 0.01 * *high,
                 qPrintable(QStringLiteral("%1 .. %2 Hz").arg(*low).arg(*high)));
    }

    void wailingSirenRisesAndFalls() {
        const std::vector<double> p = pitches(Sound::DalgaliSiren, 0.5);
        const auto [low, high] = std::minmax_element(p.begin() + 4, p.end() - 8);
        const double middle = (*low + *high) / 2;
        int rises = 0;
        for (std::size_t i = 1; i < p.size(); ++i)
            rises += p[i - 1] < middle && p[i] >= middle;
        // Eighteen waves in three minutes, each across most of the siren's range.
        QVERIFY2(
            *low < 350 && *high > 700 && rises == 18,
            qPrintable(QStringLiteral("%1 .. %2 Hz, %3 rises").arg(*low).arg(*high).arg(rises)));
    }

    void intermittentSirenPausesInSilence() {
        const auto second = std::size_t(sampleRate(Sound::KesikSiren));
        int pauses = 0;
        std::size_t quiet = 0;
        for (double v : samplesOf(wave(Sound::KesikSiren))) {
            quiet = v == 0 ? quiet + 1 : 0;
            pauses += quiet == second;
        }
        // A second of true silence after each of the 45 blasts.
        QCOMPARE(pauses, 45);
    }

    void writtenWhenMissingNeverOverASchoolsFile() {
        QTemporaryDir dir;
        setProgramFolder(dir.path() + QLatin1Char('/'));
        const QString music = musicFolder();
        QVERIFY(QDir().mkpath(music));
        // The folder decides who may read them, not this user's umask.
        QVERIFY(::chmod(QFile::encodeName(music).constData(), 0750) == 0);
        const mode_t before = ::umask(077);
        const QString failure = ensureAll();
        ::umask(before);
        QCOMPARE(failure, QString());
        const QString folder = music + folderName();
        QCOMPARE(modeOf(folder), mode_t(0750));
        for (Sound s : all()) {
            const MusicFile file = MusicFile::of(bellName(s));
            QVERIFY2(file.ok(), qPrintable(file.refusal));
            QCOMPARE(QFileInfo(file.path).size(), wave(s).size());
            QCOMPARE(modeOf(file.path), mode_t(0640));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), all().size());

        QFile own(music + bellName(Sound::Ogrenci));
        QVERIFY(own.open(QIODevice::WriteOnly) && own.write("okulun kaydı") > 0);
        own.close();
        QVERIFY(QFile::remove(music + bellName(Sound::KesikSiren)));
        // Another user of the folder may plant a link where the sound is written first: it
        // never leads the write into the file it points at.
        const QString outside = dir.filePath(QStringLiteral("disari.txt"));
        QFile victim(outside);
        QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write("dokunulmaz") == 10);
        victim.close();
        const QString sirenFile = QFileInfo(music + bellName(Sound::KesikSiren)).fileName();
        QVERIFY(QFile::link(outside,
                            folder + QStringLiteral("/.") + sirenFile + QStringLiteral(".part")));
        QCOMPARE(ensure(Sound::Ogrenci), bellName(Sound::Ogrenci));
        QCOMPARE(ensureAll(), QString());
        QCOMPARE(QFileInfo(own).size(), qint64(QByteArray("okulun kaydı").size()));
        QCOMPARE(QFileInfo(music + bellName(Sound::KesikSiren)).size(),
                 wave(Sound::KesikSiren).size());
        QVERIFY(!QFileInfo(music + bellName(Sound::KesikSiren)).isSymLink());
        QCOMPARE(QFileInfo(outside).size(), qint64(10));

        // A folder that cannot be made is told in the user's words, even to root.
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(ensureAll().contains(QStringLiteral("klasör oluşturulamadı")));
        QVERIFY_THROWS_EXCEPTION(ZilError, ensure(Sound::Cikis));
        setProgramFolder({});
    }
};

QTEST_GUILESS_MAIN(TestProgramSounds)
#include "tst_programsounds.moc"
