// The background service as it runs: the real program started with --servis, without a display,
// on a temporary program folder, rings a bell due a few seconds later and writes it in the
// record; a window opened beside it (in this process) only shows the schedule; a second service is
// told the first one rings; SIGTERM ends the service cleanly, and the window then rings in its
// place. A service waiting for a window that is killed outright rings the next bell.
#include "FakeMediaLayer.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "Startup.h"
#include "TestMedia.h"
#include "ZilApplication.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {
// The real program beside the fixture's schedule, with music for its bells.
QString programIn(ScheduleFixture &fx) {
    const QString program = fx.folder() + QStringLiteral("zil");
    if (!QFile::copy(QStringLiteral(ZIL_PROGRAM), program) ||
        !QDir().mkpath(fx.folder() + "Muzikler") ||
        !makeMediaFile(toneSource(8000) + QStringLiteral("wavenc ! filesink location=\"%1\"")
                                              .arg(fx.folder() + "Muzikler/zil.wav")))
        return {};
    return program;
}

void startService(QProcess &service, const QString &program) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    // Every real output ranked out: autoaudiosink falls back to its fake sink on any machine.
    env.insert(QStringLiteral("GST_PLUGIN_FEATURE_RANK"),
               QStringLiteral("pulsesink:NONE,alsasink:NONE,pipewiresink:NONE,"
                              "jackaudiosink:NONE,osssink:NONE,oss4sink:NONE,openalsink:NONE"));
    service.setProcessEnvironment(env);
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(program, {QStringLiteral("--servis")});
}

QList<QVariantList> outcomes(ScheduleFixture &fx) {
    // The record's table comes with its first line.
    if (fx.rows(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name='ZilGecmisi'")).isEmpty())
        return {};
    return fx.rows(QStringLiteral("SELECT Sonuc FROM ZilGecmisi"));
}
} // namespace

class TestService : public QObject {
    Q_OBJECT
private slots:
    void ringsWithoutDisplayAndEndsOnSigterm() {
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        const QString program = programIn(fx);
        QVERIFY(!program.isEmpty());
        const QDateTime due = QDateTime::currentDateTime().addSecs(4);
        const QDateTime second = due.addSecs(3);
        fx.insert(GunIDOf(due.date()), QStringLiteral("Deneme"), StoredTimeForm(due.time()),
                  QStringLiteral("zil.wav"), 30);
        fx.insert(GunIDOf(second.date()), QStringLiteral("İkinci"), StoredTimeForm(second.time()),
                  QStringLiteral("zil.wav"), 30);

        QProcess service;
        startService(service, program);
        QVERIFY(service.waitForStarted());
        QString log;
        QTRY_VERIFY_WITH_TIMEOUT((log += service.readAll()).contains("zilleri çalıyor"), 5000);

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

        QTRY_COMPARE_WITH_TIMEOUT(outcomes(fx).size(), 1, 15000);
        QCOMPARE(outcomes(fx).first().first().toString(), QStringLiteral("caldi"));

        // A second service on the same folder is told that the first rings, and waits.
        QProcess secondService;
        startService(secondService, program);
        QString secondLog;
        QTRY_VERIFY((secondLog += secondService.readAll())
                        .contains("arka plandaki zil hizmeti zaten çalıyor"));
        secondService.terminate();
        QVERIFY(secondService.waitForFinished(10000));
        QCOMPARE(secondService.exitCode(), 0);

        // "Şimdi durdur" in the window stops the service's music.
        QVERIFY(!log.contains("Çalan müzik durduruldu."));
        window.tray().stopAction().trigger();
        QTRY_VERIFY((log += service.readAll()).contains("Çalan müzik durduruldu."));

        // SIGTERM while the second bell plays.
        QTRY_COMPARE_WITH_TIMEOUT(outcomes(fx).size(), 2, 10000);
        QCOMPARE(outcomes(fx).last().first().toString(), QStringLiteral("caldi"));
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

    void ringsOnceAKilledWindowIsGone() {
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        const QString program = programIn(fx);
        QVERIFY(!program.isEmpty());
        // The window's part in this: the folder's claim, held by this binary run again.
        QProcess window;
        window.start(QCoreApplication::applicationFilePath(), {"hold", fx.folder()});
        QVERIFY(window.waitForReadyRead(10000));
        const QDateTime due = QDateTime::currentDateTime().addSecs(5);
        fx.insert(GunIDOf(due.date()), QStringLiteral("Deneme"), StoredTimeForm(due.time()),
                  QStringLiteral("zil.wav"), 30);

        QProcess service;
        startService(service, program);
        QString log;
        QTRY_VERIFY((log += service.readAll()).contains("açık olan zil programı çalıyor"));
        ::kill(pid_t(window.processId()), SIGKILL);
        QVERIFY(window.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT((log += service.readAll()).contains("zilleri çalıyor"), 2000);
        QVERIFY2(QDateTime::currentDateTime() < due, "the bell came before the window died");
        QTRY_COMPARE_WITH_TIMEOUT(outcomes(fx).size(), 1, 10000);
        QCOMPARE(outcomes(fx).first().first().toString(), QStringLiteral("caldi"));
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
    }
};

int main(int argc, char **argv) {
    ZilApplication app(argc, argv);
    if (app.arguments().size() == 3 && app.arguments().at(1) == QLatin1String("hold")) {
        ::umask(022); // as most staff have it
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
