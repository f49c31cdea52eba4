// The timetable wizard's work for a school week: 8 lessons with a student, a teacher and an end
// bell each (24 bells a day) on Monday to Friday, made from the numbers and then written in place
// of the week's old bells in one transaction. Prints the median and the slowest of 20 runs, for
// making the bells, for writing them, and for both together.
#include "BellStore.h"
#include "ScheduleFixture.h"
#include "Timetable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ScheduleFixture fx;
    BellStore store;
    store.open(fx.databaseFile());

    TimetablePlan plan;
    plan.days = {0, 1, 2, 3, 4};
    plan.morning = {QTime(8, 30), 8, 40, 10, 0, 0, 5, 50};
    plan.student = {true, "ogrenci.mp3", 20};
    plan.teacher = {true, "ogretmen.mp3", 15};
    plan.exit = {true, "cikis.mp3", 25};

    constexpr int runs = 20;
    QList<qint64> make, save, both;
    qsizetype written = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const Timetable week = makeTimetable(plan);
        const qint64 made = timer.nsecsElapsed();
        store.replaceDays(plan.days, week.bells);
        const qint64 total = timer.nsecsElapsed();
        make << made;
        save << total - made;
        both << total;
        written = week.bells.size();
    }
    if (written != 5 * 24 || fx.count() != 5 * 24) {
        std::fprintf(stderr, "expected 120 bells, made %lld, stored %d\n",
                     static_cast<long long>(written), fx.count());
        return 1;
    }
    const auto show = [](const char *what, QList<qint64> ns) {
        std::sort(ns.begin(), ns.end());
        std::printf("%-28s median %8.3f ms   slowest %8.3f ms\n", what, ns[ns.size() / 2] / 1e6,
                    ns.last() / 1e6);
    };
    std::printf("5-day week, 24 bells a day (120 bells), %d runs:\n", runs);
    show("make the bells", make);
    show("replace the week's bells", save);
    show("make and save", both);
    return 0;
}
