// A school year, 1 September 2026 to 30 June 2027, through the real bell clock, store and calendar
// on a simulated clock: every bell rings on exactly the days it should, and every bell that stays
// silent has its line in the record with the calendar's reason.
#include "BellClock.h"
#include "Calendar.h"
#include "Clock.h"
#include "FakeMediaLayer.h"
#include "LayerBellPlayer.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"

#include <QtTest>

namespace {
struct Parts {
    BellStore store;
    Calendar calendar{store};
    DayPlan plan{store, &calendar};
    FakeMediaLayer layer;
    LayerBellPlayer player{layer};
    BellClock clock{store, player};
    explicit Parts(const QString &file) {
        store.setFile(file);
        clock.setPlan(plan);
    }
};

QDate d(int y, int m, int day) {
    return QDate(y, m, day);
}
} // namespace

class TestSchoolYear : public QObject {
    Q_OBJECT
private slots:
    void aYearOfBells();
    void anUnreadableCalendarRingsAndIsAskedAgain();
    void tenKasimAnExamWeekAndAOneOffBell();
    void ceremoniesFollowTheCalendar();
};

void TestSchoolYear::aYearOfBells() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    // Monday's bells differ from the other weekdays' by name and time, so a make-up day shows
    // whose program it rang.
    const QList<QTime> mondayTimes = {QTime(8, 30), QTime(12, 50), QTime(13, 10)};
    const QList<QTime> otherTimes = {QTime(8, 40), QTime(12, 55), QTime(13, 20)};
    for (int gun = 0; gun < 5; ++gun)
        for (const QTime &t : gun == 0 ? mondayTimes : otherTimes)
            fx.insert(gun, QStringLiteral("G%1 %2").arg(gun).arg(t.toString("HHmm")),
                      t.toString("HH:mm:ss"), "zil.mp3", 5);

    auto parts = std::make_unique<Parts>(fx.databaseFile());
    // The bells the start-of-day check is handed each day: the ones that will ring.
    QMap<QDate, QStringList> checked;
    const auto watch = [&] {
        QObject::connect(&parts->clock, &BellClock::dayBegan,
                         [&](const QDate &day, const QList<Bell> &bells) {
                             for (const Bell &b : bells)
                                 checked[day] << b.name;
                         });
    };
    watch();
    Calendar &cal = parts->calendar;
    cal.setSchoolYear(Calendar::SchoolYear{d(2026, 9, 7), d(2027, 6, 18)});
    cal.save(CalendarEntry::holiday("Ara Tatil", d(2026, 11, 9), d(2026, 11, 13)));
    cal.save(CalendarEntry::holiday("Yarıyıl Tatili", d(2027, 1, 25), d(2027, 2, 5)));
    cal.save(CalendarEntry::holiday("Kar tatili", d(2027, 1, 12), d(2027, 1, 12)));
    cal.save(CalendarEntry::halfDay("Veli toplantısı", d(2026, 12, 4), QTime(12, 0)));
    cal.save(CalendarEntry::makeUp(d(2027, 1, 16), 0));
    cal.setEnabled("23nisan", false);
    // The proposal for Kurban Bayramı 1448 is 16 May 2027; the school corrects it by a day.
    cal.confirmReligious("kurban", 1448, d(2027, 5, 17));

    // What should ring, built from the dates alone.
    QSet<QDate> noBells;
    const auto range = [&](QDate from, QDate to) {
        for (; from <= to; from = from.addDays(1))
            noBells.insert(from);
    };
    range(d(2026, 11, 9), d(2026, 11, 13));
    range(d(2027, 1, 25), d(2027, 2, 5));
    range(d(2027, 3, 9), d(2027, 3, 11));  // Ramazan Bayramı as proposed
    range(d(2027, 5, 17), d(2027, 5, 20)); // Kurban Bayramı as corrected
    for (const QDate &day : {d(2026, 10, 29), d(2027, 1, 1), d(2027, 1, 12), d(2027, 5, 19)})
        noBells.insert(day);
    const QMap<QDate, QTime> silentFrom = {{d(2026, 10, 28), QTime(13, 0)},
                                           {d(2026, 12, 4), QTime(12, 0)},
                                           {d(2026, 12, 10), QTime(10, 0)},
                                           {d(2027, 3, 8), QTime(13, 0)}};
    QStringList expected;
    for (QDate day = d(2026, 9, 1); day <= d(2027, 6, 30); day = day.addDays(1)) {
        if (day < d(2026, 9, 7) || day > d(2027, 6, 18) || noBells.contains(day))
            continue;
        const int gun = day == d(2027, 1, 16) ? 0 : day.dayOfWeek() - 1;
        if (gun > 4)
            continue;
        for (const QTime &t : gun == 0 ? mondayTimes : otherTimes)
            if (!silentFrom.contains(day) || t < silentFrom[day])
                expected << day.toString(Qt::ISODate) +
                                QStringLiteral(" G%1 %2").arg(gun).arg(t.toString("HHmm"));
    }

    // Each day the clock ticks at and just before every bell time of every weekday.
    QList<QTime> ticks = mondayTimes + otherTimes;
    std::sort(ticks.begin(), ticks.end());
    for (QDate day = d(2026, 9, 1); day <= d(2027, 6, 30); day = day.addDays(1)) {
        for (const QTime &t : std::as_const(ticks)) {
            if (day == d(2026, 12, 10) && t > QTime(10, 0) && t < QTime(12, 55)) {
                wall.at = QDateTime(day, QTime(10, 0));
                parts->calendar.silenceToday(true);
                // It survives a restart: the program is put together anew.
                parts = std::make_unique<Parts>(fx.databaseFile());
                watch();
            }
            for (int before : {1, 0}) {
                wall.at = QDateTime(day, t.addSecs(-before));
                parts->clock.TimerTimer();
            }
        }
        if (day == d(2026, 12, 10))
            QVERIFY(parts->calendar.silencedToday());
        if (day == d(2026, 12, 11))
            QVERIFY(!parts->calendar.silencedToday()); // ended at midnight by itself
    }

    QStringList rang;
    QHash<QString, int> silentReasons;
    const QList<BellEvent> record = parts->store.history(d(2026, 9, 1), d(2027, 6, 30));
    for (const BellEvent &e : record) {
        if (e.outcome == BellOutcome::Rang)
            rang.prepend(e.date.toString(Qt::ISODate) + ' ' + e.name);
        else if (e.outcome == BellOutcome::Silenced)
            ++silentReasons[e.reason];
        else
            QFAIL(qPrintable("unexpected " + outcomeCode(e.outcome) + ' ' +
                             e.date.toString(Qt::ISODate) + ' ' + e.name));
    }
    QCOMPARE(rang, expected);
    QCOMPARE(checked.value(d(2026, 10, 29)), QStringList());
    QCOMPARE(checked.value(d(2026, 10, 28)), QStringList{"G2 0840"} << "G2 1255");
    QCOMPARE(checked.value(d(2027, 1, 16)), QStringList{"G0 0830"} << "G0 1250"
                                                                   << "G0 1310");
    // Every weekday bell of the 43 weeks either rang or was kept silent, none twice.
    int weekdayBells = 0;
    for (QDate day = d(2026, 9, 1); day <= d(2027, 6, 30); day = day.addDays(1))
        weekdayBells += day.dayOfWeek() <= 5 || day == d(2027, 1, 16) ? 3 : 0;
    int silent = 0;
    for (int n : std::as_const(silentReasons))
        silent += n;
    QCOMPARE(rang.size() + silent, weekdayBells);
    QCOMPARE(silentReasons.value("tatil: Cumhuriyet Bayramı"), 3);
    QCOMPARE(silentReasons.value("tatil: Cumhuriyet Bayramı arifesi (13:00'ten sonra)"), 1);
    QCOMPARE(silentReasons.value("tatil: Veli toplantısı (12:00'den sonra)"), 2);
    QCOMPARE(silentReasons.value("Bugün zil çalmasın"), 2);
    QCOMPARE(silentReasons.value("tatil: Yarıyıl Tatili"), 30);
    QVERIFY(silentReasons.value("okul yılı dışında") > 0);
    setProgramClock(nullptr);
    setProgramFolder({});
}

void TestSchoolYear::anUnreadableCalendarRingsAndIsAskedAgain() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    fx.insert(3, "Sabah", "08:30:00", "zil.mp3", 5);
    fx.insert(3, "Öğle", "12:30:00", "zil.mp3", 5);
    // A calendar table some other tool left without the columns the program reads.
    fx.exec("CREATE TABLE TakvimAyar (Anahtar TEXT PRIMARY KEY, Deger TEXT NOT NULL)");
    fx.exec("CREATE TABLE TakvimKayitlari (x)");
    Parts parts(fx.databaseFile());
    QStringList reports;
    parts.clock.ReportError = [&](const QString &m) { reports << m; };
    const QDate thursday(2026, 12, 10);
    const auto tickAt = [&](const QTime &t) {
        for (int before : {1, 0}) {
            wall.at = QDateTime(thursday, t.addSecs(-before));
            parts.clock.TimerTimer();
        }
    };
    tickAt(QTime(8, 30));
    tickAt(QTime(10, 0));
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports[0].startsWith("Okul takvimi okunamadı"), qPrintable(reports[0]));

    // Mended, with today a snow day: the next tick asks again and the noon bell keeps quiet.
    fx.exec("DROP TABLE TakvimKayitlari");
    parts.calendar.save(CalendarEntry::holiday("Kar tatili", thursday, thursday));
    tickAt(QTime(12, 30));
    QStringList lines;
    for (const BellEvent &e : parts.store.history(thursday, thursday))
        lines.prepend(e.name + ' ' + outcomeCode(e.outcome));
    QCOMPARE(lines, (QStringList{"Sabah caldi", "Öğle takvim"}));
    setProgramClock(nullptr);
    setProgramFolder({});
}

QTEST_GUILESS_MAIN(TestSchoolYear)
#include "tst_schoolyear.moc"

// 10 Kasım 2026 is a Tuesday: at 09:05:00 the steady siren sounds for two minutes and the
// İstiklal Marşı follows; the lesson bell due meanwhile gives way. The next week rings the exam
// programme, and a one-off bell rings on its date only.
void TestSchoolYear::tenKasimAnExamWeekAndAOneOffBell() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    for (const char *t : {"08:40:00", "09:06:00", "09:10:00"})
        fx.insert(1, QStringLiteral("Salı %1").arg(t), t, "zil.mp3", 5);
    Parts parts(fx.databaseFile());
    parts.plan.setSirenMusic("Programın sesleri/Sabit siren.wav");
    parts.calendar.setIstiklalMarsi("marsi.mp3");
    const int exams = parts.store.addProgramme("Sınav Haftası");
    parts.store.add({{0, 1, "Sınav", QStringLiteral("10:00:00"), "zil.mp3", 5, exams}});
    parts.calendar.save(CalendarEntry::special("Sınav Haftası", exams, d(2026, 11, 16),
                                               d(2026, 11, 20)));
    Bell show{0, 0, "Gösteri", QStringLiteral("11:11:11"), "gosteri.mp3", 30};
    show.date = d(2026, 11, 12);
    parts.store.add({show});

    const QList<QTime> times = {QTime(8, 40), QTime(9, 5),     QTime(9, 6), QTime(9, 7),
                                QTime(9, 10), QTime(10, 0),    QTime(11, 11, 11)};
    for (const QDate &day : {d(2026, 11, 10), d(2026, 11, 12), d(2026, 11, 17), d(2026, 11, 24)})
        for (const QTime &t : times)
            for (int before : {1, 0}) {
                wall.at = QDateTime(day, t.addSecs(-before));
                parts.clock.TimerTimer();
            }

    QStringList lines;
    for (const BellEvent &e :
         parts.store.history(d(2026, 11, 10), d(2026, 11, 24)))
        lines.prepend(e.date.toString("dd.MM ") + e.start.left(5) + ' ' + e.name + ' ' +
                      outcomeCode(e.outcome) +
                      (e.outcome == BellOutcome::Replaced ? " (" + e.reason + ")" : QString()));
    QCOMPARE(lines, (QStringList{
                        "10.11 08:40 Salı 08:40:00 caldi",
                        "10.11 09:05 10 Kasım saygı duruşu caldi",
                        "10.11 09:06 Salı 09:06:00 yerine (yerine \"10 Kasım saygı duruşu\" çaldı)",
                        "10.11 09:07 İstiklal Marşı (10 Kasım) caldi",
                        "10.11 09:10 Salı 09:10:00 caldi",
                        "12.11 11:11 Gösteri caldi",
                        "17.11 10:00 Sınav caldi",
                        "24.11 08:40 Salı 08:40:00 caldi",
                        "24.11 09:06 Salı 09:06:00 caldi",
                        "24.11 09:10 Salı 09:10:00 caldi",
                    }));
    // The siren's two minutes, the anthem whole.
    QStringList plays;
    for (const auto &r : parts.layer.requests())
        if (r.name == "open" && (r.element.contains("siren") || r.element.contains("marsi")))
            plays << QFileInfo(r.element).fileName();
    QCOMPARE(plays, (QStringList{"Sabit siren.wav", "marsi.mp3"}));

    // Switched off, the next year's 10 Kasım (a Wednesday, with no bells of its own) is quiet
    // either way; a Tuesday with the switch off rings its bells only.
    parts.calendar.setEnabled(Calendar::SaygiDurusu, false);
    parts.plan.update(d(2026, 11, 10));
    for (const PlannedSound &sound : parts.plan.sounds())
        QVERIFY2(sound.kind == PlannedSound::Kind::Bell && sound.sounds(),
                 qPrintable(sound.bell.name));
    setProgramClock(nullptr);
    setProgramFolder({});
}

// The flag ceremony opens the first school day after a weekend, holiday, half day or break and
// closes the last one before such a day; on a half day after the last bell that still rings.
void TestSchoolYear::ceremoniesFollowTheCalendar() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    for (int gun = 0; gun < 5; ++gun)
        for (const char *t : {"08:40:00", "12:55:00", "15:00:00"})
            fx.insert(gun, QStringLiteral("Ders %1").arg(t), t, "zil.mp3", 5);
    Parts parts(fx.databaseFile());
    parts.calendar.setIstiklalMarsi("marsi.mp3");
    parts.calendar.setCeremony(Programme::Normal, {true, 10, 5});
    // 28 Ekim is the eve of Cumhuriyet Bayramı (a half day from 13:00), 29 Ekim the holiday;
    // Monday 2 Kasım a snow day, Tuesday a half day from 13:00.
    parts.calendar.save(CalendarEntry::holiday("Kar tatili", d(2026, 11, 2), d(2026, 11, 2)));
    parts.calendar.save(CalendarEntry::halfDay("Seminer", d(2026, 11, 3), QTime(13, 0)));
    QStringList ceremonies;
    for (QDate day = d(2026, 10, 26); day <= d(2026, 11, 4); day = day.addDays(1)) {
        parts.plan.update(day);
        for (const PlannedSound &sound : parts.plan.sounds())
            if (sound.kind == PlannedSound::Kind::Ceremony && sound.sounds())
                ceremonies << day.toString("dd.MM ") + sound.at.toString("HH:mm ") +
                                  sound.bell.name.section('(', 1).chopped(1);
    }
    QCOMPARE(ceremonies, (QStringList{"26.10 08:30 açılış", "28.10 13:00 kapanış",
                                      "30.10 08:30 açılış", "30.10 15:05 kapanış",
                                      "03.11 08:30 açılış", "03.11 13:00 kapanış",
                                      "04.11 08:30 açılış"}));
    // Without the school's recording there is no ceremony to sound.
    parts.calendar.setIstiklalMarsi({});
    parts.plan.update(d(2026, 10, 30));
    for (const PlannedSound &sound : parts.plan.sounds())
        QVERIFY(sound.kind != PlannedSound::Kind::Ceremony);
    setProgramClock(nullptr);
    setProgramFolder({});
}
