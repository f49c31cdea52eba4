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
    // The wall clock moves on to `at`, and what plays plays on as far; then the clock ticks.
    void tickAt(SimulatedClock &wall, const QDateTime &at) {
        if (wall.at.isValid() && wall.at < at)
            layer.advanceAll(int(std::min<qint64>(wall.at.msecsTo(at), 3600 * 1000)));
        wall.at = at;
        clock.TimerTimer();
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
    void aYearWithItsSpecialDays();
    void announcementsGiveWayToBells();
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

// A year of a school with its special days, through the real clock, store and calendar, and the
// record of the weeks that have something special compared with what the school expects to hear
// in them, written out by hand: the ceremonies around 29 Ekim, 10 Kasım, an exam week on its own
// programme, a one-off bell, a shortened day, a Monday holiday and the semester break.
void TestSchoolYear::aYearWithItsSpecialDays() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    for (int gun = 0; gun < 5; ++gun)
        for (const char *t : {"08:40:00", "09:06:00", "12:55:00", "15:00:00"})
            fx.insert(gun, QStringLiteral("Ders %1").arg(QString::fromLatin1(t).left(5)), t,
                      "zil.mp3", 5);
    Parts parts(fx.databaseFile());
    BellStore &store = parts.store;
    Calendar &cal = parts.calendar;
    parts.plan.setSirenMusic("Programın sesleri/Sabit siren.wav");
    parts.layer.setLength(musicFolder() + "Programın sesleri/Sabit siren.wav", 180 * 1000);
    cal.setIstiklalMarsi("marsi.mp3");
    cal.setCeremony(Programme::Normal, {true, 10, 5});
    cal.setSchoolYear(Calendar::SchoolYear{d(2026, 9, 7), d(2027, 6, 18)});
    const int exams = store.addProgramme("Sınav Haftası");
    const int shortened = store.addProgramme("Kısaltılmış Ders");
    for (int gun = 0; gun < 5; ++gun) {
        store.add({{0, gun, "Sınav 1", QStringLiteral("09:30:00"), "zil.mp3", 5, exams},
                   {0, gun, "Sınav 2", QStringLiteral("11:00:00"), "zil.mp3", 5, exams},
                   {0, gun, "Kısa 1", QStringLiteral("08:40:00"), "zil.mp3", 5, shortened},
                   {0, gun, "Kısa 2", QStringLiteral("11:30:00"), "zil.mp3", 5, shortened}});
    }
    cal.save(CalendarEntry::special("Sınav Haftası", exams, d(2026, 11, 23), d(2026, 11, 27)));
    cal.save(CalendarEntry::special("Kısaltılmış Ders", shortened, d(2026, 12, 4), d(2026, 12, 4)));
    cal.save(CalendarEntry::holiday("Kar tatili", d(2027, 1, 11), d(2027, 1, 11)));
    cal.save(CalendarEntry::holiday("Yarıyıl Tatili", d(2027, 1, 25), d(2027, 2, 5)));
    Bell show{0, 0, "Gösteri", QStringLiteral("11:11:11"), "gosteri.mp3", 30};
    show.date = d(2026, 11, 12);
    store.add({show});

    // Every second anything of this school could sound, a second before and at it.
    const QList<QTime> moments = {QTime(8, 30),  QTime(8, 40),      QTime(9, 5),   QTime(9, 6),
                                  QTime(9, 7),   QTime(9, 20),      QTime(9, 30),  QTime(11, 0),
                                  QTime(11, 5),  QTime(11, 11, 11), QTime(11, 30), QTime(11, 35),
                                  QTime(12, 55), QTime(13, 0),      QTime(15, 0),  QTime(15, 5)};
    for (QDate day = d(2026, 9, 1); day <= d(2027, 6, 30); day = day.addDays(1))
        for (const QTime &t : moments)
            for (int before : {1, 0})
                parts.tickAt(wall, QDateTime(day, t.addSecs(-before)));

    const QList<std::pair<QDate, QDate>> weeks = {
        {d(2026, 10, 26), d(2026, 10, 30)}, {d(2026, 11, 10), d(2026, 11, 12)},
        {d(2026, 11, 23), d(2026, 11, 27)}, {d(2026, 12, 4), d(2026, 12, 4)},
        {d(2027, 1, 8), d(2027, 1, 12)},    {d(2027, 1, 22), d(2027, 1, 25)},
        {d(2027, 2, 8), d(2027, 2, 8)}};
    QStringList heard;
    for (const auto &[from, to] : weeks) {
        QStringList lines; // the record gives the newest first
        for (const BellEvent &e : store.history(from, to)) {
            if (e.outcome == BellOutcome::Silenced)
                continue; // the year's test counts those; here what the school hears
            QString name = e.name;
            name.replace(QStringLiteral("Tören: İstiklal Marşı "), QStringLiteral("Tören "));
            lines.prepend(
                e.date.toString("dd.MM ") + e.start.left(5) + ' ' + name +
                (e.outcome == BellOutcome::Rang ? QString() : ' ' + outcomeCode(e.outcome)));
        }
        heard << lines;
    }
    const QStringList day = {"08:40 Ders 08:40", "09:06 Ders 09:06", "12:55 Ders 12:55",
                             "15:00 Ders 15:00"};
    const auto on = [](const QString &date, const QStringList &lines) {
        QStringList dated;
        for (const QString &line : lines)
            dated << date + ' ' + line;
        return dated;
    };
    const QStringList exam = {"09:30 Sınav 1", "11:00 Sınav 2"};
    QStringList expected;
    expected << on("26.10", QStringList{"08:30 Tören (açılış)"} + day)
             << on("27.10", day)
             // The eve of Cumhuriyet Bayramı ends at 13:00: its ceremony follows the last bell
             // that still rings.
             << on("28.10", {"08:40 Ders 08:40", "09:06 Ders 09:06", "12:55 Ders 12:55",
                             "13:00 Tören (kapanış)"})
             << on("30.10",
                   QStringList{"08:30 Tören (açılış)"} + day + QStringList{"15:05 Tören (kapanış)"})
             // 10 Kasım: two minutes of siren from 09:05:00, the lesson bell meanwhile gives way.
             << on("10.11",
                   {"08:40 Ders 08:40", "09:05 10 Kasım saygı duruşu", "09:06 Ders 09:06 yerine",
                    "09:07 İstiklal Marşı (10 Kasım)", "12:55 Ders 12:55", "15:00 Ders 15:00"})
             << on("11.11", day)
             << on("12.11", day.mid(0, 2) + QStringList{"11:11 Gösteri"} + day.mid(2))
             << on("23.11", QStringList{"09:20 Tören (açılış)"} + exam) << on("24.11", exam)
             << on("25.11", exam) << on("26.11", exam)
             << on("27.11", exam + QStringList{"11:05 Tören (kapanış)"})
             << on("04.12", {"08:40 Kısa 1", "11:30 Kısa 2", "11:35 Tören (kapanış)"})
             << on("08.01", day + QStringList{"15:05 Tören (kapanış)"})
             // Monday a holiday: the week opens on Tuesday.
             << on("12.01", QStringList{"08:30 Tören (açılış)"} + day)
             << on("22.01", day + QStringList{"15:05 Tören (kapanış)"})
             << on("08.02", QStringList{"08:30 Tören (açılış)"} + day);
    QCOMPARE(heard, expected);

    // The siren for its two minutes, the anthem whole.
    QStringList plays;
    for (const auto &r : parts.layer.requests())
        if (r.name == "open" && r.element.contains("siren"))
            plays << QFileInfo(r.element).fileName();
    QCOMPARE(plays, QStringList{"Sabit siren.wav"});

    // Switched off, 10 Kasım rings its lesson bells only.
    cal.setEnabled(Calendar::SaygiDurusu, false);
    parts.plan.update(d(2026, 11, 10));
    for (const PlannedSound &sound : parts.plan.sounds())
        QVERIFY2(sound.kind == PlannedSound::Kind::Bell && sound.sounds(),
                 qPrintable(sound.bell.name));
    // Without the school's recording there is no ceremony to sound.
    cal.setIstiklalMarsi({});
    parts.plan.update(d(2026, 10, 30));
    for (const PlannedSound &sound : parts.plan.sounds())
        QVERIFY(sound.kind != PlannedSound::Kind::Ceremony);
    setProgramClock(nullptr);
    setProgramFolder({});
}

// Announcements sound at their second after the program's chime; one due while a bell still
// rings gives way to it, and one on a holiday keeps quiet with the day's reason.
void TestSchoolYear::announcementsGiveWayToBells() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    fx.insert(0, "1. Ders", "08:40:00", "zil.mp3", 30);
    Parts parts(fx.databaseFile());
    parts.plan.setChimeMusic("Programın sesleri/Anons çanı.wav");
    const auto announce = [&](const QString &name, const QTime &at, const QDate &date = {}) {
        Announcement a;
        a.name = name;
        a.sound = name + ".wav";
        QDir().mkpath(musicFolder());
        QFile(musicFolder() + a.sound).open(QFile::WriteOnly);
        a.gunId = 0;
        a.date = date;
        a.at = at;
        parts.store.addAnnouncement(a);
    };
    announce("Kurul", QTime(10, 0));
    announce("Nöbet", QTime(8, 40, 20));
    const QDate monday(2026, 12, 7);
    const QDate holiday(2026, 12, 14);
    parts.calendar.save(CalendarEntry::holiday("Kar tatili", holiday, holiday));
    announce("Kar", QTime(11, 0), holiday);
    for (const QDate &day : {monday, holiday})
        for (const QTime &t : {QTime(8, 40), QTime(8, 40, 18), QTime(8, 40, 20), QTime(9, 59, 58),
                               QTime(10, 0), QTime(11, 0)})
            for (int before : {1, 0})
                parts.tickAt(wall, QDateTime(day, t.addSecs(-before)));
    QStringList lines;
    for (const BellEvent &e : parts.store.history(monday, holiday))
        lines.prepend(e.date.toString("dd.MM ") + e.start + ' ' + e.name + ' ' +
                      outcomeCode(e.outcome));
    QCOMPARE(
        lines,
        (QStringList{"07.12 08:40:00 1. Ders caldi", "07.12 08:40:18 Anons çanı: Nöbet yerine",
                     "07.12 08:40:20 Anons: Nöbet yerine", "07.12 09:59:58 Anons çanı: Kurul caldi",
                     "07.12 10:00:00 Anons: Kurul caldi", "14.12 08:40:00 1. Ders takvim",
                     "14.12 08:40:20 Anons: Nöbet takvim", "14.12 10:00:00 Anons: Kurul takvim",
                     "14.12 11:00:00 Anons: Kar takvim"}));
    QStringList plays;
    for (const auto &r : parts.layer.requests())
        if (r.name == "open")
            plays << QFileInfo(r.element).fileName();
    QCOMPARE(plays, (QStringList{"zil.mp3", "Anons çanı.wav", "Kurul.wav"}));
    setProgramClock(nullptr);
    setProgramFolder({});
}

QTEST_GUILESS_MAIN(TestSchoolYear)
#include "tst_schoolyear.moc"
