// The real program's start-up, offline, with 200 bells today: time from process start to the main
// window shown, resident memory 10 s later, and the processor time used over the next 60 s of
// idling. The program is started as a child process of this one, so that building its schedule
// is not counted and every run starts from exec like the real program does; the child does what
// main() and runProgram() do, with the machine taken to be offline and the schedule in a
// temporary program folder.
#include "Startup.h"
#include "AnaSayfa.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "ZilApplication.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kBells = 200;
constexpr int kStartupRuns = 5;
constexpr int kSettleMs = 10'000;
constexpr int kIdleMs = 60'000;
// No bell falls in this span after the schedule is made, so nothing rings while we measure.
constexpr int kQuietSeconds = 15 * 60;

const char *const kChildFlag = "--child";

// CLOCK_BOOTTIME is the clock /proc counts process start times on, and it is the same in the
// parent and the child.
qint64 bootNs() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// This process's start time from /proc, in ns since boot; the kernel keeps it in clock ticks
// (usually 10 ms).
qint64 processStartBootNs() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The command name may hold spaces and parentheses; the fields go on after the last ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Field 22 of the line is starttime; after the name the list starts at field 3.
    if (fields.size() < 20)
        return -1;
    const qint64 ticks = fields.at(19).toLongLong();
    return ticks * (1'000'000'000 / sysconf(_SC_CLK_TCK));
}

long statusKb(const char *key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    return -1;
}

struct Usage {
    qint64 cpuUs = 0;
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;
};

Usage usage() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    Usage u;
    u.cpuUs = qint64(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1'000'000 + ru.ru_utime.tv_usec +
              ru.ru_stime.tv_usec;
    u.voluntarySwitches = ru.ru_nvcsw;
    u.involuntarySwitches = ru.ru_nivcsw;
    return u;
}

// ---- the child: the program itself ----

// Notes the moment the main window's first expose has been handled, which is when its first
// frame has been painted and handed to the window system.
class MeasuredApplication : public ZilApplication {
public:
    using ZilApplication::ZilApplication;

    QWidget *watched = nullptr;
    qint64 shownNs = 0;
    std::function<void()> onShown;

    bool notify(QObject *receiver, QEvent *event) override {
        const bool isExpose = event->type() == QEvent::Expose;
        const bool result = ZilApplication::notify(receiver, event);
        if (isExpose && !shownNs && watched && receiver == watched->windowHandle() &&
            watched->windowHandle()->isExposed()) {
            shownNs = bootNs();
            if (onShown)
                onShown();
        }
        return result;
    }
};

void report(const char *key, qint64 value) {
    std::printf("%s %lld\n", key, static_cast<long long>(value));
    std::fflush(stdout);
}

int runChild(int argc, char **argv, qint64 mainNs) {
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const bool full = std::strcmp(argv[3], "full") == 0;

    // As main() does offline: no shared OpenGL contexts, which only the web panel needs.
    MeasuredApplication app(argc, argv);
    const qint64 appNs = bootNs();
    setProgramFolder(folder);

    // As runProgram() does, with the machine offline: the store, the player, the clock and
    // the windows.
    Program program([] { return false; });
    TfrmMenu &frmMenu = program.menu();
    const qint64 programNs = bootNs();

    app.watched = &frmMenu;

    Usage idleStart;
    QElapsedTimer idleClock;
    app.onShown = [&] {
        report("start", processStartBootNs());
        report("main", mainNs);
        report("app", appNs);
        report("program", programNs);
        report("shown", app.shownNs);
        report("rows",
               frmMenu.findChild<QTreeWidget *>(QStringLiteral("ListView1"))->topLevelItemCount());
        std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
        std::fflush(stdout);
        if (!full) {
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
            return;
        }
        QTimer::singleShot(kSettleMs, &app, [&] {
            report("rss_kb", statusKb("VmRSS"));
            report("hwm_kb", statusKb("VmHWM"));
            report("threads", statusKb("Threads"));
            idleStart = usage();
            idleClock.start();
            QTimer::singleShot(kIdleMs, &app, [&] {
                const Usage end = usage();
                report("idle_wall_us", idleClock.nsecsElapsed() / 1000);
                report("idle_cpu_us", end.cpuUs - idleStart.cpuUs);
                report("idle_vcsw", end.voluntarySwitches - idleStart.voluntarySwitches);
                report("idle_ivcsw", end.involuntarySwitches - idleStart.involuntarySwitches);
                app.quit();
            });
        });
    };

    frmMenu.show();
    return app.exec();
}

// ---- the parent: the schedule and the runs ----

using Figures = std::map<std::string, qint64>;

struct Run {
    qint64 launchNs = 0;
    Figures figures;
    QString platform;
    bool ok = false;
};

Run startChild(const QString &folder, const char *mode) {
    Run run;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.launchNs = bootNs();
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kChildFlag), folder, QString::fromLatin1(mode)});
    if (!child.waitForStarted(10'000) || !child.waitForFinished(kSettleMs + kIdleMs + 60'000) ||
        child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fprintf(stderr, "startup: the program run failed (%s)\n",
                     qPrintable(child.errorString()));
        return run;
    }
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 2)
            continue;
        if (parts[0] == "platform")
            run.platform = QString::fromLatin1(parts[1]);
        else
            run.figures[parts[0].toStdString()] = parts[1].toLongLong();
    }
    run.ok = run.figures.count("shown") && run.figures.count("start");
    return run;
}

double ms(qint64 ns) {
    return ns / 1e6;
}

void printRun(int number, const Run &run) {
    const Figures &f = run.figures;
    const qint64 shown = f.at("shown");
    std::printf("  run %d: %6.1f ms from launch (%.0f ms by /proc start time); exec->main %.1f, "
                "QApplication %.1f, program and windows %.1f, show->exposed %.1f ms\n",
                number, ms(shown - run.launchNs), ms(shown - f.at("start")),
                ms(f.at("main") - run.launchNs), ms(f.at("app") - f.at("main")),
                ms(f.at("program") - f.at("app")), ms(shown - f.at("program")));
}

int runParent(int argc, char **argv) {
    QCoreApplication app(argc, argv);

    // 200 bells today, spread over the rest of the day and past midnight, none in the next
    // quarter of an hour. Their music does not exist; it would only be opened if one rang.
    ScheduleFixture fx;
    const int today = BugunGunID();
    const QTime now = QTime::currentTime();
    const int spacing = (24 * 3600 - kQuietSeconds - 3600) / kBells;
    fx.exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < kBells; ++i) {
        const QTime start = now.addSecs(kQuietSeconds + i * spacing);
        fx.insert(today, QStringLiteral("Ders %1").arg(i + 1),
                  start.toString(QStringLiteral("HH:mm:ss")), QStringLiteral("zil.mp3"), 30);
    }
    fx.exec(QStringLiteral("COMMIT"));
    // And a school year's bell record, as the program has after a year's running.
    fx.fillRecord(QDate::currentDate(), 365, kBells);

    std::vector<Run> runs;
    for (int i = 0; i < kStartupRuns; ++i)
        runs.push_back(startChild(fx.folder(), "startup"));
    runs.push_back(startChild(fx.folder(), "full"));
    for (const Run &run : runs)
        if (!run.ok)
            return 1;
    const Run &full = runs.back();

    std::printf("startup: the program started %d times, offline, %d bells today (%d listed), "
                "a record of %d days x %d bells (database %.1f MiB), platform %s\n",
                int(runs.size()), kBells, int(full.figures.at("rows")), 365, kBells,
                double(QFileInfo(fx.databaseFile()).size()) / (1024.0 * 1024.0),
                qPrintable(full.platform));
    std::printf(" time from process launch to the main window's first frame:\n");
    std::vector<double> shown;
    for (size_t i = 0; i < runs.size(); ++i) {
        printRun(int(i + 1), runs[i]);
        shown.push_back(ms(runs[i].figures.at("shown") - runs[i].launchNs));
    }
    std::sort(shown.begin(), shown.end());
    std::printf("  median %.1f ms, min %.1f ms, max %.1f ms (target: <= 400 ms)\n",
                shown[shown.size() / 2], shown.front(), shown.back());

    const Figures &f = full.figures;
    std::printf(" resident memory %d s after the window was shown: %.1f MiB (%ld kB; peak %ld kB, "
                "%ld threads) (target: <= 60 MB)\n",
                kSettleMs / 1000, f.at("rss_kb") / 1024.0, long(f.at("rss_kb")),
                long(f.at("hwm_kb")), long(f.at("threads")));
    const double percent = 100.0 * f.at("idle_cpu_us") / f.at("idle_wall_us");
    std::printf(" processor time over %.1f s of idling: %.1f ms = %.3f %% of one core, %lld "
                "voluntary and %lld forced context switches (target: <= 0.2 %%)\n",
                f.at("idle_wall_us") / 1e6, f.at("idle_cpu_us") / 1e3, percent,
                static_cast<long long>(f.at("idle_vcsw")),
                static_cast<long long>(f.at("idle_ivcsw")));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const qint64 mainNs = bootNs();
    if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0)
        return runChild(argc, argv, mainNs);
    return runParent(argc, argv);
}
