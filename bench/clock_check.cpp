// What asking whether the clock is set from the network costs the thread the bell clock runs on:
// 20 askings of a stand-in timedatectl (in a temporary folder) and 20 of the system's own tools,
// while a precise 50 ms timer, standing for the bell clock's tick, measures how late it fires.
// Prints the time from asking to the answer and the tick's lateness, median and worst, beside
// the tick's lateness with nothing asked on the same machine.
#include "ClockSync.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {
qint64 median(QList<qint64> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

void measure(const char *what, const QStringList &folders, bool ask = true) {
    QList<qint64> answers;
    QList<qint64> lateness;
    QString source;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(50);
    qint64 last = -1;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (last >= 0)
            lateness.append(qMax<qint64>(0, now - last - 50));
        last = now;
    });
    tick.start();
    for (int i = 0; i < 20; ++i) {
        // A fresh asker each time: its first answer is always told.
        ClockSync sync(folders);
        QSignalSpy answered(&sync, &ClockSync::changed);
        QElapsedTimer since;
        since.start();
        if (ask) {
            sync.ask();
            answered.wait(15000);
        } else {
            QTest::qWait(10);
        }
        answers.append(since.elapsed());
        source = sync.source();
        // Ticks between askings too.
        QTest::qWait(120);
    }
    const qint64 lateMedian = median(lateness);
    const qint64 lateWorst = *std::max_element(lateness.begin(), lateness.end());
    if (!ask) {
        std::printf("%-22s 50 ms tick late median %lld ms, worst %lld ms\n", what, lateMedian,
                    lateWorst);
        return;
    }
    std::printf("%-22s answer median %4lld ms, worst %4lld ms; 50 ms tick late median %lld ms, "
                "worst %lld ms (answered by: %s)\n",
                what, median(answers), *std::max_element(answers.begin(), answers.end()),
                lateMedian, lateWorst,
                qPrintable(source.isEmpty() ? QStringLiteral("nobody") : source));
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QFile tool(dir.filePath(QStringLiteral("timedatectl")));
    if (!tool.open(QIODevice::WriteOnly))
        return 1;
    tool.write("#!/bin/sh\necho no\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    measure("nothing asked:", {}, false);
    measure("stand-in timedatectl:", {dir.path()});
    measure("this system's tools:", ClockSync::systemToolFolders());
    return 0;
}
