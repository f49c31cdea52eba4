// Announcements in the schedule file: a table added at the first one, and what sounds on a date.
#include "BellStore.h"
#include "ScheduleFixture.h"

#include <QtTest>

namespace {
Announcement weekly(const QString &name, int programme, int gunId, QTime at) {
    Announcement a;
    a.name = name;
    a.sound = name + QStringLiteral(".wav");
    a.programme = programme;
    a.gunId = gunId;
    a.at = at;
    return a;
}

QStringList names(const QList<Announcement> &list) {
    QStringList out;
    for (const Announcement &a : list)
        out << a.name;
    return out;
}
} // namespace

class TestAnnouncementStore : public QObject {
    Q_OBJECT
private slots:
    void aSchoolWeekOfAnnouncements() {
        ScheduleFixture fx;
        BellStore store;
        store.open(fx.databaseFile());
        const auto tables = [&fx] {
            return fx.rows(QStringLiteral("SELECT name FROM sqlite_master WHERE name='Anonslar'"));
        };
        // Reading an older file leaves it as it was.
        QVERIFY(store.announcements().isEmpty());
        QVERIFY(store.announcementsOn(QDate(2026, 11, 9)).isEmpty());
        QVERIFY(!store.announcement(1));
        QVERIFY(tables().isEmpty());

        const int exams = store.addProgramme(QStringLiteral("Sınav Haftası"));
        Announcement kurul = weekly(QStringLiteral("Kurul"), 0, 0, QTime(15, 30));
        kurul.text = QStringLiteral("Öğretmenler kurulu 15.30'da toplanacaktır.");
        kurul.sure = 20;
        const int kurulId = store.addAnnouncement(kurul);
        store.addAnnouncement(weekly(QStringLiteral("Sınav"), exams, 0, QTime(8, 45)));
        store.addAnnouncement(weekly(QStringLiteral("Salı"), 0, 1, QTime(10, 0)));
        Announcement tenKasim = weekly(QStringLiteral("10 Kasım"), exams, 5, QTime(9, 0, 30));
        tenKasim.date = QDate(2027, 11, 10); // a Wednesday
        store.addAnnouncement(tenKasim);
        QCOMPARE(tables().size(), 1);
        QCOMPARE(fx.count(), 0); // Dersler untouched

        // A Monday rings its programme's weekday announcements only.
        QCOMPARE(names(store.announcementsOn(QDate(2027, 11, 8))), QStringList{"Kurul"});
        QCOMPARE(names(store.announcementsOn(QDate(2027, 11, 8), exams)), QStringList{"Sınav"});
        // A date's own sounds whatever the programme, beside its weekday's.
        QCOMPARE(names(store.announcementsOn(QDate(2027, 11, 10), exams)), QStringList{"10 Kasım"});
        QCOMPARE(names(store.announcementsOn(QDate(2027, 11, 9))), QStringList{"Salı"});
        QVERIFY(store.announcementsOn(QDate(2027, 11, 11)).isEmpty());

        const std::optional<Announcement> read = store.announcement(kurulId);
        QVERIFY(read);
        QCOMPARE(read->text, kurul.text);
        QCOMPARE(read->sound, QStringLiteral("Kurul.wav"));
        QCOMPARE(read->at, QTime(15, 30));
        QCOMPARE(read->sure, 20);
        QVERIFY(!read->date.isValid());
        const std::optional<Announcement> dated =
            store.announcement(store.announcementsOn(QDate(2027, 11, 10)).first().id);
        QCOMPARE(dated->date, QDate(2027, 11, 10));
        QCOMPARE(dated->gunId, 2);
        QCOMPARE(dated->at, QTime(9, 0, 30));
        QCOMPARE(names(store.announcements()), (QStringList{"Kurul", "Salı", "Sınav", "10 Kasım"}));

        // Refused, nothing written.
        const struct {
            void (*spoil)(Announcement &);
            const char *said;
        } refusals[] = {
            {[](Announcement &a) { a.name = QStringLiteral("  "); }, "Anonsun adı boş olamaz."},
            {[](Announcement &a) { a.sound.clear(); }, "sesi yok"},
            {[](Announcement &a) { a.at = QTime(); }, "saati geçerli değil"},
            {[](Announcement &a) { a.gunId = 7; }, "günü geçerli değil"},
            {[](Announcement &a) { a.sure = -1; }, "eksi olamaz"},
        };
        for (const auto &r : refusals) {
            Announcement bad = *read;
            r.spoil(bad);
            QVERIFY_THROWS_EXCEPTION(ERefused, store.addAnnouncement(bad));
            try {
                store.updateAnnouncement(bad);
                QFAIL("written");
            } catch (const ERefused &e) {
                QVERIFY2(e.message().contains(QString::fromUtf8(r.said)), qPrintable(e.message()));
            }
        }
        QCOMPARE(store.announcements().size(), 4);
        QCOMPARE(store.announcement(kurulId)->name, QStringLiteral("Kurul"));

        // Moved to a date, then removed.
        Announcement moved = *read;
        moved.date = QDate(2027, 11, 12);
        QVERIFY(store.updateAnnouncement(moved));
        QVERIFY(store.announcementsOn(QDate(2027, 11, 8)).isEmpty());
        QCOMPARE(names(store.announcementsOn(QDate(2027, 11, 12), exams)), QStringList{"Kurul"});
        store.removeAnnouncement(kurulId);
        QVERIFY(!store.announcement(kurulId));
        QVERIFY(!store.updateAnnouncement(moved));
        QCOMPARE(store.announcements().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestAnnouncementStore)

#include "tst_announcementstore.moc"
