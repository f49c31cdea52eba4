// The background service at rest: the real program started with --servis, without a display, on
// a temporary program folder with 200 bells today, none due in the next quarter hour. After 10 s
// to settle, its resident memory, and the processor time it uses over the next 60 s, read from
// /proc as the system sees the process.
#include "Calendar.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "ServiceProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kBells = 200;
constexpr int kSettleMs = 10'000;
constexpr int kIdleMs = 60'000;
constexpr int kQuietSeconds = 15 * 60;

QByteArray procFile(qint64 pid, const char *name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// User plus system time of the process, in microseconds.
qint64 cpuUs(qint64 pid) {
    const QByteArray stat = procFile(pid, "stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // Fields 14 and 15 of the line (utime, stime); after the name the list starts at field 3.
    const qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    return ticks * 1'000'000 / sysconf(_SC_CLK_TCK);
}

long statusKb(qint64 pid, const char *key) {
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : procFile(pid, "status").split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ScheduleFixture fx;
    const QString program = fx.folder() + QStringLiteral("zil");
    if (!QFile::copy(QStringLiteral(ZIL_PROGRAM), program)) {
        std::fprintf(stderr, "cannot copy the program\n");
        return 1;
    }
    // Today's bells spread over the day outside the quiet quarter hour ahead.
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < kBells; ++i) {
        QTime start = now.time().addSecs(kQuietSeconds + i * 60);
        if (start < now.time().addSecs(kQuietSeconds))
            start = QTime(0, 0).addSecs(i * 20); // after midnight: earlier today
        fx.insert(GunIDOf(now.date()), QStringLiteral("Ders %1").arg(i + 1), StoredTimeForm(start),
                  QStringLiteral("zil.wav"), 30);
    }

    // --break-music: break music switched on every day; none of these bells ends a lesson, so
    // the service only looks, each second, whether a break has begun. Without it, the same
    // settings with the music off.
    const bool breakMusic = app.arguments().contains(QStringLiteral("--break-music"));
    {
        // Written as the window writes them, with or without the music, so that both runs have
        // the same calendar tables to look at every second.
        BellStore store;
        store.setFile(fx.databaseFile());
        Calendar calendar(store);
        calendar.writeNamedSettings(
            {{QStringLiteral("Teneffus:Acik"), breakMusic ? QStringLiteral("1") : QString()},
             {QStringLiteral("Teneffus:Gunler"), QStringLiteral("0,1,2,3,4,5,6")}});
    }

    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedChannels);
    if (!startAsService(service, program)) {
        std::fprintf(stderr, "the service did not start\n");
        return 1;
    }
    const qint64 pid = service.processId();
    QThread::msleep(kSettleMs);
    const long rss = statusKb(pid, "VmRSS");
    const long threads = statusKb(pid, "Threads");
    const qint64 cpuStart = cpuUs(pid);
    QElapsedTimer wall;
    wall.start();
    QThread::msleep(kIdleMs);
    const qint64 cpuEnd = cpuUs(pid);
    const qint64 wallUs = wall.nsecsElapsed() / 1000;
    const long hwm = statusKb(pid, "VmHWM");
    service.terminate();
    const bool ended = service.waitForFinished(10'000);

    std::printf("break_music %s\n", breakMusic ? "on" : "off");
    std::printf("service_rss_kb %ld\nservice_hwm_kb %ld\nservice_threads %ld\n", rss, hwm, threads);
    std::printf("service_idle_cpu_us %lld over %lld us (%.3f %% of one core)\n",
                static_cast<long long>(cpuEnd - cpuStart), static_cast<long long>(wallUs),
                100.0 * double(cpuEnd - cpuStart) / double(wallUs));
    std::printf("service_sigterm_exit %s code %d\n", ended ? "clean" : "hung", service.exitCode());
    return ended && service.exitStatus() == QProcess::NormalExit && service.exitCode() == 0 ? 0 : 1;
}
