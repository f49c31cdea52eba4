// The background service as it runs: the real program started with --servis, without a display,
// on a temporary program folder, rings a bell due a few seconds later and writes it in the
// record, once a window's claim on the folder is killed outright; a window opened beside it (in
// this process) only shows the schedule; a second service is told the first one rings; SIGTERM ends
// the service cleanly, and the window then rings in its place.
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "PgServer.h"
#include "PhoneAccess.h"
#include "PhoneClient.h"
#include "PinTyper.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "PulseServer.h"
#include "Roles.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "ServiceProcess.h"
#include "SharedSchedule.h"
#include "Startup.h"
#include "TestMedia.h"
#include "ZilApplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

class TestService : public QObject {
    Q_OBJECT
    // The program's own sounds, made once: a new folder's service makes them before it claims
    // the folder, seconds under the sanitizers, which would eat the time these tests give it.
    QTemporaryDir m_sounds;
    QString soundsFolder() const {
        return m_sounds.path() + QStringLiteral("/Muzikler/") + ProgramSounds::folderName();
    }
    void giveProgramSounds(const QString &folder) const {
        const QString into = folder + QStringLiteral("Muzikler/") + ProgramSounds::folderName();
        QVERIFY(QDir().mkpath(into));
        for (const QString &name : QDir(soundsFolder()).entryList(QDir::Files))
            QVERIFY(QFile::copy(soundsFolder() + '/' + name, into + '/' + name));
    }

private slots:
    void initTestCase() {
        setProgramFolder(m_sounds.path() + '/');
        QVERIFY(QDir().mkpath(m_sounds.path() + QStringLiteral("/Muzikler")));
        QCOMPARE(ProgramSounds::ensureAll(), QString());
        setProgramFolder({});
        QVERIFY(!QDir(soundsFolder()).isEmpty());
    }

    void ringsWithoutDisplayAndEndsOnSigterm() {
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        const QString program = fx.folder() + QStringLiteral("zil");
        QVERIFY(QFile::copy(QStringLiteral(ZIL_PROGRAM), program));
        QVERIFY(QDir().mkpath(fx.folder() + "Muzikler"));
        QVERIFY(makeMediaFile(toneSource(8000) + QStringLiteral("wavenc ! filesink location=\"%1\"")
                                                     .arg(fx.folder() + "Muzikler/zil.wav")));
        giveProgramSounds(fx.folder());
        // Far enough ahead for a sanitizer build of the service to start on a busy machine.
        const QDateTime due = QDateTime::currentDateTime().addSecs(15);
        const QDateTime second = due.addSecs(3);
        fx.insert(GunIDOf(due.date()), QStringLiteral("Deneme"), StoredTimeForm(due.time()),
                  QStringLiteral("zil.wav"), 30);
        fx.insert(GunIDOf(second.date()), QStringLiteral("İkinci"), StoredTimeForm(second.time()),
                  QStringLiteral("zil.wav"), 30);

        // The window's part: the folder's claim, held by this binary run again.
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {"hold", fx.folder()});
        QVERIFY(holder.waitForReadyRead(10000));
        // The service plays into a sound server of the test's own, the one output it finds.
        PulseServer pulse;
        pulse.useInThisProcess();
        QString why;
        QVERIFY2(pulse.start(why), qPrintable(why));
        QProcess service;
        service.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(startAsService(service, program));
        QString log;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log += service.readAll()).contains("açık olan zil programı çalıyor"), 12000);
        ::kill(pid_t(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT((log += service.readAll()).contains("zilleri çalıyor"), 2000);
        QVERIFY(QDateTime::currentDateTime() < due);

        // A window opened now finds the service and only shows the bells.
        setProgramFolder(fx.folder());
        FolderClaim claim(fx.folder());
        QCOMPARE(takeFolder(claim), FolderRole::ServiceRings);
        auto *layer = new FakeMediaLayer;
        Program window([] { return false; }, std::unique_ptr<MediaLayer>(layer));
        window.setServiceRings(true);
        window.takeOverWhenFree(claim, 100);
        window.menu().show();
        QVERIFY(window.menu().findChild<QLabel *>("lblHizmet")->isVisible());
        QVERIFY(window.tray().icon().toolTip().contains("arka plandaki hizmet"));

        // The record's table comes with its first line.
        const auto outcomes = [&] {
            if (fx.rows(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name='ZilGecmisi'"))
                    .isEmpty())
                return QList<QVariantList>();
            return fx.rows(QStringLiteral("SELECT Sonuc FROM ZilGecmisi"));
        };
        QTRY_COMPARE_WITH_TIMEOUT(outcomes().size(), 1, 25000);
        QCOMPARE(outcomes().first().first().toString(), QStringLiteral("caldi"));

        // A second service on the folder is told that the first one rings, and waits.
        QProcess other;
        other.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(startAsService(other, program));
        QByteArray otherLog;
        QTRY_VERIFY((otherLog += other.readAll()).contains("arka plandaki zil hizmeti zaten"));
        other.terminate();
        QVERIFY(other.waitForFinished(10000));

        // "Şimdi durdur" in the window stops the service's music.
        QVERIFY(!log.contains("Çalan müzik durduruldu."));
        window.tray().stopAction().trigger();
        QTRY_VERIFY((log += service.readAll()).contains("): Müzik durduruldu."));

        // SIGTERM while the second bell plays.
        QTRY_COMPARE_WITH_TIMEOUT(outcomes().size(), 2, 10000);
        QCOMPARE(outcomes().last().first().toString(), QStringLiteral("caldi"));
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        log += service.readAll();
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        QCOMPARE(layer->count(QStringLiteral("open")), 0); // the window rang neither
        QVERIFY2(log.endsWith("Çalan müzik durduruldu.\nZil hizmeti durduruldu.\n"),
                 qPrintable(log));
        QVERIFY(!QFile::exists(fx.folder() + "zil.soket"));
        QCOMPARE(fx.rows(QStringLiteral("PRAGMA integrity_check")).first().first().toString(),
                 QStringLiteral("ok"));
        QCOMPARE(fx.count(), 2);

        // The folder came free: the window rings in its place.
        QTRY_VERIFY(window.clock().ringing());
        QVERIFY(!window.menu().findChild<QLabel *>("lblHizmet")->isVisible());
        setProgramFolder({});
    }

    // A staff member holding the folder's lock file with flock(1) is no copy of the program:
    // the service is not held back by it, and does not blame a window that does not exist.
    void aLockHeldByAnotherProcessDoesNotSilenceTheService() {
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        const QString program = fx.folder() + QStringLiteral("zil");
        QVERIFY(QFile::copy(QStringLiteral(ZIL_PROGRAM), program));
        giveProgramSounds(fx.folder());
        QProcess holder;
        holder.start(QStringLiteral("flock"), {fx.folder() + "zil.kilit", "sleep", "60"});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(!FolderClaim(fx.folder()).claim());
        QProcess service;
        service.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(startAsService(service, program));
        QString log;
        QTRY_VERIFY_WITH_TIMEOUT((log += service.readAll()).contains("zilleri çalıyor"), 15000);
        QVERIFY(log.contains("zil çalmayan bir süreç"));
        QVERIFY(!log.contains("açık olan zil programı"));
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        holder.kill();
        holder.waitForFinished();
    }

    // With nobody logged in, the network service beside the ringing one serves the phone page;
    // a phone's PIN and command go to the ringing service, which logs them with the phone's
    // address and the role its gate gave.
    void serviceServesThePhonePage() {
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        const QString program = fx.folder() + QStringLiteral("zil");
        QVERIFY(QFile::copy(QStringLiteral(ZIL_PROGRAM), program));
        giveProgramSounds(fx.folder());
        setProgramFolder(fx.folder());
        Roles(rolesFile()).setPin(Role::Manager, QStringLiteral("123456"));
        const quint16 port = freeLoopbackPort();
        PhoneAccess::writeSettings(fx.folder(), {true, port, false, QStringLiteral("127.0.0.1")});
        QProcess service;
        service.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(startAsService(service, program));
        QProcess network;
        network.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(startAsService(network, program, QStringLiteral("--ag")));
        QString log, networkLog;
        QTRY_VERIFY_WITH_TIMEOUT((networkLog += network.readAll()).contains("Telefon sayfası açık"),
                                 10000);
        QCOMPARE(phoneAsk(port, "GET", "/durum").status, 200);
        const PhoneAnswer login = phoneAsk(port, "POST", "/giris", "{\"pin\":\"123456\"}",
                                           {"Content-Type: application/json"});
        QCOMPARE(login.status, 200);
        const QByteArray token =
            QJsonDocument::fromJson(login.body).object().value("anahtar").toString().toLatin1();
        const PhoneAnswer stop =
            phoneAsk(port, "POST", "/islem", "{\"islem\":\"durdur\"}",
                     {"Content-Type: application/json",
                      "Cookie: " + login.header("Set-Cookie").split(';').first(),
                      "X-Zil-Anahtar: " + token});
        QCOMPARE(stop.status, 202);
        QTRY_VERIFY((log += service.readAll())
                        .contains("Telefondan işlem (Yönetici, 127.0.0.1): Durdurulacak müzik "
                                  "yoktu."));
        QVERIFY(log.contains("Soketten giriş (127.0.0.1): giris, Yönetici"));
        // A window that shows the service's bells asks the PIN for "Şimdi durdur" at the
        // service's gate, and its stop carries the session the gate opened there.
        {
            FolderClaim claim(fx.folder());
            QCOMPARE(takeFolder(claim), FolderRole::ServiceRings);
            Program window([] { return false; }, std::make_unique<FakeMediaLayer>());
            window.setServiceRings(true);
            window.takeOverWhenFree(claim, 100);
            PinTyper manager({QStringLiteral("123456")});
            BoxAnswerer boxes;
            window.tray().stopAction().trigger();
            QCOMPARE(window.menu().gate().role(), Role::Manager);
            QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
            QTRY_VERIFY((log += service.readAll())
                            .contains(QRegularExpression(
                                QStringLiteral("Soketten işlem \\(Yönetici, kullanıcı [^,)]+\\): "
                                               "Durdurulacak müzik yoktu"))));
            QVERIFY(log.contains("Soketten giriş ("));
        }
        // A staff member's alarm with no PIN behind it meets the same gate, and is refused.
        QVERIFY(!FolderClaim(fx.folder()).askRunningTo("alarm", 0));
        QTRY_VERIFY((log += service.readAll()).contains("Bu işlem için yetki gerekiyor"));
        QVERIFY(!log.contains("Acil durum alarmı çalıyor"));

        // The school's shared schedule reaches the copy the service rings through the network
        // service's link.
        PgServer server;
        QVERIFY2(server.start() && server.runSql(QStringLiteral("CREATE DATABASE zil")) &&
                     server.runFile(QStringLiteral(":/ortak.sql"), QStringLiteral("zil")) &&
                     server.runSql(QStringLiteral(R"(
                         INSERT INTO okul (ad) VALUES ('Selvanor Okulları');
                         INSERT INTO bina (okul_id, ad) VALUES (1, 'Lise');
                         SELECT zil_bilgisayar_ekle('lise_pc', 'uzun-parola', 1, 1, false);)"),
                                   QStringLiteral("zil")),
                 qPrintable(server.why()));
        SharedSettings shared;
        shared.on = true;
        shared.host = server.socketFolder();
        shared.port = server.port();
        shared.database = QStringLiteral("zil");
        shared.user = QStringLiteral("lise_pc");
        shared.password = QStringLiteral("uzun-parola");
        SharedSettings::write(fx.folder(), shared);
        const auto named = [&](const QString &name) {
            return fx
                .rows(
                    QStringLiteral("SELECT count(*) FROM Dersler WHERE DersSaati = '%1'").arg(name))
                .value(0)
                .value(0)
                .toInt();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!SharedSchedule::savedStatus(fx.folder()).isEmpty(), 15000);
        QVERIFY(server.runSql(QStringLiteral("INSERT INTO zil (okul_id, gun_id, ders_saati, "
                                             "baslama, muzik, sure) VALUES (1, 2, 'Ortak ders', "
                                             "'10:00:00', 'zil.wav', 5)"),
                              QStringLiteral("zil")));
        QElapsedTimer edit;
        edit.start();
        QTRY_COMPARE_WITH_TIMEOUT(named(QStringLiteral("Ortak ders")), 1, 15000);
        qInfo("the school's edit was in the copy %lld ms after the server's commit",
              edit.elapsed());
        network.terminate();
        QVERIFY(network.waitForFinished(10000));
        QCOMPARE(network.exitCode(), 0);
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(service.exitCode(), 0);
        setProgramFolder({});
    }
};

int main(int argc, char **argv) {
    ZilApplication app(argc, argv);
    if (app.arguments().size() == 3) { // "hold FOLDER", as staff with umask 022 would
        ::umask(022);
        FolderClaim claim(app.arguments().at(2));
        if (!claim.claim())
            return 2;
        printf("held\n");
        fflush(stdout);
        return app.exec();
    }
    TestService test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_service.moc"
