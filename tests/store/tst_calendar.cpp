#include "Calendar.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

class TestCalendar : public QObject {
    Q_OBJECT
private slots:
    void religiousProposalsAgainstPublishedDates();
    void twoBayramsOfOneKindInAYear();
    void tablesAreAddedBesideAnExistingSchedule();
    void badEntriesAreToldAndNotSaved();
    void dayLines();
};

void TestCalendar::religiousProposalsAgainstPublishedDates() {
    // First days as published by the Presidency of Religious Affairs (Diyanet).
    struct Published {
        const char *key;
        QDate firstDay;
    };
    const Published published[] = {
        {"ramazan", {2026, 3, 20}}, {"kurban", {2026, 5, 27}},  {"ramazan", {2027, 3, 9}},
        {"kurban", {2027, 5, 16}},  {"ramazan", {2028, 2, 26}}, {"kurban", {2028, 5, 5}},
        {"ramazan", {2029, 2, 14}}, {"kurban", {2029, 4, 24}},  {"ramazan", {2030, 2, 4}},
        {"kurban", {2030, 4, 13}},
    };
    for (const Published &p : published) {
        const QList<Calendar::Proposal> proposals = Calendar::proposedReligious(p.firstDay.year());
        QCOMPARE(proposals.size(), 2);
        const auto found = std::find_if(proposals.begin(), proposals.end(), [&](const auto &x) {
            return x.key == QLatin1String(p.key);
        });
        QVERIFY(found != proposals.end());
        QCOMPARE(found->firstDay, p.firstDay);
    }
}

void TestCalendar::twoBayramsOfOneKindInAYear() {
    // 1 Şevval falls twice in 2033: two holidays, each proposed and confirmed on its own.
    const QList<Calendar::Proposal> proposals = Calendar::proposedReligious(2033);
    QList<Calendar::Proposal> ramazan;
    for (const Calendar::Proposal &p : proposals)
        if (p.key == QLatin1String("ramazan"))
            ramazan << p;
    QCOMPARE(proposals.size(), 3);
    QCOMPARE(ramazan.size(), 2);
    QCOMPARE(ramazan[1].hijriYear, ramazan[0].hijriYear + 1);
    // Diyanet gives 2 January; a proposal a day off is what the user corrects in the window.
    QVERIFY(qAbs(ramazan[0].firstDay.daysTo(QDate(2033, 1, 2))) <= 1);
    QCOMPARE(ramazan[1].firstDay, QDate(2033, 12, 23));

    ScheduleFixture fx;
    BellStore store;
    store.setFile(fx.databaseFile());
    Calendar calendar(store);
    calendar.confirmReligious("ramazan", ramazan[0].hijriYear, QDate(2033, 1, 2));
    QList<KnownHoliday> shown;
    for (const KnownHoliday &h : calendar.knownHolidays(2033))
        if (h.key == QLatin1String("ramazan"))
            shown << h;
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].from, QDate(2033, 1, 2));
    QVERIFY(shown[0].confirmed && !shown[1].confirmed);
    QCOMPARE(shown[1].from, QDate(2033, 12, 23));
    QCOMPARE(calendar.day({2033, 1, 4}).kind, CalendarDay::Kind::Holiday);
    QCOMPARE(calendar.day({2033, 12, 25}).kind, CalendarDay::Kind::Holiday);
    QCOMPARE(calendar.day({2033, 12, 22}).kind, CalendarDay::Kind::HalfDay);
}

void TestCalendar::tablesAreAddedBesideAnExistingSchedule() {
    ScheduleFixture fx;
    fx.insert(0, "1. Ders", "08:30:00", "zil.mp3", 30);
    fx.insert(4, "Çıkış", "15:10:00", "son.mp3", 0);
    const QList<QVariantList> before = fx.rows();
    const auto schema = [&](const QString &table) {
        return fx.rows("SELECT sql FROM sqlite_master WHERE name='" + table + "'");
    };
    const QList<QVariantList> derslerBefore = schema("Dersler");
    {
        BellStore store;
        store.setFile(fx.databaseFile());
        Calendar calendar(store);
        QCOMPARE(calendar.day(QDate(2026, 10, 29)).kind, CalendarDay::Kind::Holiday);
        calendar.save(CalendarEntry::holiday("Ara Tatil", QDate(2026, 11, 9), QDate(2026, 11, 13)));
        // Everything a school adds beside the week: a programme with Friday bells of its own,
        // ringing on a Friday, a one-off bell on that date, a ceremony rule.
        const int exams = store.addProgramme(QStringLiteral("Sınav Haftası"));
        store.add({{0, 4, "Sınav", QStringLiteral("10:00:00"), "sinav.mp3", 5, exams}});
        Bell oneOff{0, 4, "Gösteri", QStringLiteral("11:00:00"), "gosteri.mp3", 30};
        oneOff.date = QDate(2026, 11, 20);
        store.add({oneOff});
        calendar.save(CalendarEntry::special("Sınav Haftası", exams, QDate(2026, 11, 20),
                                             QDate(2026, 11, 20)));
        calendar.setCeremony(exams, {true, 10, 5});
    }
    QCOMPARE(fx.rows(), before);
    QCOMPARE(schema("Dersler"), derslerBefore);
    QCOMPARE(fx.rows("SELECT Ad,Baslangic,Bitis FROM TakvimKayitlari").size(), 2);
    // An older program, which knows Dersler only, reads and writes it as it always did, with
    // these very statements, and finds Normal's week and nothing else.
    QSqlDatabase older = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "older");
    older.setDatabaseName(fx.databaseFile());
    QVERIFY(older.open());
    {
        QSqlQuery q(older);
        QVERIFY(q.prepare("SELECT * FROM Dersler WHERE GunID=?"));
        q.addBindValue(4);
        QVERIFY(q.exec());
        QStringList friday;
        while (q.next())
            friday << q.value("DersSaati").toString() + ' ' + q.value("DersBaslama").toString();
        QCOMPARE(friday, QStringList{"Çıkış 15:10:00"});
        QVERIFY(q.prepare("INSERT INTO Dersler (GunID,DersSaati,DersBaslama,Muzik,Sure) "
                          "VALUES(?,?,?,?,?)"));
        for (const QVariant &v : {QVariant(4), QVariant("Etüt"), QVariant("16:00:00"),
                                  QVariant("zil.mp3"), QVariant(10)})
            q.addBindValue(v);
        QVERIFY(q.exec());
    }
    older.close();
    older = {};
    QSqlDatabase::removeDatabase("older");
    BellStore store;
    store.setFile(fx.databaseFile());
    QCOMPARE(store.dayBells(4).size(), 2);
    QCOMPARE(store.dayBells(4, store.programmes().last().id).size(), 1);
}

void TestCalendar::badEntriesAreToldAndNotSaved() {
    ScheduleFixture fx;
    BellStore store;
    store.setFile(fx.databaseFile());
    Calendar calendar(store);
    QVERIFY_THROWS_EXCEPTION(ERefused, calendar.setSchoolYear(Calendar::SchoolYear{
                                           QDate(2027, 6, 1), QDate(2026, 9, 1)}));
    calendar.setSchoolYear(Calendar::SchoolYear{QDate(2026, 9, 7), QDate(2027, 6, 18)});
    calendar.save(CalendarEntry::holiday("Yarıyıl Tatili", QDate(2027, 1, 25), QDate(2027, 2, 5)));
    const QList<QVariantList> saved = fx.rows("SELECT * FROM TakvimKayitlari");

    const struct {
        CalendarEntry entry;
        const char *message;
    } bad[] = {
        {CalendarEntry::holiday("Ara Tatil", {2026, 11, 13}, {2026, 11, 9}),
         "Bitiş tarihi başlangıç tarihinden önce olamaz."},
        {CalendarEntry::makeUp({2027, 1, 30}, 0),
         "Bu tarih (30.01.2027) \"Yarıyıl Tatili\" kaydıyla çelişiyor."},
        {CalendarEntry::holiday("Yaz", {2027, 7, 1}, {2027, 7, 2}),
         "Tarih okul yılının dışında (07.09.2026 – 18.06.2027)."},
        {CalendarEntry::halfDay("Tören", {2026, 12, 4}, {}),
         "Yarım gün için zillerin susacağı saati girin."},
        {CalendarEntry::holiday("  ", {2026, 12, 4}, {2026, 12, 4}), "Lütfen tatilin adını yazın."},
        {CalendarEntry::makeUp({2026, 10, 29}, 0),
         "Bu tarih resmi tatil (Cumhuriyet Bayramı); telafi günü olamaz."},
    };
    for (const auto &b : bad) {
        QString refusal;
        try {
            calendar.save(b.entry);
        } catch (const ERefused &refused) {
            refusal = refused.message();
        }
        QCOMPARE(refusal, QString::fromUtf8(b.message));
    }
    QCOMPARE(fx.rows("SELECT * FROM TakvimKayitlari"), saved);
    // A snow day within the break says nothing against it.
    calendar.save(CalendarEntry::holiday("Kar", {2027, 1, 27}, {2027, 1, 27}));
}

void TestCalendar::dayLines() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramClock(&wall);
    BellStore store;
    store.setFile(fx.databaseFile());
    Calendar calendar(store);
    calendar.save(CalendarEntry::makeUp({2027, 1, 16}, 0));
    calendar.save(CalendarEntry::halfDay("Tören", {2026, 12, 4}, {12, 30}));
    QCOMPARE(calendar.day({2026, 10, 29}).line(),
             QString("Bugün tatil: Cumhuriyet Bayramı — ziller çalmayacak"));
    QCOMPARE(calendar.day({2026, 10, 28}).line(),
             QString("Cumhuriyet Bayramı arifesi: 13:00'ten sonra zil çalmayacak"));
    QCOMPARE(calendar.day({2026, 12, 4}).line(), QString("Tören: 12:30'dan sonra zil çalmayacak"));
    QCOMPARE(calendar.day({2027, 1, 16}).line(), QString("Bugün telafi günü: Pazartesi programı"));
    QCOMPARE(calendar.day({2027, 1, 16}).gunId, 0);
    QCOMPARE(calendar.day({2026, 12, 8}).line(), QString());
    // A holiday switched off is an ordinary day.
    calendar.setEnabled("29ekim", false);
    QCOMPARE(calendar.day({2026, 10, 29}).kind, CalendarDay::Kind::Ordinary);
    wall.at = QDateTime({2026, 12, 8}, {9, 15});
    calendar.silenceToday(true);
    QVERIFY(calendar.day({2026, 12, 8}).rings({9, 14, 59}));
    QVERIFY(!calendar.day({2026, 12, 8}).rings({9, 15}));
    QVERIFY(calendar.day({2026, 12, 9}).rings({9, 15}));
    calendar.silenceToday(false);
    QVERIFY(calendar.day({2026, 12, 8}).rings({15, 0}));
    setProgramClock(nullptr);
}

QTEST_GUILESS_MAIN(TestCalendar)
#include "tst_calendar.moc"
