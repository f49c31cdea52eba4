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

    // An exam week rings its own programme; a holiday still wins, a make-up day in it rings the
    // programme's weekday, and a deleted programme leaves its dates to Normal, not to silence.
    void aSpecialProgrammeOnItsDates() {
        ScheduleFixture fx;
        BellStore store;
        store.open(fx.databaseFile());
        Calendar calendar(store);
        DayPlan plan(store, &calendar);
        fx.insert(0, "Normal Pazartesi", "08:30:00", "zil.mp3", 5);
        fx.insert(1, "Normal Salı", "08:30:00", "zil.mp3", 5);
        const int exams = store.addProgramme("  Sınav   Haftası ");
        QVERIFY_THROWS_EXCEPTION(ERefused, store.addProgramme("sınav haftası"));
        QVERIFY_THROWS_EXCEPTION(ERefused, store.addProgramme("Normal"));
        QVERIFY_THROWS_EXCEPTION(ERefused, store.removeProgramme(Programme::Normal));
        QCOMPARE(store.programmes().last().name, QStringLiteral("Sınav Haftası"));
        store.copyDay(0, {0, 1}, false, exams, Programme::Normal);
        store.add({{0, 0, "Sınav", QStringLiteral("10:00:00"), "zil.mp3", 5, exams}});
        store.shiftDays({1}, 600, exams);
        QCOMPARE(store.dayBells(1, exams).first().start.toString(), QStringLiteral("08:40:00"));
        QCOMPARE(store.dayBells(1).first().start.toString(), QStringLiteral("08:30:00"));

        const QDate monday(2027, 1, 4);
        calendar.save(CalendarEntry::special("Sınav Haftası", exams, monday, monday.addDays(5)));
        calendar.save(CalendarEntry::holiday("Kar Tatili", monday.addDays(1), monday.addDays(1)));
        calendar.save(CalendarEntry::makeUp(monday.addDays(5), 0));

        const auto names = [&](const QDate &date) {
            plan.update(date);
            QStringList list;
            for (const PlannedSound &s : plan.sounds())
                list << s.bell.name + (s.sounds() ? "" : " (sessiz)");
            return list;
        };
        QCOMPARE(names(monday), (QStringList{"Normal Pazartesi", "Sınav"}));
        QVERIFY(plan.sounds().first().bell.id < 0);
        QCOMPARE(plan.day().line(), QStringLiteral("Bugün Sınav Haftası programı çalıyor"));
        QCOMPARE(names(monday.addDays(1)), QStringList{"Normal Pazartesi (sessiz)"});
        QCOMPARE(names(monday.addDays(5)), (QStringList{"Normal Pazartesi", "Sınav"}));
        QCOMPARE(names(monday.addDays(7)), QStringList{"Normal Pazartesi"});
        // The programme's bell is edited and removed through the same calls as Normal's.
        plan.update(monday);
        Bell exam = *store.bell(plan.sounds().last().bell.id);
        QCOMPARE(exam.programme, exams);
        exam.name = "Sınav 1";
        QVERIFY(store.update(exam));
        QCOMPARE(names(monday), (QStringList{"Normal Pazartesi", "Sınav 1"}));

        store.removeProgramme(exams);
        QCOMPARE(names(monday), QStringList{"Normal Pazartesi"});
        QCOMPARE(store.dayBells(0, exams).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDayPlan)
#include "tst_dayplan.moc"
