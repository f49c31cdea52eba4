#include "BellStore.h"
#include "ScheduleFixture.h"
#include "Timetable.h"

#include <QtTest>

namespace {
// "HH:MM:SS name" for each bell of one day, as a school's own timetable would list them.
QStringList dayOf(const QList<Bell> &bells, int gunId) {
    QStringList lines;
    for (const Bell &b : bells)
        if (b.gunId == gunId)
            lines << b.start.toString() + QLatin1Char(' ') + b.name;
    return lines;
}

QStringList lessons(const QStringList &times, const QString &prefix, const QString &role) {
    QStringList lines;
    for (int i = 0; i < times.size(); ++i)
        lines << QStringLiteral("%1:00 %2%3. Ders %4").arg(times[i], prefix).arg(i + 1).arg(role);
    return lines;
}

TimetablePlan eightLessons() {
    TimetablePlan p;
    p.days = {0, 1, 2, 3, 4};
    p.morning = {QTime(8, 30), 8, 40, 10, 0, 0, 5, 50};
    p.student = {true, "ogrenci.mp3", 20};
    p.teacher = {true, "ogretmen.mp3", 15};
    p.exit = {true, "cikis.mp3", 25};
    return p;
}

// Monday to Friday with six bells each, and one Saturday bell.
void fillWeek(BellStore &store) {
    QList<Bell> bells;
    for (int day = 0; day <= 5; ++day)
        for (int n = 0; n < (day == 5 ? 1 : 6); ++n)
            bells.append({0, day, QStringLiteral("Z%1").arg(n),
                          QStringLiteral("%1:00:00").arg(8 + n, 2, 10, QLatin1Char('0')), "a.mp3",
                          30});
    store.add(bells);
}
} // namespace

class TestTimetable : public QObject {
    Q_OBJECT
private slots:
    void eightLessonDayWithLunchAfterTheFifth() {
        const Timetable t = makeTimetable(eightLessons());
        QVERIFY2(t.refusal.isEmpty(), qPrintable(t.refusal));
        QCOMPARE(t.bells.size(), 5 * 24);
        QStringList expected;
        const QStringList starts = {"08:30", "09:20", "10:10", "11:00",
                                    "11:50", "13:20", "14:10", "15:00"};
        const QStringList teachers = {"08:32", "09:22", "10:12", "11:02",
                                      "11:52", "13:22", "14:12", "15:02"};
        const QStringList ends = {"09:10", "10:00", "10:50", "11:40",
                                  "12:30", "14:00", "14:50", "15:40"};
        const QStringList s = lessons(starts, {}, "Öğrenci Zili");
        const QStringList o = lessons(teachers, {}, "Öğretmen Zili");
        const QStringList c = lessons(ends, {}, "Çıkış Zili");
        for (int i = 0; i < 8; ++i)
            expected << s[i] << o[i] << c[i];
        for (int day = 0; day < 5; ++day)
            QCOMPARE(dayOf(t.bells, day), expected);
        const Bell &third = t.bells.at(7);
        QCOMPARE(third.name, QStringLiteral("3. Ders Öğretmen Zili"));
        QCOMPARE(third.music, QStringLiteral("ogretmen.mp3"));
        QCOMPARE(third.duration(), 15);
    }

    void doubleShiftDayWithCeremonies() {
        TimetablePlan p;
        p.days = {0, 2, 4};
        p.morning = {QTime(7, 10), 5, 40, 10};
        p.afternoon = LessonBlock{QTime(12, 30), 5, 40, 10};
        p.student = {true, "ogrenci.mp3", 20};
        p.ceremony = true;
        p.ceremonyMusic = "marş.mp3";
        const Timetable t = makeTimetable(p);
        QVERIFY2(t.refusal.isEmpty(), qPrintable(t.refusal));
        const QStringList day =
            lessons({"07:10", "08:00", "08:50", "09:40", "10:30"}, {}, "Öğrenci Zili") +
            lessons({"12:30", "13:20", "14:10", "15:00", "15:50"}, "Öğleden Sonra ",
                    "Öğrenci Zili");
        // The ceremony is the calendar's to place: every chosen day has the same rows.
        for (int gunId : p.days)
            QCOMPARE(dayOf(t.bells, gunId), day);
        // Its times are checked all the same: one that would fall past midnight is refused.
        p.ceremonyAfterMinutes = 8 * 60;
        QVERIFY(makeTimetable(p).refusal.contains(QStringLiteral("Kapanış töreni")));
    }

    void fortyMinuteLessonsWithTenMinuteBreaksAndALongerOne() {
        TimetablePlan p;
        p.days = {3};
        p.morning = {QTime(9, 0), 6, 40, 10, 3, 20};
        p.exit = {true, "c.wav", 0};
        const Timetable t = makeTimetable(p);
        QCOMPARE(dayOf(t.bells, 3),
                 lessons({"09:40", "10:30", "11:20", "12:20", "13:10", "14:00"}, {}, "Çıkış Zili"));
    }

    void refusals_data() {
        QTest::addColumn<int>("what");
        QTest::addColumn<QString>("says");
        QTest::newRow("past midnight") << 0 << "gece yarısını geçiyor";
        // A time takes the suffix it is read with: "on beş-te".
        QTest::newRow("overlapping sessions") << 1 << "15:00'te başlıyor";
        QTest::newRow("zero lessons") << 2 << "en az 1";
        QTest::newRow("teacher bell after the break") << 3 << "teneffüsten uzun olamaz";
        QTest::newRow("no day") << 4 << "en az bir gün";
        QTest::newRow("lunch after the last lesson") << 5 << "8. dersten sonra olamaz";
        QTest::newRow("two bells in one second") << 6 << "aynı anda";
        QTest::newRow("no music") << 7 << "müzik dosyası seçin";
    }
    void refusals() {
        QFETCH(int, what);
        QFETCH(QString, says);
        TimetablePlan p = eightLessons();
        switch (what) {
        case 0:
            p.morning.firstStart = QTime(17, 0);
            break;
        case 1:
            p.afternoon = LessonBlock{QTime(15, 0), 4, 40, 10};
            break;
        case 2:
            p.morning.lessons = 0;
            break;
        case 3:
            p.teacherAfterMinutes = 12;
            break;
        case 4:
            p.days.clear();
            break;
        case 5:
            p.morning.lunchAfter = 8;
            break;
        case 6:
            p.morning.breakMinutes = 0;
            p.teacher.enabled = false;
            break;
        case 7:
            p.exit.music.clear();
            break;
        }
        const Timetable t = makeTimetable(p);
        QVERIFY2(t.refusal.contains(says), qPrintable(t.refusal));
        QCOMPARE(t.bells.isEmpty(), what != 7); // times are shown while music is chosen
    }

    void replaceAndAddAreAllOrNothing() {
        ScheduleFixture fx;
        BellStore store;
        store.open(fx.databaseFile());
        fillWeek(store);
        const QList<QVariantList> before = fx.rows();
        const QList<Bell> week = makeTimetable(eightLessons()).bells;
        // Thursday's seventh lesson is refused, after the other days went in.
        fx.exec("CREATE TRIGGER yedinci BEFORE INSERT ON Dersler WHEN NEW.GunID = 3 AND "
                "NEW.DersSaati LIKE '7.%' BEGIN SELECT RAISE(ABORT, 'kapalı'); END");
        QVERIFY_THROWS_EXCEPTION(EStoreError, store.replaceDays({0, 1, 2, 3, 4}, week));
        QCOMPARE(fx.rows(), before);
        QVERIFY_THROWS_EXCEPTION(EStoreError, store.add(week));
        QCOMPARE(fx.rows(), before);

        fx.exec("DROP TRIGGER yedinci");
        store.replaceDays({0, 1, 2, 3, 4}, week);
        QCOMPARE(store.dayBells(2).size(), 24);
        QCOMPARE(store.dayBells(5).size(), 1); // Saturday was not among the days
        QCOMPARE(fx.count(), 5 * 24 + 1);
    }

    void shiftCopyAndDeleteAcrossDays() {
        ScheduleFixture fx;
        BellStore store;
        store.open(fx.databaseFile());
        fillWeek(store);
        store.shiftDays({1, 2}, -(10 * 60 + 30));
        QCOMPARE(store.dayBells(1).first().start.toString(), QStringLiteral("07:49:30"));
        QCOMPARE(store.dayBells(2).last().start.toString(), QStringLiteral("12:49:30"));
        QCOMPARE(store.dayBells(0).first().start.toString(), QStringLiteral("08:00:00"));

        // A shift over midnight on any of the days moves none of them.
        const QList<QVariantList> before = fx.rows();
        QVERIFY_THROWS_EXCEPTION(ERefused, store.shiftDays({0, 2}, -(8 * 3600)));
        QVERIFY_THROWS_EXCEPTION(ERefused, store.shiftDays({0, 5}, 11 * 3600));
        QCOMPARE(fx.rows(), before);
        fx.exec("CREATE TRIGGER sabit BEFORE UPDATE ON Dersler WHEN NEW.GunID = 2 BEGIN "
                "SELECT RAISE(ABORT, 'kapalı'); END");
        QVERIFY_THROWS_EXCEPTION(EStoreError, store.shiftDays({1, 2}, 60));
        QCOMPARE(fx.rows(), before);
        fx.exec("DROP TRIGGER sabit");

        store.copyDay(5, {5, 6}, false); // Saturday onto Sunday, and not onto itself
        QCOMPARE(store.dayBells(6).size(), 1);
        QCOMPARE(store.dayBells(5).size(), 1);
        store.copyDay(1, {3, 4}, true);
        QCOMPARE(store.dayBells(3).size(), 6);
        QCOMPARE(store.dayBells(4).first().start.toString(), QStringLiteral("07:49:30"));
        store.copyDay(5, {3}, false);
        QCOMPARE(store.dayBells(3).size(), 7);

        QCOMPARE(store.removeDays({3, 6}), 8);
        QVERIFY(store.dayBells(3).isEmpty());
        QCOMPARE(fx.count(), 5 * 6 + 1 - 6);
    }
};

QTEST_GUILESS_MAIN(TestTimetable)
#include "tst_timetable.moc"
