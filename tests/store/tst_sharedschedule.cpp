#include "Backup.h"
#include "BellClock.h"
#include "BellStore.h"
#include "Calendar.h"
#include "DayPlan.h"
#include "FakeMediaLayer.h"
#include "LayerBellPlayer.h"
#include "PgServer.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SharedMusic.h"
#include "SharedSchedule.h"
#include "SimulatedClock.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace {
// Monday 7 December 2026.
const QDate Monday(2026, 12, 7);
const QString Database = QStringLiteral("zil");

Bell bellOf(const QString &name, const QString &start, const QString &music) {
    Bell bell;
    bell.name = name;
    bell.start = start;
    bell.music = music;
    bell.sure = 5;
    return bell;
}
} // namespace

// One school computer: its program folder and schedule, its clock ringing into a scripted
// player, and its link to the shared place as its own PostgreSQL user.
class Computer {
public:
    Computer(const PgServer &server, const QString &user, int checkMs) {
        store.setFile(fx.databaseFile());
        plan = std::make_unique<DayPlan>(store, &calendar);
        bell = std::make_unique<BellClock>(store, player);
        bell->setPlan(*plan);
        bell->ReportError = [this](const QString &m) { reports << m; };
        makeLink(checkMs);
        settings.on = true;
        settings.host = server.socketFolder();
        settings.port = server.port();
        settings.database = Database;
        settings.user = user;
        settings.password = user + QStringLiteral("-parola");
    }
    void join() { shared->start(settings); }
    // A program started afresh on the same folder: only what the file keeps is known.
    void makeLink(int checkMs) {
        shared = std::make_unique<SharedSchedule>(store, calendar);
        shared->setIntervals(checkMs, 100);
        shared->setMusicFolder(music());
        QObject::connect(shared.get(), &SharedSchedule::problem,
                         [this](const QString &m) { problems << m; });
        QObject::connect(shared.get(), &SharedSchedule::reconnected, [this] { ++reconnects; });
    }

    // The music files the player opened, by name.
    QStringList played() const {
        QStringList names;
        for (const auto &r : layer.requests())
            if (r.name == QLatin1String("open"))
                names << r.element.section(QLatin1Char('/'), -1);
        return names;
    }
    QStringList bellNames() {
        QStringList names;
        for (const QVariantList &r : fx.rows(QStringLiteral("SELECT DersSaati FROM Dersler "
                                                            "ORDER BY DersBaslama")))
            names << r.value(0).toString();
        return names;
    }
    QString music() const { return fx.folder() + QStringLiteral("Muzikler/"); }
    QByteArray musicBytes(const QString &name) const {
        QFile f(music() + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void putMusic(const QString &name, const QByteArray &bytes) const {
        QVERIFY(QDir().mkpath(QFileInfo(music() + name).path()));
        QFile f(music() + name);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    // The file's inode and modification time: a file written again changes both.
    std::pair<quint64, qint64> fileIdentity(const QString &name) const {
        struct stat status {};
        if (::stat(QFile::encodeName(music() + name).constData(), &status) != 0)
            return {0, 0};
        return {status.st_ino, qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
    }
    QStringList texts(const QString &sql) {
        QStringList values;
        for (const QVariantList &r : fx.rows(sql))
            values << r.value(0).toString();
        return values;
    }
    qint64 lastRecordLine() {
        const auto rows = fx.rows(QStringLiteral("SELECT max(KayitNo) FROM ZilGecmisi"));
        return rows.isEmpty() ? 0 : rows.first().value(0).toLongLong();
    }

    ScheduleFixture fx;
    BellStore store;
    Calendar calendar{store};
    std::unique_ptr<DayPlan> plan;
    FakeMediaLayer layer;
    LayerBellPlayer player{layer};
    std::unique_ptr<BellClock> bell;
    std::unique_ptr<SharedSchedule> shared;
    SharedSettings settings;
    QStringList problems;
    QStringList reports;
    int reconnects = 0;
};

class TestSharedSchedule : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<PgServer> server;
    SimulatedClock clock;

    qint64 serverVersion(int school = 1) {
        return server
            ->rows(QStringLiteral("SELECT surum FROM surum WHERE okul_id = %1").arg(school),
                   Database)
            .value(0)
            .toLongLong();
    }
    QString one(const QString &sql) { return server->rows(sql, Database).value(0); }

    // The bell names in the newest backup `pc` kept before its copy was replaced for `why`.
    static QStringList keptAside(Computer &pc, const QString &why) {
        const QString copies = Backup::copiesFolder(pc.fx.folder());
        const QStringList files = QDir(copies).entryList(
            {QStringLiteral("once-*-") + why + QStringLiteral(".tar")}, QDir::Files, QDir::Name);
        QTemporaryDir out;
        if (files.isEmpty() ||
            QProcess::execute(QStringLiteral("tar"),
                              {QStringLiteral("-xf"), copies + files.last(), QStringLiteral("-C"),
                               out.path(), QStringLiteral("database.mdb")}) != 0)
            return {};
        QStringList names;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), why);
            db.setDatabaseName(out.filePath(QStringLiteral("database.mdb")));
            QSqlQuery q(db);
            if (db.open() && q.exec(QStringLiteral("SELECT DersSaati FROM Dersler")))
                while (q.next())
                    names << q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(why);
        return names;
    }

    // A connection of the test's own as `user`, for trying what the program never does.
    QSqlDatabase loginAs(const QString &user) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), user);
        db.setHostName(server->socketFolder());
        db.setPort(server->port());
        db.setDatabaseName(Database);
        db.setUserName(user);
        db.setPassword(user + QStringLiteral("-parola"));
        return db;
    }

    void ringThrough(Computer &c, const QTime &from, const QTime &to) {
        for (QTime t = from; t <= to; t = t.addSecs(1)) {
            clock.at = QDateTime(Monday, t).addMSecs(5);
            c.layer.advanceAll(1000);
            c.player.checkLength();
            c.bell->TimerTimer();
        }
    }

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        setProgramClock(&clock);
        setAudioSinkDescription(QStringLiteral("fakesink sync=true"));
        clock.at = QDateTime(Monday, QTime(7, 0));
        server = std::make_unique<PgServer>();
        QVERIFY2(server->start(), qPrintable(server->why()));
        QVERIFY2(server->runSql(QStringLiteral("CREATE DATABASE zil")), qPrintable(server->why()));
        QVERIFY2(server->runFile(QStringLiteral(":/ortak.sql"), Database),
                 qPrintable(server->why()));
        // One school with two buildings, another school next door; a manager, two computers
        // (one in each building) and the other school's computer.
        QVERIFY2(server->runSql(QStringLiteral(R"(
            INSERT INTO okul (ad) VALUES ('Selvanor Okulları'), ('Komşu Okul');
            INSERT INTO bina (okul_id, ad) VALUES (1, 'Ortaokul'), (1, 'Lise'), (2, 'Ana Bina');
            SELECT zil_bilgisayar_ekle('pc_a', 'pc_a-parola', 1, 1, true);
            SELECT zil_bilgisayar_ekle('pc_b', 'pc_b-parola', 1, 2, false);
            SELECT zil_bilgisayar_ekle('pc_c', 'pc_c-parola', 1, 1, true);
            SELECT zil_bilgisayar_ekle('pc_x', 'pc_x-parola', 2, 3, false);
            INSERT INTO zil (okul_id, bina_id, gun_id, ders_saati, baslama, muzik, sure) VALUES
                (1, NULL, 0, '1. Ders', '08:30:00', 'ders.mp3', 5),
                (1, 2, 0, 'Lise Etüt', '08:40:00', 'lise.mp3', 5),
                (2, NULL, 0, 'Komşu Ders', '08:30:00', 'komsu.mp3', 5);
            INSERT INTO takvim_ayar (okul_id, anahtar, deger) VALUES (1, 'OkulAdi', 'Selvanor');
            -- A server in use for a while: its ids are not those a fresh copy numbers from.
            SELECT setval('anons_anons_id_seq', 700), setval('tek_seferlik_kayit_id_seq', 500);
            )"),
                                Database),
                 qPrintable(server->why()));
    }

    void cleanupTestCase() {
        setAudioSinkDescription({});
        setProgramClock(nullptr);
        server.reset();
    }

    // Three computers take the school's schedule, each its building's; an edit on the manager's
    // reaches the other two by the server's notice alone and rings there.
    void changeOnOneRingsOnTheOthers() {
        // The server is looked at only once a minute: within the test, only its notice can
        // bring the change.
        Computer a(*server, QStringLiteral("pc_a"), 60000);
        Computer b(*server, QStringLiteral("pc_b"), 60000);
        Computer c(*server, QStringLiteral("pc_c"), 60000);
        for (Computer *pc : {&a, &b, &c})
            pc->join();
        const qint64 start = serverVersion();
        for (Computer *pc : {&a, &b, &c})
            QTRY_COMPARE_WITH_TIMEOUT(pc->shared->appliedVersion(), start, 15000);
        QCOMPARE(a.bellNames(), QStringList{QStringLiteral("1. Ders")});
        QCOMPARE(b.bellNames(),
                 (QStringList{QStringLiteral("1. Ders"), QStringLiteral("Lise Etüt")}));
        QCOMPARE(c.bellNames(), QStringList{QStringLiteral("1. Ders")});
        QCOMPARE(a.calendar.schoolName(), QStringLiteral("Selvanor"));
        QVERIFY(a.shared->manager());
        QVERIFY(!b.shared->manager());
        QCOMPARE(b.shared->building(), QStringLiteral("Lise"));

        // The manager adds a bell in the window's way, to the copy.
        Bell added;
        added.gunId = 0;
        added.name = QStringLiteral("2. Ders");
        added.start = QStringLiteral("09:00:00");
        added.music = QStringLiteral("ikinci.mp3");
        added.sure = 5;
        QElapsedTimer took;
        took.start();
        a.store.add({added});
        QTRY_VERIFY_WITH_TIMEOUT(b.bellNames().contains(QStringLiteral("2. Ders")) &&
                                     c.bellNames().contains(QStringLiteral("2. Ders")),
                                 10000);
        qInfo("edit on one computer reached both others in %lld ms", took.elapsed());
        QCOMPARE(one(QStringLiteral("SELECT count(*) FROM zil WHERE muzik = 'ikinci.mp3' AND "
                                    "bina_id IS NULL")),
                 QStringLiteral("1"));
        // The manager's copy takes the server's id for its bell, and the others keep theirs.
        QTRY_VERIFY_WITH_TIMEOUT(a.shared->appliedVersion() == serverVersion(), 10000);
        QCOMPARE(b.bellNames(), (QStringList{QStringLiteral("1. Ders"), QStringLiteral("Lise Etüt"),
                                             QStringLiteral("2. Ders")}));

        for (Computer *pc : {&a, &b, &c}) {
            ringThrough(*pc, QTime(8, 59, 58), QTime(9, 0, 1));
            QCOMPARE(pc->played(), QStringList{QStringLiteral("ikinci.mp3")});
        }

        // The calendar travels too: a holiday and the school's name set on the manager's.
        const QDate snowDay(2026, 12, 8);
        a.calendar.save(CalendarEntry::holiday(QStringLiteral("Kar tatili"), snowDay, snowDay));
        a.calendar.setSchoolName(QStringLiteral("Selvanor Kampüsü"));
        for (Computer *pc : {&b, &c}) {
            QTRY_COMPARE_WITH_TIMEOUT(pc->calendar.schoolName(), QStringLiteral("Selvanor Kampüsü"),
                                      10000);
            QTRY_COMPARE_WITH_TIMEOUT(pc->calendar.day(snowDay).kind, CalendarDay::Kind::Holiday,
                                      10000);
        }
        // A computer's own setting stays its own.
        b.calendar.silenceToday(true);
        QTest::qWait(500);
        QVERIFY(!a.calendar.silencedToday());
        QCOMPARE(
            one(QStringLiteral("SELECT count(*) FROM takvim_ayar WHERE anahtar = 'SessizGun'")),
            QStringLiteral("0"));
        for (Computer *pc : {&a, &b, &c})
            QVERIFY2(pc->problems.isEmpty(), qPrintable(pc->problems.join('\n')));
    }

    // The server gone for the day: every bell rings from the copy, each computer says once that
    // the server cannot be reached, and when it is back every record line arrives once.
    void outageRingsFromTheCopyAndRecordsArriveOnce() {
        Computer a(*server, QStringLiteral("pc_a"), 300);
        Computer b(*server, QStringLiteral("pc_b"), 300);
        Computer c(*server, QStringLiteral("pc_c"), 300);
        for (Computer *pc : {&a, &b, &c})
            pc->join();
        const qint64 version = serverVersion();
        for (Computer *pc : {&a, &b, &c})
            QTRY_COMPARE_WITH_TIMEOUT(pc->shared->appliedVersion(), version, 15000);
        auto serverLines = [&](const QString &user) {
            return one(QStringLiteral("SELECT count(*) FROM zil_kaydi WHERE bilgisayar = '%1'")
                           .arg(user))
                .toInt();
        };
        // The first test's computers sent lines under the same users, from other files.
        QHash<QString, int> before;
        for (const char *user : {"pc_a", "pc_b", "pc_c"})
            before.insert(QLatin1String(user), serverLines(QLatin1String(user)));

        QVERIFY2(server->stop(), qPrintable(server->why()));
        for (Computer *pc : {&a, &b, &c})
            QTRY_VERIFY_WITH_TIMEOUT(!pc->shared->reachable(), 10000);
        for (Computer *pc : {&a, &b, &c}) {
            ringThrough(*pc, QTime(8, 29, 58), QTime(9, 0, 2));
            QVERIFY(pc->played().contains(QStringLiteral("ders.mp3")));
        }
        QVERIFY(b.played().contains(QStringLiteral("lise.mp3")));
        QVERIFY(!a.played().contains(QStringLiteral("lise.mp3")));
        // Several looks at the server later, still one message each.
        QTest::qWait(1500);
        for (Computer *pc : {&a, &b, &c}) {
            QCOMPARE(pc->problems.size(), 1);
            QVERIFY2(pc->problems.first().contains(QStringLiteral("ulaşılamıyor")),
                     qPrintable(pc->problems.first()));
            QVERIFY(pc->shared->statusLine().contains(QStringLiteral("son kopyadan")));
        }

        QVERIFY2(server->restart(), qPrintable(server->why()));
        for (Computer *pc : {&a, &b, &c}) {
            QTRY_VERIFY_WITH_TIMEOUT(pc->shared->reachable(), 15000);
            QTRY_COMPARE_WITH_TIMEOUT(pc->shared->sentRecord(), pc->lastRecordLine(), 15000);
            QCOMPARE(pc->reconnects, 1);
        }
        auto localLines = [](Computer &pc) {
            return int(pc.fx.rows(QStringLiteral("SELECT KayitNo FROM ZilGecmisi")).size());
        };
        QVERIFY(localLines(b) >= 3);
        QCOMPARE(serverLines(QStringLiteral("pc_a")), before["pc_a"] + localLines(a));
        QCOMPARE(serverLines(QStringLiteral("pc_b")), before["pc_b"] + localLines(b));
        QCOMPARE(serverLines(QStringLiteral("pc_c")), before["pc_c"] + localLines(c));

        // Sent again as after a cut between the server's commit and the copy's note of it: the
        // server keeps each line once.
        b.fx.exec(QStringLiteral("DELETE FROM OrtakDurum WHERE Anahtar = 'GonderilenKayit'"));
        QTRY_COMPARE_WITH_TIMEOUT(b.shared->sentRecord(), b.lastRecordLine(), 15000);
        QCOMPARE(serverLines(QStringLiteral("pc_b")), before["pc_b"] + localLines(b));
        QCOMPARE(one(QStringLiteral("SELECT count(*) FROM zil_kaydi WHERE bilgisayar = 'pc_b' AND "
                                    "muzik = 'lise.mp3' AND sonuc = 'caldi'")),
                 QStringLiteral("1"));
    }

    // A computer's user reads its own school only, adds records only as itself, and only a
    // manager changes the schedule; each attempt is refused by the server.
    void rolesKeepSchoolsAndComputersApart() {
        {
            QSqlDatabase x = loginAs(QStringLiteral("pc_x"));
            QVERIFY2(x.open(), qPrintable(x.lastError().text()));
            QSqlQuery q(x);
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM zil WHERE okul_id = 1")) &&
                    q.next());
            QCOMPARE(q.value(0).toInt(), 0);
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM zil")) && q.next());
            QCOMPARE(q.value(0).toInt(), 1);
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM zil_kaydi")) && q.next());
            QCOMPARE(q.value(0).toInt(), 0);
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM takvim_ayar")) && q.next());
            QCOMPARE(q.value(0).toInt(), 0);
            // Another computer's record line, in its own school or another.
            QVERIFY(!q.exec(QStringLiteral(
                "INSERT INTO zil_kaydi (bilgisayar, kayit_no, okul_id, tarih, sonuc, zaman) "
                "VALUES ('pc_a', 99, 1, '2026-12-07', 'rang', 'x')")));
            qInfo("pc_x writing pc_a's record: %s", qPrintable(q.lastError().text()));
            QVERIFY(q.lastError().text().contains(QStringLiteral("row-level security")));
            QVERIFY(!q.exec(
                QStringLiteral("INSERT INTO zil_kaydi (kayit_no, okul_id, tarih, sonuc, zaman) "
                               "VALUES (99, 1, '2026-12-07', 'rang', 'x')")));
            qInfo("pc_x writing into school 1: %s", qPrintable(q.lastError().text()));
            // Not a manager: the schedule cannot be changed, not even its own school's.
            QVERIFY(!q.exec(QStringLiteral("UPDATE zil SET muzik = 'kotu.mp3'")));
            qInfo("pc_x changing bells: %s", qPrintable(q.lastError().text()));
            QVERIFY(!q.exec(QStringLiteral("SELECT zil_surum_tut(0)")));
            x.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pc_x"));
        {
            // A manager of school 1 cannot reach school 2's bells either.
            QSqlDatabase a = loginAs(QStringLiteral("pc_a"));
            QVERIFY2(a.open(), qPrintable(a.lastError().text()));
            QSqlQuery q(a);
            QVERIFY(q.exec(QStringLiteral("UPDATE zil SET muzik = 'kotu.mp3' WHERE okul_id = 2")));
            QCOMPARE(q.numRowsAffected(), 0);
            QVERIFY(!q.exec(QStringLiteral("INSERT INTO zil (okul_id, gun_id) VALUES (2, 1)")));
            qInfo("pc_a adding a bell to school 2: %s", qPrintable(q.lastError().text()));
            for (const QString &insert :
                 {QStringLiteral("INSERT INTO anons (okul_id, ad, dosya, saat) VALUES (2, 'x', "
                                 "'x.wav', '10:00:00')"),
                  QStringLiteral("INSERT INTO muzik (okul_id, ad, sha256, boyut, icerik) VALUES "
                                 "(2, 'x.mp3', repeat('0', 64), 1, decode('00', 'hex'))")}) {
                QVERIFY(!q.exec(insert));
                QVERIFY2(q.lastError().text().contains(QStringLiteral("row-level security")),
                         qPrintable(q.lastError().text()));
            }
            a.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pc_a"));
        QCOMPARE(one(QStringLiteral("SELECT muzik FROM zil WHERE okul_id = 2")),
                 QStringLiteral("komsu.mp3"));
        {
            // A computer of the school that is not a manager adds no announcement, one-off bell
            // or music file either.
            QSqlDatabase b = loginAs(QStringLiteral("pc_b"));
            QVERIFY2(b.open(), qPrintable(b.lastError().text()));
            QSqlQuery q(b);
            for (const QString &insert :
                 {QStringLiteral("INSERT INTO anons (okul_id, ad, dosya, saat) VALUES (1, 'x', "
                                 "'x.wav', '10:00:00')"),
                  QStringLiteral("INSERT INTO tek_seferlik (okul_id, tarih, muzik) VALUES (1, "
                                 "'2026-12-07', 'x.mp3')"),
                  QStringLiteral("INSERT INTO muzik (okul_id, ad, sha256, boyut, icerik) VALUES "
                                 "(1, 'x.mp3', repeat('0', 64), 1, decode('00', 'hex'))")}) {
                QVERIFY(!q.exec(insert));
                qInfo("pc_b: %s", qPrintable(q.lastError().text()));
                QVERIFY(q.lastError().text().contains(QStringLiteral("permission denied")));
            }
            b.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pc_b"));

        // A computer whose user may not change the schedule is told, and its copy is put back.
        Computer b(*server, QStringLiteral("pc_b"), 300);
        b.join();
        QTRY_COMPARE_WITH_TIMEOUT(b.shared->appliedVersion(), serverVersion(), 15000);
        const QStringList names = b.bellNames();
        // Its windows refuse the edit before it is typed, whichever process of the folder rings;
        // with the folder left, the schedule is its own again.
        SharedSettings::write(b.fx.folder(), b.settings);
        QVERIFY(SharedSchedule::editRefusal(b.fx.folder()).contains(QStringLiteral("pc_b")));
        QCOMPARE(SharedSchedule::savedStatus(b.fx.folder()), b.shared->statusLine());
        SharedSettings left = b.settings;
        left.on = false;
        SharedSettings::write(b.fx.folder(), left);
        QVERIFY(SharedSchedule::editRefusal(b.fx.folder()).isEmpty());
        Bell added;
        added.name = QStringLiteral("Yetkisiz");
        added.start = QStringLiteral("10:00:00");
        added.music = QStringLiteral("y.mp3");
        added.sure = 5;
        b.store.add({added});
        QTRY_COMPARE_WITH_TIMEOUT(b.problems.size(), 1, 10000);
        QVERIFY2(b.problems.first().contains(QStringLiteral("değiştiremez")),
                 qPrintable(b.problems.first()));
        QTRY_COMPARE_WITH_TIMEOUT(b.bellNames(), names, 10000);
        QCOMPARE(one(QStringLiteral("SELECT count(*) FROM zil WHERE ders_saati = 'Yetkisiz'")),
                 QStringLiteral("0"));
        // Undone, but not lost: what was typed is in the backup kept just before.
        QTRY_VERIFY_WITH_TIMEOUT(keptAside(b, QStringLiteral("geri-alinan-degisiklik"))
                                     .contains(QStringLiteral("Yetkisiz")),
                                 10000);
    }

    // A computer that had a schedule of its own keeps it as a backup before the school's
    // replaces it, once; the manager's windows are not refused.
    void joiningKeepsTheComputersOwnScheduleFirst() {
        Computer a(*server, QStringLiteral("pc_a"), 300);
        a.fx.insert(2, QStringLiteral("Kendi zilimiz"), QStringLiteral("09:15:00"),
                    QStringLiteral("kendi.mp3"), 5);
        const QString copies = Backup::copiesFolder(a.fx.folder());
        auto kept = [&] {
            return QDir(copies).entryList({QStringLiteral("once-*-ortak-program.tar")},
                                          QDir::Files);
        };
        a.join();
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);
        QVERIFY(!a.bellNames().contains(QStringLiteral("Kendi zilimiz")));
        QTRY_COMPARE_WITH_TIMEOUT(kept().size(), 1, 15000);
        QCOMPARE(keptAside(a, QStringLiteral("ortak-program")),
                 QStringList{QStringLiteral("Kendi zilimiz")});

        SharedSettings::write(a.fx.folder(), a.settings);
        QVERIFY(SharedSchedule::editRefusal(a.fx.folder()).isEmpty());
        a.fx.insert(3, QStringLiteral("Yönetici ekledi"), QStringLiteral("11:00:00"),
                    QStringLiteral("y.mp3"), 5);
        QTRY_COMPARE_WITH_TIMEOUT(one(QStringLiteral("SELECT count(*) FROM zil WHERE ders_saati "
                                                     "= 'Yönetici ekledi'")),
                                  QStringLiteral("1"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);
        QCOMPARE(kept().size(), 1);
        a.fx.exec(QStringLiteral("DELETE FROM Dersler WHERE DersSaati = 'Yönetici ekledi'"));
        QTRY_COMPARE_WITH_TIMEOUT(one(QStringLiteral("SELECT count(*) FROM zil WHERE ders_saati "
                                                     "= 'Yönetici ekledi'")),
                                  QStringLiteral("0"), 15000);

        // Left, the copy is the computer's own: a bell added then stays its own, and joining
        // again keeps it in a backup instead of sending it to the whole school.
        SharedSettings left = a.settings;
        left.on = false;
        a.shared->start(left);
        QCOMPARE(a.shared->appliedVersion(), qint64(-1));
        a.fx.insert(4, QStringLiteral("Ayrıyken eklendi"), QStringLiteral("12:00:00"),
                    QStringLiteral("a.mp3"), 5);
        a.join();
        QTRY_COMPARE_WITH_TIMEOUT(kept().size(), 2, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!a.bellNames().contains(QStringLiteral("Ayrıyken eklendi")),
                                 15000);
        QCOMPARE(one(QStringLiteral("SELECT count(*) FROM zil WHERE ders_saati = 'Ayrıyken "
                                    "eklendi'")),
                 QStringLiteral("0"));
    }

    // Two managers change the schedule at once, each on a copy of the same version: one edit
    // is kept, the other is refused with a message and its copy shows the kept one.
    void twoManagersNeverLoseAnEditSilently() {
        Computer a(*server, QStringLiteral("pc_a"), 300);
        Computer c(*server, QStringLiteral("pc_c"), 300);
        a.join();
        c.join();
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(c.shared->appliedVersion(), serverVersion(), 15000);
        // Out of reach, both edit; both edits go up when the server is back.
        QVERIFY2(server->stop(), qPrintable(server->why()));
        QTRY_VERIFY_WITH_TIMEOUT(!a.shared->reachable() && !c.shared->reachable(), 10000);
        Bell bell;
        bell.start = QStringLiteral("11:00:00");
        bell.sure = 5;
        bell.name = QStringLiteral("A'nın dersi");
        bell.music = QStringLiteral("a.mp3");
        a.store.add({bell});
        bell.name = QStringLiteral("C'nin dersi");
        bell.music = QStringLiteral("c.mp3");
        c.store.add({bell});
        QTest::qWait(500);
        QVERIFY2(server->restart(), qPrintable(server->why()));
        QTRY_VERIFY_WITH_TIMEOUT(a.shared->reachable() && c.shared->reachable(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(
            one(QStringLiteral("SELECT count(*) FROM zil WHERE baslama = '11:00:00'")),
            QStringLiteral("1"), 15000);
        // Whichever came second was refused and told; both copies end as the server's.
        QTRY_VERIFY_WITH_TIMEOUT(a.bellNames() == c.bellNames(), 15000);
        const QString kept = one(QStringLiteral("SELECT ders_saati FROM zil WHERE baslama = "
                                                "'11:00:00'"));
        Computer &loser = kept == QStringLiteral("A'nın dersi") ? c : a;
        Computer &winner = kept == QStringLiteral("A'nın dersi") ? a : c;
        QVERIFY(loser.bellNames().contains(kept));
        const auto told = [](Computer &pc) {
            return std::count_if(pc.problems.begin(), pc.problems.end(), [](const QString &m) {
                return m.contains(QStringLiteral("başka bir bilgisayardan değiştirildi"));
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(told(loser), 1, 10000);
        QCOMPARE(told(winner), 0);
        const QString lost = kept == QStringLiteral("A'nın dersi") ? QStringLiteral("C'nin dersi")
                                                                   : QStringLiteral("A'nın dersi");
        QTRY_VERIFY_WITH_TIMEOUT(
            keptAside(loser, QStringLiteral("geri-alinan-degisiklik")).contains(lost), 10000);
    }
    // A manager's edit made while the program was closed is sent at the next start, not
    // overwritten by the server's copy; a computer started again unedited says nothing.
    void editMadeWhileClosedIsSent() {
        Computer a(*server, QStringLiteral("pc_a"), 300);
        Computer b(*server, QStringLiteral("pc_b"), 300);
        a.join();
        b.join();
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(b.shared->appliedVersion(), serverVersion(), 15000);
        a.shared.reset();
        b.shared.reset();
        Bell bell;
        bell.name = QStringLiteral("Kapalıyken eklendi");
        bell.start = QStringLiteral("12:00:00");
        bell.music = QStringLiteral("k.mp3");
        bell.sure = 5;
        a.store.add({bell});
        a.makeLink(300);
        b.makeLink(300);
        a.join();
        b.join();
        QTRY_COMPARE_WITH_TIMEOUT(
            one(QStringLiteral("SELECT count(*) FROM zil WHERE ders_saati = 'Kapalıyken eklendi'")),
            QStringLiteral("1"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(b.bellNames().contains(QStringLiteral("Kapalıyken eklendi")),
                                 15000);
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);
        QVERIFY(a.bellNames().contains(QStringLiteral("Kapalıyken eklendi")));
        QVERIFY2(a.problems.isEmpty(), qPrintable(a.problems.join('\n')));
        QVERIFY2(b.problems.isEmpty(), qPrintable(b.problems.join('\n')));
    }

    // A manager's announcement and one-off bell reach the other computers with the music they
    // name, which only the manager's computer had; they sound there at their second, the file is
    // fetched once, and a building's own announcement stays in that building.
    void announcementsOneOffsAndTheirMusicTravel() {
        Computer a(*server, QStringLiteral("pc_a"), 60000);
        Computer b(*server, QStringLiteral("pc_b"), 60000);
        Computer c(*server, QStringLiteral("pc_c"), 60000);
        for (Computer *pc : {&a, &b, &c})
            pc->join();
        for (Computer *pc : {&a, &b, &c})
            QTRY_COMPARE_WITH_TIMEOUT(pc->shared->appliedVersion(), serverVersion(), 15000);

        QByteArray tune(300 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(tune.data()), tune.size() / 4);
        const QByteArray speech = QByteArray("RIFF konuşma ").repeated(1000);
        a.putMusic(QStringLiteral("tek.mp3"), tune);
        a.putMusic(QStringLiteral("Anonslar/duyuru.wav"), speech);
        // C has a file of its own under the same name: kept, not lost.
        const QByteArray own("C'nin kendi zili");
        c.putMusic(QStringLiteral("tek.mp3"), own);
        // A link planted under a name the school's music takes never leads the write elsewhere.
        const QString outside = c.fx.folder() + QStringLiteral("disari.txt");
        {
            QFile f(outside);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("dokunulmaz") == 10);
        }
        QVERIFY(QDir().mkpath(c.music() + QStringLiteral("Anonslar")));
        QVERIFY(QFile::link(outside, c.music() + QStringLiteral("Anonslar/duyuru.wav")));

        Announcement notice;
        notice.name = QStringLiteral("Veli toplantısı");
        notice.text = QStringLiteral("Veli toplantısı saat on birde");
        notice.sound = QStringLiteral("Anonslar/duyuru.wav");
        notice.date = Monday;
        notice.at = QTime(10, 0);
        notice.sure = 3;
        a.store.addAnnouncement(notice);
        Bell once = bellOf(QStringLiteral("Tören provası"), QStringLiteral("10:30:00"),
                           QStringLiteral("tek.mp3"));
        once.date = Monday;
        QElapsedTimer took;
        took.start();
        a.store.add({once});
        const QString oneOffs = QStringLiteral("SELECT KayitID FROM TekSeferlik");
        const QString notices = QStringLiteral("SELECT AnonsID FROM Anonslar");
        for (Computer *pc : {&b, &c})
            QTRY_VERIFY_WITH_TIMEOUT(
                pc->texts(oneOffs).size() == 1 && pc->texts(notices).size() == 1, 15000);
        qInfo("announcement, one-off bell and 2 files reached both others in %lld ms",
              took.elapsed());
        const QString serverOneOff = one(QStringLiteral("SELECT kayit_id FROM tek_seferlik"));
        for (Computer *pc : {&a, &b, &c}) {
            QTRY_COMPARE_WITH_TIMEOUT(pc->texts(oneOffs), QStringList{serverOneOff}, 15000);
            QCOMPARE(pc->texts(notices),
                     QStringList{one(QStringLiteral("SELECT anons_id FROM anons"))});
            QCOMPARE(pc->musicBytes(QStringLiteral("tek.mp3")), tune);
            QCOMPARE(pc->musicBytes(QStringLiteral("Anonslar/duyuru.wav")), speech);
        }
        QCOMPARE(one(QStringLiteral("SELECT sha256 || ' ' || boyut FROM muzik WHERE ad = "
                                    "'tek.mp3'")),
                 QString::fromLatin1(
                     QCryptographicHash::hash(tune, QCryptographicHash::Sha256).toHex()) +
                     QStringLiteral(" 307200"));
        const QStringList kept = QDir(c.music()).entryList({QStringLiteral("tek.mp3.yerel-*")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(c.musicBytes(kept.first()), own);
        QVERIFY(!QFileInfo(c.music() + QStringLiteral("Anonslar/duyuru.wav")).isSymLink());
        QCOMPARE(QDir(c.music() + QStringLiteral("Anonslar"))
                     .entryList({QStringLiteral("duyuru.wav.yerel-*")}, QDir::Files | QDir::System)
                     .size(),
                 1);
        {
            QFile f(outside);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("dokunulmaz"));
        }
        // Each kept file told once.
        QCOMPARE(c.problems.size(), 2);
        QVERIFY2(c.problems.join('\n').contains(kept.first()), qPrintable(c.problems.join('\n')));

        for (Computer *pc : {&b, &c}) {
            ringThrough(*pc, QTime(9, 59, 58), QTime(10, 0, 1));
            ringThrough(*pc, QTime(10, 29, 58), QTime(10, 30, 1));
            QCOMPARE(pc->played(),
                     (QStringList{QStringLiteral("duyuru.wav"), QStringLiteral("tek.mp3")}));
        }

        // An unrelated change, and a restart: the files are not fetched again, and the one-off
        // bell keeps its id, so having rung today it does not ring again.
        const auto before = b.fileIdentity(QStringLiteral("tek.mp3"));
        const auto speechBefore = b.fileIdentity(QStringLiteral("Anonslar/duyuru.wav"));
        QVERIFY(before.first != 0);
        const Bell later = bellOf(QStringLiteral("Son ders"), QStringLiteral("15:00:00"),
                                  QStringLiteral("sessiz.mp3"));
        a.putMusic(later.music, {}); // empty, yet a file like any other
        a.store.add({later});
        QTRY_VERIFY_WITH_TIMEOUT(b.bellNames().contains(QStringLiteral("Son ders")), 15000);
        QVERIFY(QFileInfo(b.music() + later.music).isFile());
        b.shared.reset();
        b.makeLink(60000);
        b.join();
        QTRY_COMPARE_WITH_TIMEOUT(b.shared->appliedVersion(), serverVersion(), 15000);
        QCOMPARE(b.fileIdentity(QStringLiteral("tek.mp3")), before);
        QCOMPARE(b.fileIdentity(QStringLiteral("Anonslar/duyuru.wav")), speechBefore);
        QCOMPARE(b.texts(oneOffs), QStringList{serverOneOff});
        QVERIFY(b.store.rungOn(Monday).contains(Bell::oneOffId(serverOneOff.toInt())));
        // The copies the server's rows were written to read back as those rows: none is taken
        // for an edit and sent again.
        const qint64 settled = serverVersion();
        QTest::qWait(1000);
        QCOMPARE(serverVersion(), settled);

        // The school's owner adds an announcement for each building, for that building only.
        QVERIFY2(server->runSql(
                     QStringLiteral("INSERT INTO anons (okul_id, bina_id, ad, dosya, tarih, saat) "
                                    "VALUES (1, 2, 'Lise anonsu', 'Anonslar/duyuru.wav', "
                                    "'2026-12-07', '11:00:00'), (1, 1, 'Ortaokul anonsu', "
                                    "'Anonslar/duyuru.wav', '2026-12-07', '11:00:00')"),
                     Database),
                 qPrintable(server->why()));
        const QString names = QStringLiteral("SELECT Ad FROM Anonslar ORDER BY Ad");
        QTRY_COMPARE_WITH_TIMEOUT(
            b.texts(names),
            (QStringList{QStringLiteral("Lise anonsu"), QStringLiteral("Veli toplantısı")}), 15000);
        const QStringList ortaokul{QStringLiteral("Ortaokul anonsu"),
                                   QStringLiteral("Veli toplantısı")};
        for (Computer *pc : {&a, &c})
            QTRY_COMPARE_WITH_TIMEOUT(pc->texts(names), ortaokul, 15000);
        // A manager's next edit sends the building's announcement back as the building's.
        a.store.add({bellOf(QStringLiteral("Etüt"), QStringLiteral("16:00:00"),
                            QStringLiteral("tek.mp3"))});
        QTRY_VERIFY_WITH_TIMEOUT(b.bellNames().contains(QStringLiteral("Etüt")), 15000);
        QCOMPARE(one(QStringLiteral("SELECT bina_id FROM anons WHERE ad = 'Ortaokul anonsu'")),
                 QStringLiteral("1"));
        QCOMPARE(b.texts(names),
                 (QStringList{QStringLiteral("Lise anonsu"), QStringLiteral("Veli toplantısı")}));
        QTRY_COMPARE_WITH_TIMEOUT(c.texts(names), ortaokul, 15000);
        for (Computer *pc : {&a, &b})
            QVERIFY2(pc->problems.isEmpty(), qPrintable(pc->problems.join('\n')));
        // The next edit is made on the school's version, not on one the manager's copy has not
        // taken yet (that would be refused as another computer's change).
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);

        // A file over the limit does not go up, nor does the edit that names it: the manager is
        // told and the copy shows the school's schedule again.
        QFile big(a.music() + QStringLiteral("buyuk.mp3"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(SharedMusic::MaxBytes + 1));
        big.close();
        const Bell huge = bellOf(QStringLiteral("Büyük dosya"), QStringLiteral("16:00:00"),
                                 QStringLiteral("buyuk.mp3"));
        a.store.add({huge});
        QTRY_COMPARE_WITH_TIMEOUT(a.problems.size(), 1, 15000);
        QVERIFY2(a.problems.first().contains(QStringLiteral("en çok 64 MB")),
                 qPrintable(a.problems.first()));
        QTRY_VERIFY_WITH_TIMEOUT(!a.bellNames().contains(huge.name), 15000);
        QCOMPARE(one(QStringLiteral("SELECT count(*) FROM zil WHERE muzik = 'buyuk.mp3'")),
                 QStringLiteral("0"));
        QCOMPARE(one(QStringLiteral("SELECT count(*) FROM muzik WHERE ad = 'buyuk.mp3'")),
                 QStringLiteral("0"));
    }

    // A server whose music rows name places outside Muzikler (its check dropped, as a hostile
    // or broken server might): the computer takes the schedule, writes none of those files, and
    // says so.
    void musicNamesStayInsideMuzikler() {
        {
            // The server refuses such a name from a manager as long as its check is there.
            QSqlDatabase a = loginAs(QStringLiteral("pc_a"));
            QVERIFY2(a.open(), qPrintable(a.lastError().text()));
            QSqlQuery q(a);
            QVERIFY(!q.exec(QStringLiteral(
                "INSERT INTO muzik (okul_id, ad, sha256, boyut, icerik) VALUES (1, '../x.mp3', "
                "encode(sha256('x'), 'hex'), 1, 'x')")));
            QVERIFY2(q.lastError().text().contains(QStringLiteral("muzik_ad_icerde")),
                     qPrintable(q.lastError().text()));
            a.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pc_a"));

        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        const QStringList hostile = {
            QStringLiteral("../disari.mp3"), QStringLiteral("Anonslar/../../disari2.mp3"),
            elsewhere.path() + QStringLiteral("/mutlak.mp3"), QStringLiteral("..\\ters.mp3")};
        QString sql = QStringLiteral("ALTER TABLE muzik DROP CONSTRAINT muzik_ad_icerde;");
        for (const QString &name : hostile)
            sql += QStringLiteral("INSERT INTO muzik (okul_id, ad, sha256, boyut, icerik) VALUES "
                                  "(1, '%1', encode(sha256('kotu'), 'hex'), 4, 'kotu');"
                                  "INSERT INTO tek_seferlik (okul_id, tarih, ders_saati, baslama, "
                                  "muzik, sure) VALUES (1, '2026-12-07', 'Kötü', '13:00:00', "
                                  "'%1', 5);")
                       .arg(name);
        QVERIFY2(server->runSql(sql, Database), qPrintable(server->why()));

        Computer b(*server, QStringLiteral("pc_b"), 300);
        b.join();
        QTRY_COMPARE_WITH_TIMEOUT(b.shared->appliedVersion(), serverVersion(), 15000);
        QStringList rows = b.texts(QStringLiteral("SELECT Muzik FROM TekSeferlik WHERE "
                                                  "DersSaati = 'Kötü'"));
        rows.sort();
        QStringList expected = hostile;
        expected.sort();
        QCOMPARE(rows, expected);
        // Nothing beside the schedule in the program folder, nothing in the other folder.
        QCOMPARE(QDir(b.fx.folder()).entryList(QDir::Files | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("database.mdb")});
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{});
        // A manager's bell naming a link that leads out of Muzikler: the bell goes up, what the
        // link leads to does not.
        Computer a(*server, QStringLiteral("pc_a"), 300);
        QFile secret(elsewhere.path() + QStringLiteral("/gizli"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("gizli") == 5);
        secret.close();
        QVERIFY(QDir().mkpath(a.music()));
        QVERIFY(QFile::link(secret.fileName(), a.music() + QStringLiteral("gizli.mp3")));
        a.join();
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);
        a.store.add({bellOf(QStringLiteral("Bağlantı"), QStringLiteral("14:00:00"),
                            QStringLiteral("gizli.mp3"))});
        QTRY_VERIFY_WITH_TIMEOUT(b.bellNames().contains(QStringLiteral("Bağlantı")), 15000);
        QCOMPARE(one(QStringLiteral("SELECT count(*) FROM muzik WHERE ad = 'gizli.mp3'")),
                 QStringLiteral("0"));
        // Each refused name told once, not again at the change that followed.
        for (const QString &name : hostile)
            QVERIFY2(std::count_if(b.problems.begin(), b.problems.end(),
                                   [&](const QString &m) {
                                       return m.contains(name) &&
                                              m.contains(QStringLiteral("dışını"));
                                   }) == 1,
                     qPrintable(name + QStringLiteral(": ") + b.problems.join('\n')));
        QCOMPARE(b.problems.size(), hostile.size());
        QVERIFY2(server->runSql(QStringLiteral("DELETE FROM zil WHERE ders_saati = 'Bağlantı';"),
                                Database),
                 qPrintable(server->why()));
        QVERIFY2(server->runSql(QStringLiteral("DELETE FROM tek_seferlik WHERE ders_saati = "
                                               "'Kötü'; DELETE FROM muzik WHERE sha256 = "
                                               "encode(sha256('kotu'), 'hex');"),
                                Database),
                 qPrintable(server->why()));
    }

    // A flood of notices costs a computer at most a look a second: another school's (any role may
    // NOTIFY) reads nothing, its own school's many changes are read a few times, not each.
    void noticeFloodIsCoalesced() {
        QVERIFY(server->runSql(QStringLiteral("SELECT zil_bilgisayar_ekle('pc_f', 'pc_f-parola', "
                                              "1, 2); ALTER ROLE pc_f SET log_statement = 'all'"),
                               Database));
        Computer f(*server, QStringLiteral("pc_f"), 60000);
        f.join();
        QTRY_COMPARE_WITH_TIMEOUT(f.shared->appliedVersion(), serverVersion(), 15000);
        const QByteArray pid =
            '[' + one("SELECT pid FROM pg_stat_activity WHERE usename = 'pc_f'").toUtf8() + ']';
        QFile log(server->folder() + QStringLiteral("/server.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const auto logged = [&](const char *what) {
            int n = 0;
            for (const QByteArray &line : log.readAll().split('\n'))
                n += line.contains(pid) && line.contains(what);
            log.seek(0);
            return n;
        };
        const int looks = logged("FROM surum"), reads = logged("FROM program");
        QVERIFY(server->runSql(QStringLiteral("SET ROLE pc_x;") +
                                   QStringLiteral("NOTIFY zil_degisti, '1';").repeated(300),
                               Database));
        QTest::qWait(1500); // nothing to wait for: whatever the notices cause, happens now
        qInfo("300 notices: %d looks, %d reads", logged("FROM surum") - looks,
              logged("FROM program") - reads);
        QVERIFY(logged("FROM surum") - looks <= 3);
        QCOMPARE(logged("FROM program"), reads);
        QVERIFY(server->runSql(QStringLiteral("UPDATE takvim_ayar SET deger = deger WHERE okul_id "
                                              "= 1; SELECT pg_sleep(0.05);")
                                   .repeated(20),
                               Database));
        QTRY_COMPARE_WITH_TIMEOUT(f.shared->appliedVersion(), serverVersion(), 15000);
        qInfo("20 changes in 1 s: %d reads", logged("FROM program") - reads);
        QVERIFY(logged("FROM program") - reads <= 4);
    }

    // The server refuses pg_notify from a computer's role, a file over 64 MB, a row for another
    // school's building, the program's own sounds; it cuts a long record line. Should a server
    // hold a program sound all the same, no computer writes it, and no manager sends one.
    void serverRefusesWhatNoComputerNeeds() {
        const QString siren = ProgramSounds::folderName() + QStringLiteral("/Kesik siren.wav");
        QVERIFY(!SharedMusic::shareable(siren));
        const QStringList refused = {
            "pc_x|SELECT pg_notify('zil_degisti', '1')",
            "pc_a|INSERT INTO zil (okul_id, bina_id, gun_id) VALUES (1, 3, 0)",
            "pc_a|INSERT INTO tek_seferlik (okul_id, bina_id, tarih) VALUES (1, 3, '2026-12-07')",
            "pc_a|INSERT INTO muzik VALUES (1, '" + siren + "', repeat('0', 64), 1, 'x')",
            QStringLiteral("pc_a|INSERT INTO muzik SELECT 1, 'b.mp3', repeat('0', 64), "
                           "octet_length(b), b FROM (SELECT decode(repeat('00', %1), 'hex') b) s")
                .arg(SharedMusic::MaxBytes + 1)};
        for (const QString &attempt : refused) {
            const QString user = attempt.section('|', 0, 0);
            {
                QSqlDatabase db = loginAs(user);
                QSqlQuery q(db);
                QVERIFY(db.open() && !q.exec(attempt.section('|', 1)));
                qInfo("%s: %s", qPrintable(user), qPrintable(q.lastError().text()));
                QVERIFY(q.exec("INSERT INTO zil_kaydi (kayit_no, okul_id, tarih, sonuc, zaman, "
                               "aciklama) VALUES (7, zil_okulum(), '2026-12-07', 'caldi', 'z', "
                               "repeat('x', 100000)) ON CONFLICT DO NOTHING"));
            }
            QSqlDatabase::removeDatabase(user);
        }
        QCOMPARE(one("SELECT max(char_length(aciklama)) FROM zil_kaydi"), QStringLiteral("2000"));

        QVERIFY(
            server->runSql("ALTER TABLE muzik DROP CONSTRAINT muzik_programin_sesleri_degil; "
                           "INSERT INTO muzik VALUES (1, '" +
                               siren +
                               "', encode(sha256('kotu'), 'hex'), 4, 'kotu'); INSERT INTO "
                               "tek_seferlik (okul_id, tarih, muzik) VALUES (1, '2026-12-07', '" +
                               siren + "')",
                           Database));
        Computer a(*server, QStringLiteral("pc_a"), 300), b(*server, QStringLiteral("pc_b"), 300);
        a.putMusic(siren, "yonetici");
        b.putMusic(siren, "yerel");
        a.join();
        b.join();
        QTRY_COMPARE_WITH_TIMEOUT(b.shared->appliedVersion(), serverVersion(), 15000);
        QCOMPARE(b.musicBytes(siren), QByteArray("yerel"));
        QCOMPARE(QDir(b.music() + ProgramSounds::folderName()).entryList(QDir::Files).size(), 1);
        QVERIFY2(b.problems.join('\n').contains(siren), qPrintable(b.problems.join('\n')));
        // Run again on a server in use, the schema puts its rule back and drops the row.
        QVERIFY2(server->runFile(":/ortak.sql", Database), qPrintable(server->why()));
        QCOMPARE(one("SELECT count(*) FROM muzik WHERE ad = '" + siren + "'"), QStringLiteral("0"));
        QTRY_COMPARE_WITH_TIMEOUT(a.shared->appliedVersion(), serverVersion(), 15000);
        a.store.add({bellOf(QStringLiteral("Siren"), QStringLiteral("11:00:00"), siren)});
        QTRY_VERIFY_WITH_TIMEOUT(b.bellNames().contains(QStringLiteral("Siren")), 15000);
    }

    // The password is kept apart, closed to the folder's group, and only for the server it was
    // saved for; one an earlier version kept in ortak.json is moved out at the next read.
    void passwordKeptApart() {
        ScheduleFixture fx;
        SharedSettings s{true, fx.folder(), 5432, Database, {}, {}, "pc_b", "gizli", {}};
        SharedSettings::write(fx.folder(), s, QStringLiteral("nobody"));
        const QString secret = SharedSettings::secretFile(fx.folder());
        QCOMPARE(SharedSettings::read(fx.folder()).password, QStringLiteral("gizli"));
        // Its access list: a named user (2) reads (4), and it is 65534.
        char acl[64];
        QCOMPARE(::getxattr(qPrintable(secret), "system.posix_acl_access", acl, sizeof acl), 44);
        QCOMPARE(QByteArray(acl + 12, 8), QByteArray::fromHex("02000400feff0000"));
        SharedSettings::write(fx.folder(), s); // no such service user here: the saver's alone
        QCOMPARE(QFile::permissions(secret), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadUser | QFileDevice::WriteUser);
        QFile json(SharedSettings::file(fx.folder()));
        QVERIFY(json.open(QIODevice::ReadWrite) && !json.readAll().contains("gizli"));
        // ortak.json pointed at another server: nothing to send there.
        QVERIFY(json.resize(0) && json.write(R"({"sunucu": "/baska", "kullanici": "pc_b"})"));
        json.flush();
        QCOMPARE(SharedSettings::read(fx.folder()).password, QString());
        QVERIFY(json.resize(0) && json.write(R"({"sunucu": "/", "parola": "eski"})"));
        json.close();
        QCOMPARE(SharedSettings::read(fx.folder()).password, QStringLiteral("eski"));
        QVERIFY(json.open(QIODevice::ReadOnly) && !json.readAll().contains("eski"));
        QCOMPARE(SharedSettings::read(fx.folder()).password, QStringLiteral("eski"));
    }

    // Over the network the server must prove its name with a certificate the school's CA
    // signed: with that CA the computer joins over TLS; with another it is refused and told.
    void tlsChecksTheServerName() {
        PgServer tls;
        QTemporaryDir keys;
        QVERIFY(keys.isValid());
        const QString dir = keys.path() + QLatin1Char('/');
        auto openssl = [&](const QStringList &arguments) {
            QProcess p;
            p.setWorkingDirectory(dir);
            p.start(QStringLiteral("openssl"), arguments);
            return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit &&
                   p.exitCode() == 0;
        };
        const QStringList ec = {
            QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        for (const QString &ca : {QStringLiteral("ca"), QStringLiteral("baska-ca")})
            QVERIFY(openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
                            QStringList{QStringLiteral("-keyout"), ca + QStringLiteral(".key"),
                                        QStringLiteral("-out"), ca + QStringLiteral(".crt"),
                                        QStringLiteral("-days"), QStringLiteral("2"),
                                        QStringLiteral("-subj"), QStringLiteral("/CN=") + ca}));
        QVERIFY(openssl(QStringList{QStringLiteral("req")} + ec +
                        QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"),
                                    QStringLiteral("-out"), QStringLiteral("server.csr"),
                                    QStringLiteral("-subj"), QStringLiteral("/CN=localhost")}));
        QFile ext(dir + QStringLiteral("ext"));
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=DNS:localhost\n");
        ext.close();
        QVERIFY(openssl(
            {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
             QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.crt"),
             QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
             QStringLiteral("-out"), QStringLiteral("server.crt"), QStringLiteral("-days"),
             QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("ext")}));
        // The server reads its key and certificate from its own folder, as its own user.
        for (const char *name : {"server.key", "server.crt"}) {
            const QString to = tls.folder() + QLatin1Char('/') + QLatin1String(name);
            QVERIFY(QFile::copy(dir + QLatin1String(name), to));
            QVERIFY(QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            tls.giveToServer(to);
        }
        tls.addConfig(QStringLiteral("ssl = on\nssl_cert_file = '%1/server.crt'\n"
                                     "ssl_key_file = '%1/server.key'")
                          .arg(tls.folder()));
        QVERIFY2(tls.start(), qPrintable(tls.why()));
        QVERIFY2(tls.runSql(QStringLiteral("CREATE DATABASE zil")), qPrintable(tls.why()));
        QVERIFY2(tls.runFile(QStringLiteral(":/ortak.sql"), Database), qPrintable(tls.why()));
        QVERIFY2(tls.runSql(QStringLiteral(
                                "INSERT INTO okul (ad) VALUES ('Selvanor Okulları');"
                                "SELECT zil_bilgisayar_ekle('pc_a', 'pc_a-parola', 1, NULL);"
                                "INSERT INTO zil (okul_id, gun_id, ders_saati, baslama, muzik, "
                                "sure) VALUES (1, 0, 'Şifreli Ders', '08:30:00', 'ders.mp3', 5);"),
                            Database),
                 qPrintable(tls.why()));

        Computer wrong(tls, QStringLiteral("pc_a"), 300);
        wrong.settings.host = QStringLiteral("localhost");
        wrong.settings.caFile = dir + QStringLiteral("baska-ca.crt");
        wrong.join();
        QTRY_COMPARE_WITH_TIMEOUT(wrong.problems.size(), 1, 15000);
        qInfo("with another CA: %s", qPrintable(wrong.problems.first()));
        QVERIFY(wrong.problems.first().contains(QStringLiteral("ulaşılamıyor")));
        QVERIFY(wrong.problems.first().contains(QStringLiteral("certificate")));
        QVERIFY(wrong.bellNames().isEmpty());

        Computer right(tls, QStringLiteral("pc_a"), 300);
        right.settings.host = QStringLiteral("localhost");
        right.settings.caFile = dir + QStringLiteral("ca.crt");
        right.join();
        QTRY_COMPARE_WITH_TIMEOUT(right.bellNames(), QStringList{QStringLiteral("Şifreli Ders")},
                                  15000);
        QVERIFY2(right.problems.isEmpty(), qPrintable(right.problems.join('\n')));
        QCOMPARE(tls.rows(QStringLiteral("SELECT s.ssl FROM pg_stat_ssl s JOIN pg_stat_activity a "
                                         "USING (pid) WHERE a.usename = 'pc_a'"),
                          Database),
                 QStringList{QStringLiteral("t")});
        wrong.shared->stop();
        right.shared->stop();
    }
};

QTEST_GUILESS_MAIN(TestSharedSchedule)
#include "tst_sharedschedule.moc"
