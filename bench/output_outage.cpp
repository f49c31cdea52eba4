// A sound server that ends and comes back while the bells ring, as a crash and a restart would
// do: bells at T, T+4, T+8 and T+12 rung by the bell clock through the program's own output
// (autoaudiosink) into a PulseAudio server started here, which is ended at T-3 (--kill-at MS
// for another moment) and started again at T+1. Prints each bell's record line beside what the
// server's monitor carried (parec, from pulseaudio-utils). --no-server: the server is never
// started, as for a service user without one; --steady: it is never ended.
#include "BellClock.h"
#include "GstMediaLayer.h"
#include "LayerBellPlayer.h"
#include "ProgramValues.h"
#include "PulseServer.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kLoud = 3000;
constexpr int kBells = 4;
constexpr int kSpacing = 4;

// What one parec run carried: the sounds it heard, in ms after T.
struct Recording {
    std::unique_ptr<QProcess> process;
};

std::vector<std::pair<qint64, qint64>> soundsOf(Recording &r, qint64 t) {
    std::vector<std::pair<qint64, qint64>> sounds;
    // Counted back from the end: parec's first samples come a while after it starts.
    const qint64 endedMs = QDateTime::currentMSecsSinceEpoch();
    r.process->terminate();
    r.process->waitForFinished(2000);
    const QByteArray data = r.process->readAllStandardOutput();
    const auto *samples = reinterpret_cast<const qint16 *>(data.constData());
    const qint64 count = data.size() / 2;
    for (qint64 i = 0; i < count; ++i) {
        if (std::abs(samples[i]) < kLoud)
            continue;
        const qint64 at = endedMs - (count - i) * 1000 / kRate - t;
        if (sounds.empty() || at - sounds.back().second > 100)
            sounds.emplace_back(at, at);
        sounds.back().second = at;
    }
    return sounds;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const bool noServer = app.arguments().contains(QStringLiteral("--no-server"));
    PulseServer pulse;
    pulse.useInThisProcess();
    QString why;
    if (!noServer && !pulse.start(why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }

    ScheduleFixture fx;
    setProgramFolder(fx.folder());
    const QString music = fx.folder() + QStringLiteral("Muzikler/");
    QDir().mkpath(music);
    if (!makeMediaFile(toneSource(1500) +
                       QStringLiteral("wavenc ! filesink location=\"%1tone.wav\"").arg(music)))
        return 1;
    const QDateTime now = QDateTime::currentDateTime();
    QDateTime t = now.addSecs(6);
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    for (int i = 0; i < kBells; ++i) {
        const QDateTime start = t.addSecs(i * kSpacing);
        fx.insert(GunIDOf(start.date()), QStringLiteral("T+%1").arg(i * kSpacing),
                  StoredTimeForm(start.time()), QStringLiteral("tone.wav"), 2);
    }

    GstMediaLayer layer;
    LayerBellPlayer player(layer);
    BellStore store;
    store.setFile(fx.databaseFile());
    QStringList reports;
    BellClock clock(store, player, [&](const QString &m) {
        reports << QStringLiteral("T%1 ms: ").arg(t.msecsTo(QDateTime::currentDateTime()), 6) + m;
    });
    clock.setPrepareAhead(true);

    std::vector<Recording> recordings;
    const auto listen = [&] {
        Recording r;
        r.process = std::make_unique<QProcess>();
        r.process->start(QStringLiteral("parec"),
                         {QStringLiteral("-d"), QStringLiteral("measured.monitor"),
                          QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                          QStringLiteral("--channels=1"), QStringLiteral("--rate=%1").arg(kRate),
                          QStringLiteral("--latency-msec=10")});
        recordings.push_back(std::move(r));
    };
    const auto at = [&](int ms, auto what) {
        QTimer::singleShot(int(QDateTime::currentDateTime().msecsTo(t.addMSecs(ms))), &app, what);
    };
    const bool steady = app.arguments().contains(QStringLiteral("--steady"));
    const int killAt = int(app.arguments().indexOf(QStringLiteral("--kill-at")));
    const int killMs = killAt > 0 ? app.arguments().value(killAt + 1).toInt() : -3000;
    if (!noServer && steady)
        listen();
    if (!noServer && !steady) {
        listen();
        at(killMs, [&] {
            soundsOf(recordings.back(), 0); // ends with the server anyway
            pulse.kill();
        });
        at(1000, [&] {
            QString again;
            if (!pulse.start(again))
                std::fprintf(stderr, "restart: %s\n", qPrintable(again));
            listen();
        });
    }
    at((kBells - 1) * kSpacing * 1000 + 3000, [&] { app.quit(); });
    clock.Start();
    app.exec();
    clock.Timer().stop();

    const qint64 tMs = t.toMSecsSinceEpoch();
    std::vector<std::pair<qint64, qint64>> heard;
    if (!recordings.empty()) {
        // The first recording ended with the server; it heard no bell.
        heard = soundsOf(recordings.back(), tMs);
    }
    std::printf("output_outage: bells at T, T+4, T+8, T+12 through autoaudiosink; %s\n",
                qPrintable(noServer ? QStringLiteral("no sound server at all")
                           : steady ? QStringLiteral("PulseAudio up throughout")
                                    : QStringLiteral("PulseAudio ended at T%1 ms and started "
                                                     "again at T+1000 ms")
                                          .arg(killMs)));
    std::printf("  record (outcome, delay, reason, tone) | heard on the monitor\n");
    const QList<BellEvent> events = store.history(t.date(), t.date());
    for (auto it = events.crbegin(); it != events.crend(); ++it) {
        const qint64 bellMs =
            QDateTime(t.date(), QTime::fromString(it->start, QStringLiteral("HH:mm:ss")))
                .msecsTo(t) *
            -1;
        QByteArray heardText = "nothing";
        for (const auto &[from, until] : heard)
            if (from >= bellMs - 200 && from < bellMs + 2000)
                heardText = QStringLiteral("%1..%2 ms after its second")
                                .arg(from - bellMs)
                                .arg(until - bellMs)
                                .toUtf8();
        std::printf("  %-5s %-10s %5d ms  %-40s %s | %s\n", qPrintable(it->name),
                    qPrintable(outcomeCode(it->outcome)), it->delayMs, qPrintable(it->reason),
                    it->fallbackTone ? "tone" : "-", heardText.constData());
    }
    for (const QString &report : std::as_const(reports))
        std::printf("  told: %s\n", qPrintable(report));
    setProgramFolder({});
    return 0;
}
