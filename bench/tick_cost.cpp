// One bell-clock tick against a schedule of 10,000 rows, 200 of them today, and a bell record of
// a school year (200 lines on each of 365 days); prints the median and the spread over many ticks.
// No bell falls due, so the figure is the tick's own cost. Then the cost of a tick right after a
// write to the store, which makes the clock read the day again. All of it twice: without a
// calendar, with a school calendar of 200 entries, a school year and the official holidays, and
// with five programmes more, one of which rings that day, and a calendar of 300 entries.
#include "BellClock.h"
#include "Calendar.h"
#include "Clock.h"
#include "FakeMediaLayer.h"
#include "LayerBellPlayer.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

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
    const QDate monday(2026, 12, 7);
    fx.fillRecord(monday, 365, 200);

    setProgramClock(&clock);
    setProgramFolder(fx.folder());
    // The same ticks without a calendar, then with a school calendar of 200 entries.
    const auto measure = [&](bool withCalendar, bool withProgrammes) {
        FakeMediaLayer layer;
        LayerBellPlayer player(layer);
        BellStore store;
        store.setFile(fx.databaseFile());
        BellClock bell(store, player);
        Calendar calendar(store);
        DayPlan plan(store, &calendar);
        // The run with programmes finds the calendar the run before it saved in the same file.
        if (withCalendar && !withProgrammes) {
            calendar.setSchoolYear(Calendar::SchoolYear{QDate(2026, 9, 7), QDate(2027, 6, 18)});
            // 200 entries over the school year, none of them on the Monday the ticks run on.
            for (int i = 0; i < 200; ++i) {
                QDate day = QDate(2026, 9, 8).addDays(i);
                if (day >= monday)
                    day = day.addDays(1);
                using T = CalendarEntry::Type;
                T type = i % 3 == 0 ? T::Holiday : i % 3 == 1 ? T::HalfDay : T::MakeUp;
                // An official holiday cannot be a make-up day.
                if (type == T::MakeUp && calendar.day(day).kind == CalendarDay::Kind::Holiday)
                    type = T::Holiday;
                try {
                    calendar.save({0, type, QString("Kayıt %1").arg(i), day, day, QTime(13, 0), 0});
                } catch (const ERefused &refused) {
                    std::printf("calendar entry refused: %s\n", qPrintable(refused.message()));
                    return false;
                }
            }
            bell.setPlan(plan);
        }
        if (withProgrammes) {
            bell.setPlan(plan);
            // Five programmes of 200 Monday bells each; the Monday rings the last of them, with
            // a flag ceremony, and 100 holidays more make 300 calendar entries.
            int last = 0;
            for (int p = 0; p < 5; ++p) {
                last = store.addProgramme(QString("Program %1").arg(p));
                QList<Bell> bells;
                for (int i = 0; i < 200; ++i)
                    bells.append({0, 0, QString("P%1 Ders %2").arg(p).arg(i),
                                  QTime(7, 0).addSecs(i * 137 + 1).toString("HH:mm:ss"), "zil.mp3",
                                  30, last});
                store.add(bells);
            }
            calendar.save(CalendarEntry::special("Program 4", last, monday, monday.addDays(4)));
            // On the days that already are holidays: a holiday may lie within another.
            for (int i = 0; i < 99; ++i) {
                const QDate day = QDate(2026, 9, 8).addDays(3 * (i % 30));
                calendar.save(CalendarEntry::holiday(QString("Ek tatil %1").arg(i), day, day));
            }
            calendar.setIstiklalMarsi("marsi.mp3");
            calendar.setCeremony(last, {true, 10, 5});
        }

        // Monday 06:00, before the first bell.
        clock.at = QDateTime(QDate(2026, 12, 7), QTime(6, 0, 0, 5));
        // The sorted cost of `count` ticks, one a second, each after `before` ran.
        const auto timeTicks = [&](int count, const std::function<void(int)> &before) {
            std::vector<double> us;
            for (int i = 0; i < count; ++i) {
                before(i);
                clock.at = clock.at.addSecs(1);
                QElapsedTimer t;
                t.start();
                bell.TimerTimer();
                us.push_back(t.nsecsElapsed() / 1000.0);
            }
            std::sort(us.begin(), us.end());
            return us;
        };
        const int ticks = 2000;
        const std::vector<double> us = timeTicks(ticks, [](int) {});
        std::printf("tick_cost: %d ticks, 10000 rows, 200 today, a record of 73,000 lines%s\n",
                    ticks,
                    withProgrammes ? ", 5 programmes of 200 bells, today's a special one with "
                                     "a ceremony, a calendar of 300 entries"
                    : withCalendar ? ", a calendar of 200 entries"
                                   : "");
        std::printf(
            "  median %.1f us, p90 %.1f us, p99 %.1f us, max %.1f us (target: median <= 30 us)\n",
            us[us.size() / 2], us[us.size() * 9 / 10], us[us.size() * 99 / 100], us.back());

        // After a write to the store (here a record line written beside the clock), the next tick
        // reads the day afresh.
        const std::vector<double> after = timeTicks(200, [&](int i) {
            store.record({monday, 100000 + i, "x", "06:00:00", "zil.mp3", BellOutcome::Rang});
        });
        std::printf("  right after a write to the store: median %.1f us, p99 %.1f us\n",
                    after[after.size() / 2], after[after.size() * 99 / 100]);
        return true;
    };
    if (!measure(false, false) || !measure(true, false) || !measure(true, true))
        return 1;
    setProgramClock(nullptr);
    return 0;
}
