// The window program's place on the desktop: the tray icon, the start-at-login entry and Qt's
// own texts in Turkish.
#include "Autostart.h"
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "Translations.h"
#include "ZilApplication.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTranslator>
#include <QtTest>

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void trayAndStartAtLogin() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        const QTime later = QTime::currentTime().addSecs(3600);
        if (later < QTime::currentTime())
            QSKIP("no later bell fits in today");
        fx.insert(BugunGunID(), "Öğle Arası", StoredTimeForm(later), "ogle.mp3", 30);
        auto *layer = new FakeMediaLayer;
        Program program([] { return false; }, std::unique_ptr<MediaLayer>(layer));
        program.clock().Timer().stop();
        TfrmMenu &menu = program.menu();
        menu.showMinimized();
        // The clock follows the day without ringing: the tray draws what its tick reads.
        program.clock().setRinging(false);
        const auto tick = [&] {
            program.clock().TimerTimer();
            QCoreApplication::processEvents();
        };

        // Tooltip: the next bell, and a failed bell once the record has one.
        tick();
        const QString tip = program.tray().icon().toolTip();
        QVERIFY2(tip.contains(
                     QStringLiteral("Sıradaki zil: %1 Öğle Arası").arg(later.toString("HH:mm:ss"))),
                 qPrintable(tip));
        QVERIFY(!tip.contains("çalınamayan"));
        BellEvent failed{
            QDate::currentDate(), 1, "Sabah",     "08:30:00", "yok.mp3",
            BellOutcome::Failed,  0, "dosya yok", false,      QDateTime::currentDateTime()};
        program.store().record(failed);
        tick();
        QVERIFY(program.tray().icon().toolTip().contains("çalınamayan ya da kaçırılan"));

        // A bell silences the player bar's music; "Şimdi durdur" stops the bell and the music
        // played again beside it; "Göster" brings the window back.
        program.player().setFileName(fx.folder() + "Muzikler/zil.mp3");
        program.player().Open();
        program.player().Play();
        LayerBellPlayer &bell = program.bells().bellPlayer();
        QVERIFY(!bell.play(fx.folder() + "Muzikler/ogle.mp3", 30));
        QVERIFY(!program.player().IsOpen());
        QVERIFY(bell.playing());
        program.player().Open();
        program.player().Play();
        program.tray().stopAction().trigger();
        QVERIFY(!program.player().IsOpen());
        QVERIFY(!bell.playing());
        QVERIFY(layer->openDevices().isEmpty());
        QCOMPARE(layer->count("stop"), 3);
        program.tray().showAction().trigger();
        QVERIFY(!menu.isMinimized());

        // "Oturum açılınca başlat" writes the user's autostart entry and removes it again.
        QAction &autostart = program.autostartAction();
        const QString entry = Autostart::entryFile();
        QVERIFY(entry.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QVERIFY(!autostart.isChecked());
        autostart.trigger();
        QVERIFY(QFile::exists(entry));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(QStringLiteral("Exec=\"%1\" --kucultulmus\n")
                                            .arg(QCoreApplication::applicationFilePath())
                                            .toUtf8()));
        const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
        QVERIFY2(!validate.isEmpty(), "desktop-file-validate (desktop-file-utils) is missing");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validate, {entry});
        QVERIFY(check.waitForFinished());
        QCOMPARE(check.readAll(), QByteArray());
        QCOMPARE(check.exitCode(), 0);
        autostart.trigger();
        QVERIFY(!QFile::exists(entry));

        // A folder that cannot hold the entry: said so, and the setting stays off.
        QFile blocker(QFileInfo(entry).path());
        QVERIFY(QDir(QFileInfo(entry).path()).removeRecursively());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        {
            BoxAnswerer ok("OK");
            autostart.trigger();
            QCOMPARE(ok.texts.size(), 1);
            QVERIFY(ok.texts.first().startsWith("Oturum açılınca başlatma yazılamadı"));
        }
        QVERIFY(!autostart.isChecked());
        setProgramFolder({});
    }

    // The program rings from its own start, its window never shown, and the tray's "Bugün zil
    // çalmasın" reaches the clock: the next bell stays quiet and is recorded so.
    void programRingsUnshownAndTheTraySilencesTheRest() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        SimulatedClock clock;
        const QDate monday(2026, 12, 7);
        clock.at = QDateTime(monday, QTime(8, 29, 59, 500));
        setProgramClock(&clock);
        fx.insert(0, "Birinci Ders", "08:30:00", "zil.mp3", 5);
        fx.insert(0, "Teneffüs", "09:10:00", "zil.mp3", 5);
        auto *layer = new FakeMediaLayer;
        {
            Program program([] { return false; }, std::unique_ptr<MediaLayer>(layer));
            program.clock().Timer().stop();
            QVERIFY(!program.menu().isVisible());
            QCOMPARE(program.plan().next(clock.at.time())->bell.name,
                     QStringLiteral("Birinci Ders"));

            clock.at = QDateTime(monday, QTime(8, 30, 0, 2));
            program.clock().TimerTimer();
            QTRY_VERIFY(!program.store().history(monday, monday).isEmpty());
            QVERIFY2(layer->commands().filter("zil.mp3").size() == 1,
                     qPrintable(layer->commands().join(", ")));
            QCOMPARE(program.store().history(monday, monday).first().outcome, BellOutcome::Rang);

            {
                BoxAnswerer yes("Evet");
                program.silenceTodayAction().trigger();
                QCOMPARE(yes.texts.size(), 1);
            }
            layer->clearRequests();
            clock.at = QDateTime(monday, QTime(9, 10, 0, 2));
            program.clock().TimerTimer();
            QVERIFY2(layer->commands().filter("open").isEmpty(),
                     qPrintable(layer->commands().join(", ")));
            const BellEvent quiet = program.store().history(monday, monday).first();
            QCOMPARE(quiet.name, QStringLiteral("Teneffüs"));
            QCOMPARE(quiet.outcome, BellOutcome::Silenced);
        }
        setProgramClock(nullptr);
        setProgramFolder({});
    }

    void qtOwnTextsInTurkish() {
        QTranslator translator;
        QVERIFY2(loadQtTranslations(*QCoreApplication::instance(), translator,
                                    QLocale(QLocale::Turkish, QLocale::Turkey)),
                 "Qt's Turkish translations (qt6-translations-l10n) are missing");
        QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("İptal"));
        QCoreApplication::removeTranslator(&translator);
        QVERIFY(!loadQtTranslations(*QCoreApplication::instance(), translator,
                                    QLocale(QLocale::English, QLocale::UnitedStates)));
    }
};

int main(int argc, char **argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    ZilApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
