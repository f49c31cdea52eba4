// "Ses ayarları…" in the whole windowed program: the manager's alone; what it saves is how loud
// and where the next bell plays; an output that has gone plays the bell through the default one,
// said once in a box and written beside the bell in the record.

#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "PinDialog.h"
#include "ProgramValues.h"
#include "PulseServer.h"
#include "RoleGate.h"
#include "ScheduleFixture.h"
#include "SesAyarlari.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "TestMedia.h"
#include "ZilApplication.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {
const QDate Pazartesi(2026, 12, 7);
const QString ManagerPin = QStringLiteral("13572468");

// Answers the next PIN dialog with `pin`, or "Vazgeç" when none is given.
void answerPin(const QString &pin) {
    QTimer::singleShot(50, [pin] {
        auto *dialog = qobject_cast<PinDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (pin.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->pinField().setText(pin);
        QTest::mouseClick(&dialog->okButton(), Qt::LeftButton);
    });
}
} // namespace

class TestSoundWindow : public QObject {
    Q_OBJECT
private slots:
    void savedLevelsAndOutputsRingTheNextBell() {
        // The outputs listed are those of a sound server of the test's own.
        PulseServer pulse;
        pulse.useInThisProcess();
        QString why;
        QVERIFY2(pulse.start(why), qPrintable(why));
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        setAudioSinkDescription(QStringLiteral("fakesink sync=true"));
        SimulatedClock clock;
        clock.at = QDateTime(Pazartesi, QTime(8, 0));
        setProgramClock(&clock);
        const auto restore = qScopeGuard([] {
            setProgramClock(nullptr);
            setAudioSinkDescription({});
            setProgramFolder({});
        });
        QVERIFY(QDir().mkpath(fx.folder() + "Muzikler"));
        QVERIFY(makeMediaFile(toneSource(500) + QStringLiteral("wavenc ! filesink location=\"%1\"")
                                                    .arg(fx.folder() + "Muzikler/zil.wav")));
        fx.insert(0, "Birinci Ders", "08:30:00", "zil.wav", 5);
        fx.insert(0, "Teneffüs", "09:10:00", "zil.wav", 5);
        Roles(rolesFile()).setPin(Role::Manager, ManagerPin);
        auto *layer = new FakeMediaLayer;
        Program program([] { return false; }, std::unique_ptr<MediaLayer>(layer));
        program.clock().Timer().stop();
        TfrmMenu &menu = program.menu();
        const auto window = [&menu] { return menu.findChild<TfrmSesAyarlari *>(); };

        // Without the manager's PIN the window does not open.
        answerPin({});
        program.soundSettingsAction().trigger();
        QVERIFY(!window());
        answerPin(ManagerPin);
        program.soundSettingsAction().trigger();
        QVERIFY(window());
        QTRY_VERIFY(window()->outputsListed());
        auto *zilCikis = window()->findChild<QComboBox *>(QStringLiteral("cmbCikisZil"));
        QCOMPARE(zilCikis->itemText(0), QStringLiteral("Varsayılan çıkış"));
        const int koridor = zilCikis->findText(QStringLiteral("Koridor"));
        QVERIFY(koridor > 0);
        zilCikis->setCurrentIndex(koridor);
        window()->findChild<QSpinBox *>(QStringLiteral("spnAna"))->setValue(80);
        window()->findChild<QSpinBox *>(QStringLiteral("spnZil"))->setValue(50);
        window()->findChild<QSpinBox *>(QStringLiteral("spnTavan"))->setValue(30);
        const QString effective = window()->findChild<QLabel *>(QStringLiteral("lblEtkin"))->text();
        QVERIFY2(effective.contains(QStringLiteral("zil %30, anons %30")), qPrintable(effective));
        QTest::mouseClick(window()->findChild<QPushButton *>(QStringLiteral("btnKaydet")),
                          Qt::LeftButton);
        QTRY_VERIFY(!window());

        // The next bell: through "ikinci" at 30 %, asked before it plays.
        clock.at = QDateTime(Pazartesi, QTime(8, 30, 0, 5));
        program.clock().TimerTimer();
        const QList<FakeMediaLayer::Request> asked = layer->requests();
        const auto open = std::find_if(asked.rbegin(), asked.rend(),
                                       [](const auto &r) { return r.name == "open"; });
        QVERIFY(open != asked.rend());
        QCOMPARE(open->output, QStringLiteral("ikinci"));
        const auto volume = std::find_if(asked.rbegin(), asked.rend(),
                                         [](const auto &r) { return r.name == "volume"; });
        QVERIFY(volume != asked.rend() && volume < open);
        QCOMPARE(volume->argument, 300);

        // Gone: the bell still plays, through the default output; the box says so once.
        layer->setMissingOutputs({QStringLiteral("ikinci")});
        {
            BoxAnswerer ok(QStringLiteral("OK"));
            clock.at = QDateTime(Pazartesi, QTime(9, 10, 0, 5));
            program.clock().TimerTimer();
            QVERIFY(program.bells().bellPlayer().playing());
            QTRY_VERIFY(
                !ok.texts.filter(QStringLiteral("Ses çıkışı bulunamadı: ikinci")).isEmpty());
        }
        QTRY_VERIFY(!fx.rows("SELECT Aciklama FROM ZilGecmisi WHERE "
                             "Aciklama LIKE 'Ses çıkışı bulunamadı: ikinci;%'")
                         .isEmpty());
    }
};

int main(int argc, char **argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    ZilApplication app(argc, argv);
    TestSoundWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_soundwindow.moc"
