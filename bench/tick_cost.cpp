// One bell-clock tick against a schedule of 10,000 rows, 200 of them today; prints the median
// and the spread over many ticks. No bell falls due, so the figure is the tick's own cost.
#include "BellClock.h"
#include "Clock.h"
#include "FakeMediaLayer.h"
#include "MediaPlayerDevice.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

namespace {} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ScheduleFixture fx;
    fx.exec("BEGIN");
    // 200 bells on each of 50 "days"; GunID 0..6 hold the real weeks, Monday gets exactly 200.
    for (int i = 0; i < 10000; ++i) {
        const int gun = i < 200 ? 0 : 1 + (i % 6);
        const QTime t = QTime(7, 0).addSecs((i % 200) * 137 + 1);
        fx.exec("INSERT INTO Dersler (GunID,DersSaati,DersBaslama,Muzik,Sure) VALUES(?,?,?,?,?)",
                {gun, QString("Ders %1").arg(i), t.toString("HH:mm:ss"), "zil.mp3", 30});
    }
    fx.exec("COMMIT");

    SimulatedClock clock;
    setProgramClock(&clock);
    setProgramFolder(fx.folder());
    MediaPlayerDevice player(std::make_unique<FakeMediaLayer>());
    BellStore store;
    store.setFile(fx.databaseFile());
    BellClock bell(store, player);

    // Monday 06:00, before the first bell.
    clock.at = QDateTime(QDate(2026, 12, 7), QTime(6, 0, 0, 5));
    const int ticks = 2000;
    std::vector<double> us;
    us.reserve(ticks);
    for (int i = 0; i < ticks; ++i) {
        clock.at = clock.at.addSecs(1);
        QElapsedTimer t;
        t.start();
        bell.TimerTimer();
        us.push_back(t.nsecsElapsed() / 1000.0);
    }
    std::sort(us.begin(), us.end());
    std::printf("tick_cost: %d ticks, 10000 rows, 200 today\n", ticks);
    std::printf(
        "  median %.1f us, p90 %.1f us, p99 %.1f us, max %.1f us (target: median <= 1000 us)\n",
        us[us.size() / 2], us[us.size() * 9 / 10], us[us.size() * 99 / 100], us.back());
    setProgramClock(nullptr);
    return 0;
}
