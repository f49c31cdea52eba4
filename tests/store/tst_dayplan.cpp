// The day plan: what a date sounds, what the calendar says of each sound, what comes next (past
// midnight too), and that it is read again only when something changed.
#include "BellStore.h"
#include "Calendar.h"
#include "DayPlan.h"
#include "ScheduleFixture.h"

#include <QSignalSpy>
#include <QtTest>

class TestDayPlan : public QObject {
    Q_OBJECT
private slots:
    void aWeekNightAndAHalfDay() {
        ScheduleFixture fx;
        BellStore store;
        store.open(fx.databaseFile());
        Calendar calendar(store);
        DayPlan plan(store, &calendar);
        QSignalSpy changed(&plan, &DayPlan::changed);
        // Wednesday 2026-12-09 is a half day from 12:00; Thursday rings just after midnight.
        calendar.save(CalendarEntry::halfDay("Veli Toplantısı", QDate(2026, 12, 9), QTime(12, 0)));
        fx.insert(2, "Öğle", "12:30:00", "zil.mp3", 5);
        fx.insert(2, "Bozuk", "yarım", "zil.mp3", 5);
        fx.insert(2, "Sabah", "08:30:00", "zil.mp3", 5);
        fx.insert(3, "Gece Yarısı", "00:00:01", "zil.mp3", 5);
        const QDate wednesday(2026, 12, 9);

        QVERIFY(plan.update(wednesday));
        QCOMPARE(changed.size(), 1);
        // Time order; a row without a readable start first, and it never sounds.
        QStringList names;
        for (const PlannedSound &s : plan.sounds())
            names << s.bell.name;
        QCOMPARE(names, (QStringList{"Bozuk", "Sabah", "Öğle"}));
        QVERIFY(!plan.sounds().at(0).sounds());
        QVERIFY(plan.sounds().at(1).sounds());
        QCOMPARE(plan.sounds().at(2).quiet, plan.day().reason);
        QVERIFY(!plan.sounds().at(2).quiet.isEmpty());
        QCOMPARE(plan.next(QTime(8, 0))->bell.name, QStringLiteral("Sabah"));
        // The quiet afternoon bell is not "next".
        QVERIFY(!plan.next(QTime(8, 30)));
        QCOMPARE(plan.nextLine(QTime(9, 0)), QStringLiteral("Sıradaki zil: bugün başka zil yok"));

        // Nothing changed: not read again. An edit: read again, once.
        QVERIFY(!plan.update(wednesday));
        fx.insert(2, "Akşam", "11:00:00", "zil.mp3", 5);
        QVERIFY(plan.update(wednesday));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(plan.next(QTime(9, 0))->bell.name, QStringLiteral("Akşam"));

        // Past midnight: only within reach, and without becoming the plan.
        QVERIFY(!plan.nextAfter(QDateTime(wednesday, QTime(23, 0)), 3));
        const auto ahead = plan.nextAfter(QDateTime(wednesday, QTime(23, 59, 59)), 3);
        QVERIFY(ahead);
        QCOMPARE(ahead->first, QDateTime(QDate(2026, 12, 10), QTime(0, 0, 1)));
        QCOMPARE(ahead->second.bell.name, QStringLiteral("Gece Yarısı"));
        QCOMPARE(plan.date(), wednesday);

        // A failed bell in the record: the plan's own line is taken in without reading the day
        // again; another program's line is read at the next update.
        QVERIFY(!plan.troubled());
        const BellEvent failed{wednesday, 3, "Sabah", "08:30:00", "zil.mp3", BellOutcome::Failed};
        const bool current = plan.current();
        store.record(failed);
        plan.recorded(failed, current);
        QVERIFY(plan.troubled());
        QCOMPARE(changed.size(), 3);
        QVERIFY(!plan.update(wednesday));
        BellStore other;
        other.open(fx.databaseFile());
        other.record({wednesday, 1, "Öğle", "12:30:00", "zil.mp3", BellOutcome::Silenced});
        QVERIFY(plan.update(wednesday));
    }
};

QTEST_GUILESS_MAIN(TestDayPlan)
#include "tst_dayplan.moc"
