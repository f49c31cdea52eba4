// Announcements spoken by the real espeak-ng with its Turkish voice, judged by their samples.
#include "Speech.h"
#include "ZilError.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstdlib>

namespace {
struct Heard {
    int rate = 0;
    double seconds = 0;
    double loudest = 0;   // peak of the whole file, 1 = full scale
    double loudShare = 0; // share of 20 ms windows louder than -40 dBFS
};

Heard hear(const QByteArray &w) {
    Heard h;
    if (w.size() < 44 || !w.startsWith("RIFF") || w.mid(8, 8) != "WAVEfmt " ||
        w.mid(36, 4) != "data" || qFromLittleEndian<quint16>(w.constData() + 20) != 1 ||
        qFromLittleEndian<quint16>(w.constData() + 22) != 1 ||
        qFromLittleEndian<quint16>(w.constData() + 34) != 16 ||
        qFromLittleEndian<quint32>(w.constData() + 40) != quint32(w.size() - 44))
        return h;
    h.rate = int(qFromLittleEndian<quint32>(w.constData() + 24));
    const qsizetype count = (w.size() - 44) / 2;
    h.seconds = double(count) / h.rate;
    const qsizetype window = h.rate / 50;
    int windows = 0, loud = 0;
    for (qsizetype from = 0; from + window <= count; from += window, ++windows) {
        double sum = 0;
        for (qsizetype i = from; i < from + window; ++i) {
            const double x = qFromLittleEndian<qint16>(w.constData() + 44 + 2 * i) / 32768.0;
            sum += x * x;
            h.loudest = std::max(h.loudest, std::abs(x));
        }
        loud += std::sqrt(sum / window) > 0.01;
    }
    h.loudShare = windows ? double(loud) / windows : 0;
    return h;
}

QString failureOf(const std::function<void()> &work) {
    try {
        work();
    } catch (const ZilError &e) {
        return e.message();
    }
    return {};
}
} // namespace

class TestSpeech : public QObject {
    Q_OBJECT
private slots:
    // First, before the synthesiser is ever set up: it reads its data folder only then.
    void missingVoiceDataIsSaidAndMendedByInstalling() {
        QTemporaryDir empty;
        qputenv("ESPEAK_DATA_PATH", QFile::encodeName(empty.path()));
        const QString said = failureOf([] { Speech::wave(QStringLiteral("Merhaba")); });
        qunsetenv("ESPEAK_DATA_PATH");
        QVERIFY2(said.contains(QStringLiteral("espeak-ng-data paketi")), qPrintable(said));
        // Once the data is there the next announcement is spoken, without starting again.
        QVERIFY(hear(Speech::wave(QStringLiteral("Merhaba"))).seconds > 0.3);
    }

    void announcementIsHeardAndGrowsWithTheText() {
        const QString sentence =
            QStringLiteral("Öğretmenler kurulu 15.30'da konferans salonunda toplanacaktır.");
        const Heard one = hear(Speech::wave(sentence));
        const Heard three = hear(Speech::wave(sentence + u' ' + sentence + u' ' + sentence));
        QVERIFY(one.rate >= 8000);
        QCOMPARE(three.rate, one.rate);
        // A spoken sentence of nine words: seconds, not a click, and mostly voice.
        QVERIFY2(one.seconds > 2 && one.seconds < 15, qPrintable(QString::number(one.seconds)));
        QVERIFY2(one.loudest > 0.1, qPrintable(QString::number(one.loudest)));
        QVERIFY2(one.loudShare > 0.5, qPrintable(QString::number(one.loudShare)));
        QVERIFY2(three.seconds > 2.5 * one.seconds && three.seconds < 3.5 * one.seconds,
                 qPrintable(QStringLiteral("%1 s, then %2 s").arg(one.seconds).arg(three.seconds)));
    }

    void writtenNumbersAreSpokenAsWords() {
        // espeak-ng varies a synthesis by a few samples; a different reading is far longer.
        const double written =
            hear(Speech::wave(QStringLiteral("3. ders 12.00'de biter."))).seconds;
        const double words =
            hear(Speech::wave(QStringLiteral("üçüncü ders on ikide biter."))).seconds;
        const double digits =
            hear(Speech::wave(QStringLiteral("üç ders on iki nokta sıfır sıfır de biter.")))
                .seconds;
        QVERIFY2(
            std::abs(written - words) < 0.02 * words && digits > 1.2 * words,
            qPrintable(QStringLiteral("%1 s, %2 s, %3 s").arg(written).arg(words).arg(digits)));
    }

    void writtenAsideAndRenamed() {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("Anonslar/Tören.wav"));
        Speech::write(QStringLiteral("İstiklal Marşı okunacaktır."), target);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Heard written = hear(file.readAll());
        const Heard again = hear(Speech::wave(QStringLiteral("İstiklal Marşı okunacaktır.")));
        QCOMPARE(written.rate, again.rate);
        QVERIFY(written.seconds > 1 && std::abs(written.seconds - again.seconds) < 0.02);
        // Nothing half-written is left beside it.
        QCOMPARE(QDir(dir.filePath(QStringLiteral("Anonslar")))
                     .entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("Tören.wav")});
    }

    void failuresAreSaidInTurkish() {
        QTemporaryDir dir;
        QCOMPARE(failureOf([] { Speech::wave(QStringLiteral("  \n ")); }),
                 QStringLiteral("Anons metni boş: okunacak bir şey yazılmadı."));
        QVERIFY(failureOf([] {
                    Speech::wave(QString(Speech::MaxCharacters + 1, u'a'));
                }).startsWith(QStringLiteral("Anons metni çok uzun")));

        // A folder that cannot be made, because a file has its name.
        QFile blocker(dir.filePath(QStringLiteral("Anonslar")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString target = dir.filePath(QStringLiteral("Anonslar/Tören.wav"));
        const QString said = failureOf([&] { Speech::write(QStringLiteral("Tören"), target); });
        QVERIFY2(said.startsWith(QStringLiteral("Anons için klasör oluşturulamadı")),
                 qPrintable(said));
        QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestSpeech)

#include "tst_speech.moc"
