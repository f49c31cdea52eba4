#include "BellStore.h"
#include "Clock.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "ScheduleQuery.h"
#include "SimulatedClock.h"
#include "Statements.h"

#include <QFile>
#include <QLocale>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <cstdio>

namespace {

// Runs one catalogue statement the way every caller does.
void run(ScheduleQuery &q, const QString &statement, const QVariantList &values, bool rows) {
    if (rows)
        q.OpenStatement(statement, values);
    else
        q.ExecuteStatement(statement, values);
}
} // namespace

class TestStore : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        QLocale::setDefault(QLocale::c());
        setProgramClock(nullptr);
        setProgramFolder({});
        ScheduleQuery::setBellsRingHere(true);
    }

    void bellsRoundTrip() {
        ScheduleFixture fx;
        BellStore store;
        store.open(fx.databaseFile());
        store.add({{0, 2, "1. Ders", "08:30:00", "zil.mp3", 30},
                   {0, 2, "2. Ders", "09:20:00", "zil.wav", 0},
                   {0, 4, "Cuma", "10:00:00", "c.mp3", 15}});

        const QList<Bell> tuesday = store.dayBells(2);
        QCOMPARE(tuesday.size(), 2);
        QCOMPARE(tuesday[0].name, QStringLiteral("1. Ders"));
        QCOMPARE(tuesday[0].gunId, 2);
        QCOMPARE(tuesday[0].startTime(), QTime(8, 30));
        QCOMPARE(tuesday[0].duration(), 30);
        QCOMPARE(tuesday[1].music, QStringLiteral("zil.wav"));

        Bell edited = store.dayBells(4).value(0);
        QCOMPARE(edited.music, QStringLiteral("c.mp3"));
        edited = {edited.id, 3, "Yeni ad", "11:11:11", "yeni.mp3", 45};
        QVERIFY(store.update(edited));
        const std::optional<Bell> read = store.bell(edited.id);
        QVERIFY(read);
        QCOMPARE(read->gunId, 3);
        QCOMPARE(read->start.toString(), QStringLiteral("11:11:11"));
        QCOMPARE(read->music, QStringLiteral("yeni.mp3"));

        store.remove(edited.id);
        QCOMPARE(fx.count(), 2);
        QVERIFY(!store.bell(edited.id));
        QVERIFY(!store.update(edited));
        QVERIFY(store.dayBells(6).isEmpty());
    }

    void bellRecordIsAddedBesideAnOldScheduleAndRemembersWhatRang() {
        ScheduleFixture fx;
        const int first = fx.insert(0, "1. Ders", "08:30:00", "zil.mp3", 30);
        const int second = fx.insert(0, "2. Ders", "09:20:00", "zil.mp3", 30);
        const QList<QVariantList> before = fx.rows();
        BellStore store;
        store.open(fx.databaseFile());
        const QDate monday(2026, 12, 7);
        QVERIFY(store.rungOn(monday).isEmpty()); // an old file: no record yet, nothing written

        store.record({monday, first, "1. Ders", "08:30:00", "zil.mp3", BellOutcome::Rang, 4});
        store.record({monday, second, "2. Ders", "09:20:00", "yok.mp3", BellOutcome::Failed, 0,
                      "dosya bulunamadı", true});
        store.record(
            {monday.addDays(1), first, "1. Ders", "08:30:00", "zil.mp3", BellOutcome::Missed});
        QCOMPARE(fx.rows(), before);
        QCOMPARE(store.rungOn(monday), (QSet<int>{first, second}));
        QVERIFY(store.rungOn(monday.addDays(1)).isEmpty());
        QCOMPARE(store.recordedOn(monday.addDays(1)), QSet<int>{first});

        const QList<BellEvent> shown = store.history(monday, monday.addDays(1));
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0].outcome, BellOutcome::Missed); // newest first
        QCOMPARE(shown[1].music, QStringLiteral("yok.mp3"));
        QCOMPARE(shown[1].reason, QStringLiteral("dosya bulunamadı"));
        QVERIFY(shown[1].fallbackTone);
        QCOMPARE(shown[2].delayMs, 4);
    }

    void valuesAreBoundNotPasted_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("music");
        QTest::newRow("double quotes") << "Öğle \"arası\""
                                       << "a\"b.mp3";
        QTest::newRow("single quotes") << "O'nun zili"
                                       << "it's.mp3";
        QTest::newRow("semicolon and SQL") << "x\"); DROP TABLE Dersler; --"
                                           << "; DELETE FROM Dersler;";
        QTest::newRow("Turkish letters") << "İıŞşĞğÜüÖöÇç"
                                         << "çalğı ünlü.mp3";
        QTest::newRow("percent and placeholder") << "%1 ? :n"
                                                 << "?.wav";
    }
    void valuesAreBoundNotPasted() {
        QFETCH(QString, name);
        QFETCH(QString, music);
        ScheduleFixture fx;
        ScheduleQuery q;
        q.SetConnection(fx.databaseFile());
        run(q, Statements::YeniZil, {0, name, "08:00:00", music, 5}, false);
        run(q, Statements::GunListesi, {0}, true);
        QCOMPARE(q.RecordCount(), 1);
        QCOMPARE(q.FieldAsText(2), name);
        QCOMPARE(q.FieldAsText(4), music);
        QCOMPARE(fx.count(), 1);
    }

    void unusableFilesRaiseWithDriverMessage_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("missing") << QByteArray() << false << "unable to open";
        QTest::newRow("another program's file")
            << QByteArray("Standard Jet DB\0\0\0\0 not sqlite at all, just bytes", 48) << true
            << "not a database";
        QTest::newRow("emptied file is no schedule")
            << QByteArray() << true << "database.mdb bir zil veritabanı değil: dosyada zil";
    }
    void unusableFilesRaiseWithDriverMessage() {
        QFETCH(QByteArray, content);
        QFETCH(bool, create);
        QFETCH(QString, fragment);
        QTemporaryDir dir;
        const QString file = dir.filePath("database.mdb");
        if (create) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        ScheduleQuery q;
        q.SetConnection(file);
        try {
            run(q, Statements::GunListesi, {1}, true);
            QFAIL("no error");
        } catch (const EStoreError &e) {
            QVERIFY2(e.message().contains(fragment), qPrintable(e.message()));
        }
        // Never creates the schedule.
        QCOMPARE(QFile::exists(file), create);
    }

    void lockedScheduleIsInUseNotForeign() {
        ScheduleFixture fx;
        fx.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        BellStore store;
        try {
            store.open(fx.databaseFile());
            QFAIL("no error");
        } catch (const EStoreError &e) {
            QVERIFY2(e.message().startsWith(QStringLiteral(
                         "database.mdb şu anda başka bir program tarafından kullanılıyor, biraz "
                         "sonra yeniden deneyin")),
                     qPrintable(e.message()));
        }
        fx.exec(QStringLiteral("ROLLBACK"));
        store.add({{0, 2, "1. Ders", "08:30:00", "zil.mp3", 30}});
        QCOMPARE(fx.count(), 1);
    }

    void aWindowWhoseServiceRingsWaitsForTheServicesWrite() {
        ScheduleFixture fx;
        BellStore store;
        store.open(fx.databaseFile());
        // Opened while this process rang; the service takes over below.
        QCOMPARE(store.dayBells(2).size(), 0);
        // The service's record line or shared schedule write, holding the write lock a moment.
        QSemaphore holding;
        QThread *service = QThread::create([&] {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "hizmet");
                db.setDatabaseName(fx.databaseFile());
                const bool opened = db.open();
                QSqlQuery q(db);
                if (opened && q.exec(QStringLiteral("BEGIN IMMEDIATE")) &&
                    q.exec(QStringLiteral("INSERT INTO Dersler (GunID, DersSaati, DersBaslama, "
                                          "Muzik, Sure) VALUES (3, 'x', '09:00:00', 'a.mp3', 5)")))
                    holding.release();
                QThread::msleep(300);
                q.exec(QStringLiteral("COMMIT"));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("hizmet"));
        });
        const auto joined = qScopeGuard([service] {
            service->wait();
            delete service;
        });
        service->start();
        QVERIFY(holding.tryAcquire(1, 10000));
        ScheduleQuery::setBellsRingHere(false);
        store.add({{0, 2, "1. Ders", "08:30:00", "zil.mp3", 30}});
        service->wait();
        QCOMPARE(fx.count(), 2);
    }

    void storeThatComesBackIsUsedAgain() {
        ScheduleFixture fx;
        const QString moved = fx.folder() + "elsewhere.mdb";
        QVERIFY(QFile::rename(fx.databaseFile(), moved));
        ScheduleQuery q;
        q.SetConnection(fx.databaseFile());
        QVERIFY_THROWS_EXCEPTION(EStoreError, run(q, Statements::GunListesi, {1}, true));
        QVERIFY(QFile::rename(moved, fx.databaseFile()));
        run(q, Statements::GunListesi, {1}, true);
        QCOMPARE(q.RecordCount(), 0);
    }

    void fileReplacedUnderOpenQueryIsReadAfresh() {
        ScheduleFixture fx;
        fx.insert(1, "Eski", "08:00:00", "eski.mp3", 30);
        ScheduleQuery q;
        q.SetConnection(fx.databaseFile());
        run(q, Statements::GunListesi, {1}, true);
        QCOMPARE(q.FieldAsText(2), QStringLiteral("Eski"));

        // A backup put back the usual way: copied beside the file, then moved over it.
        ScheduleFixture backup;
        backup.insert(1, "Yedek", "09:00:00", "yedek.mp3", 30);
        const QString copy = fx.folder() + "database.tmp";
        QVERIFY(QFile::copy(backup.databaseFile(), copy));
        QCOMPARE(std::rename(QFile::encodeName(copy).constData(),
                             QFile::encodeName(fx.databaseFile()).constData()),
                 0);

        run(q, Statements::GunListesi, {1}, true);
        QCOMPARE(q.RecordCount(), 1);
        QCOMPARE(q.FieldAsText(2), QStringLiteral("Yedek"));
        run(q, Statements::YeniZil, {1, "Sonra", "10:00:00", "sonra.mp3", 30}, false);
        ScheduleQuery fresh;
        fresh.SetConnection(fx.databaseFile());
        run(fresh, Statements::GunListesi, {1}, true);
        QCOMPARE(fresh.RecordCount(), 2);
        fresh.Next();
        QCOMPARE(fresh.FieldAsText(2), QStringLiteral("Sonra"));
    }

    void fileDeletedUnderOpenQueryIsMissingUntilPutBack() {
        ScheduleFixture fx;
        fx.insert(1, "Eski", "08:00:00", "eski.mp3", 30);
        ScheduleQuery q;
        q.SetConnection(fx.databaseFile());
        run(q, Statements::GunListesi, {1}, true);
        const QString kept = fx.folder() + "kopya.mdb";
        QVERIFY(QFile::copy(fx.databaseFile(), kept));
        QVERIFY(QFile::remove(fx.databaseFile()));

        // A read and a save both say the file is missing, not that it is read-only.
        for (const bool rows : {true, false}) {
            try {
                run(q, rows ? Statements::GunListesi : Statements::ZilSil, {1}, rows);
                QFAIL("no error");
            } catch (const EStoreError &e) {
                QVERIFY2(e.message().startsWith("database.mdb açılamadı: veritabanı dosyası "
                                                "bulunamadı"),
                         qPrintable(e.message()));
            }
        }
        QVERIFY(!QFile::exists(fx.databaseFile()));

        QVERIFY(QFile::copy(kept, fx.databaseFile()));
        run(q, Statements::GunListesi, {1}, true);
        QCOMPARE(q.FieldAsText(2), QStringLiteral("Eski"));
    }

    void integerConversion() {
        ScheduleFixture fx;
        fx.exec("INSERT INTO Dersler (GunID,DersSaati,DersBaslama,Muzik,Sure) "
                "VALUES(1,'a','08:00:00','m','otuz')");
        ScheduleQuery q;
        q.SetConnection(fx.databaseFile());
        run(q, Statements::GunListesi, {1}, true);
        try {
            q.FieldAsInteger(5);
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'otuz' is not a valid integer value"));
        }
    }

    void transactionIsAllOrNothing() {
        ScheduleFixture fx;
        ScheduleQuery q;
        q.SetConnection(fx.databaseFile());
        {
            ScheduleQuery::Transaction t(q);
            run(q, Statements::YeniZil, {0, "a", "08:00:00", "m", 1}, false);
            run(q, Statements::YeniZil, {1, "a", "08:00:00", "m", 1}, false);
            // GunID 9 breaks the table's check: the whole group must go.
            QVERIFY_THROWS_EXCEPTION(
                EStoreError, run(q, Statements::YeniZil, {9, "a", "08:00:00", "m", 1}, false));
        }
        QCOMPARE(fx.count(), 0);
        {
            ScheduleQuery::Transaction t(q);
            run(q, Statements::YeniZil, {0, "a", "08:00:00", "m", 1}, false);
            run(q, Statements::YeniZil, {1, "a", "08:00:00", "m", 1}, false);
            t.Commit();
        }
        QCOMPARE(fx.count(), 2);
    }

    void timeText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("tr midnight") << "tr_TR"
                                     << "00:00:00"
                                     << "00:00:00";
        QTest::newRow("tr last second") << "tr_TR"
                                        << "23:59:59"
                                        << "23:59:59";
        QTest::newRow("tr morning") << "tr_TR"
                                    << "08:30:05"
                                    << "08:30:05";
        QTest::newRow("en midnight") << "en_US"
                                     << "00:00:00"
                                     << "12:00:00 AM";
        QTest::newRow("en last second") << "en_US"
                                        << "23:59:59"
                                        << "11:59:59 PM";
        QTest::newRow("not a time") << "tr_TR"
                                    << "sabah"
                                    << "";
        QTest::newRow("empty") << "tr_TR"
                               << ""
                               << "";
    }
    void timeText() {
        QFETCH(QString, locale);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(StartTimeText(stored).replace(QChar(0x202F), ' '), shown);
        const QTime t = StoredStartTime(stored);
        if (t.isValid()) {
            // Written, shown and compared through the same rendering.
            QCOMPARE(StoredTimeForm(t), stored);
            QCOMPARE(TimeText(t), StartTimeText(stored));
            QVERIFY(!TimeText(t).contains("UTC") && !TimeText(t).contains("GMT"));
        }
    }

    void todayIsReadAfreshEachCall() {
        SimulatedClock clock;
        setProgramClock(&clock);
        clock.at = QDateTime(QDate(2026, 12, 7), QTime(12, 0)); // Monday
        QCOMPARE(BugunGunID(), 0);
        clock.at = QDateTime(QDate(2026, 12, 13), QTime(23, 59, 59)); // Sunday
        QCOMPARE(BugunGunID(), 6);
        QCOMPARE(GunAdlari().at(BugunGunID()), QStringLiteral("Pazar"));
        clock.at = clock.at.addSecs(1);
        QCOMPARE(BugunGunID(), 0);
        QCOMPARE(GunAdlari().size(), 7);
    }

    void databaseFileIsInProgramFolder() {
        setProgramFolder("/tmp/okul");
        QCOMPARE(DatabaseFile(), QStringLiteral("/tmp/okul/database.mdb"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
