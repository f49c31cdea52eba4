// Synthesising a 20-word Turkish announcement into a WAV with espeak-ng, as saving an announcement
// does. Prints the first call (which sets up the synthesiser and loads the Turkish voice) and the
// median and slowest of the following runs, with the length of the speech they make.
#include "Speech.h"
#include "ZilError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtEndian>
#include <algorithm>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QString text = QStringLiteral(
        "Sayın öğretmenlerimiz, öğretmenler kurulu bugün 15.30'da konferans salonunda "
        "toplanacaktır; 3. ders sonunda tüm sınıf başkanları lütfen müdür yardımcısının odasına "
        "gelsin.");
    constexpr int runs = 15;
    QList<qint64> ns;
    QByteArray wav;
    try {
        for (int run = 0; run <= runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            wav = Speech::wave(text);
            ns << timer.nsecsElapsed();
        }
    } catch (const ZilError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const qint64 first = ns.takeFirst();
    std::sort(ns.begin(), ns.end());
    // 16-bit mono; the sample rate is the header's.
    const double seconds =
        (wav.size() - 44) / 2.0 / qFromLittleEndian<quint32>(wav.constData() + 24);
    std::printf("20-word announcement, %.1f s of speech, %d runs after the first:\n", seconds,
                runs);
    std::printf("%-34s %8.1f ms\n", "first (sets up the synthesiser)", first / 1e6);
    std::printf("%-34s %8.1f ms\n", "median", ns[ns.size() / 2] / 1e6);
    std::printf("%-34s %8.1f ms\n", "slowest", ns.last() / 1e6);
    return 0;
}
