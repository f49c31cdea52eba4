// Staff roles in the whole windowed program: with a manager PIN set and nobody logged in the
// bells ring and are recorded, windows show but do not save, the duty teacher stops the music,
// the manager changes the schedule, and the window goes back to viewing.

#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "PinDialog.h"
#include "PinTyper.h"
#include "ProgramValues.h"
#include "RoleGate.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "TestMedia.h"
#include "Yetkiler.h"
#include "ZilApplication.h"
#include "ui_AnaSayfa.h"
#include "ui_Duzenleme.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QDate Pazartesi(2026, 12, 7);
const QString ManagerPin = QStringLiteral("13572468");
const QString DutyPin = QStringLiteral("2468");
} // namespace

class TestStaffRoles : public QObject {
    Q_OBJECT
private slots:
    void bellsRingWithNobodyLoggedInAndOnlyRolesChange() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        SimulatedClock clock;
        clock.at = QDateTime(Pazartesi, QTime(8, 29, 59, 500));
        setProgramClock(&clock);
        const auto restore = qScopeGuard([] {
            setProgramClock(nullptr);
            setProgramFolder({});
        });
        QVERIFY(QDir().mkpath(fx.folder() + "Muzikler"));
        QVERIFY(makeMediaFile(toneSource(2000) + QStringLiteral("wavenc ! filesink location=\"%1\"")
                                                     .arg(fx.folder() + "Muzikler/zil.wav")));
        fx.insert(0, "Birinci Ders", "08:30:00", "zil.wav", 40);
        fx.insert(0, "Teneffüs", "09:10:00", "zil.wav", 5);
        // Set before the program starts, as after a restart.
        {
            Roles roles(rolesFile());
            roles.setPin(Role::Manager, ManagerPin);
            roles.setPin(Role::Duty, DutyPin);
        }
        auto *layer = new FakeMediaLayer;
        Program program([] { return false; }, std::unique_ptr<MediaLayer>(layer));
        program.clock().Timer().stop();
        TfrmMenu &menu = program.menu();
        RoleGate &gate = menu.gate();
        QVERIFY(gate.enabled());
        QCOMPARE(gate.role(), Role::Viewer);

        // Nobody logged in: the bell rings at its second and is recorded; no PIN is asked.
        {
            PinTyper nobody({});
            clock.at = QDateTime(Pazartesi, QTime(8, 30, 0, 2));
            program.clock().TimerTimer();
            QTRY_VERIFY(!program.store().history(Pazartesi, Pazartesi).isEmpty());
            QCOMPARE(nobody.dialogs, 0);
        }
        const BellEvent rang = program.store().history(Pazartesi, Pazartesi).first();
        QCOMPARE(rang.name, QStringLiteral("Birinci Ders"));
        QCOMPARE(rang.outcome, BellOutcome::Rang);
        QCOMPARE(layer->commands().filter("zil.wav").size(), 1);
        LayerBellPlayer &bell = program.bells().bellPlayer();
        QVERIFY(bell.playing());

        // "Şimdi durdur" from the tray: a viewer who gives up on the PIN stops nothing; the
        // duty teacher's PIN stops the bell.
        {
            PinTyper cancels({});
            program.tray().stopAction().trigger();
            QCOMPARE(cancels.dialogs, 1);
        }
        QVERIFY(bell.playing());
        {
            PinTyper duty({DutyPin});
            program.tray().stopAction().trigger();
            QCOMPARE(duty.dialogs, 1);
        }
        QVERIFY(!bell.playing());
        QCOMPARE(gate.role(), Role::Duty);
        QVERIFY(menu.roleLine().text().startsWith(QStringLiteral("Nöbetçi")));

        // The duty teacher cannot delete a bell: told so, and the bell stays.
        menu.controls().cmbGunler->setCurrentIndex(0);
        menu.ListeyiDoldur();
        menu.controls().ListView1->setCurrentItem(menu.controls().ListView1->topLevelItem(0));
        {
            PinTyper stillDuty({DutyPin});
            BoxAnswerer ok("OK");
            menu.btnSilClick();
            // Notices of the morning check (no sound output here) may be answered too.
            QVERIFY2(ok.texts.filter("Nöbetçi olarak giriş yapıldı. Bu işlem için Yönetici PIN'i "
                                     "gerekli")
                             .size() == 1,
                     qPrintable(ok.texts.join(" | ")));
            QVERIFY(ok.texts.filter("Emin misiniz").isEmpty());
        }
        QCOMPARE(fx.count(), 2);

        // Playing music with the player bar is the manager's alone: the duty teacher is told.
        program.player().setFileName(fx.folder() + "Muzikler/zil.wav");
        program.player().Open();
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        layer->clearRequests();
        {
            PinTyper stillDuty({DutyPin});
            BoxAnswerer ok("OK");
            QTest::mouseClick(menu.controls().mpPlayer, Qt::LeftButton, {}, QPoint(10, 10));
            QCOMPARE(stillDuty.dialogs, 1);
            QCOMPARE(ok.texts.filter("Yönetici PIN'i gerekli").size(), 1);
        }
        QVERIFY2(!layer->commands().join(',').contains("play"),
                 qPrintable(layer->commands().join(", ")));

        // Logged out, the editor opens to look; its save asks, and the manager's PIN saves
        // what was typed.
        gate.logOut();
        QVERIFY(menu.roleLine().text().contains(QStringLiteral("Giriş yap")));
        menu.btnDuzenleClick();
        TfrmDuzenleme &editor = program.editor();
        QVERIFY(editor.isVisible());
        Ui::TfrmDuzenleme &fields = *editor.ui;
        fields.txtDers->setText(QStringLiteral("Birinci Ders (yeni)"));
        {
            PinTyper viewer({});
            fields.btnYeniKayit->ExecuteClick();
            QCOMPARE(viewer.dialogs, 1);
        }
        QCOMPARE(fx.rows().first().at(2).toString(), QStringLiteral("Birinci Ders"));
        QCOMPARE(fields.txtDers->text(), QStringLiteral("Birinci Ders (yeni)"));
        {
            PinTyper manager({ManagerPin});
            fields.btnYeniKayit->ExecuteClick();
            QCOMPARE(manager.dialogs, 1);
        }
        QCOMPARE(fx.rows().first().at(2).toString(), QStringLiteral("Birinci Ders (yeni)"));
        QCOMPARE(gate.role(), Role::Manager);

        // Left alone, the window goes back to viewing.
        gate.setIdleInterval(50);
        QTest::keyClick(&menu, Qt::Key_Shift);
        QTRY_COMPARE(gate.role(), Role::Viewer);

        // The fifth wrong PIN makes the window wait a minute; the right one is then refused too,
        // by every gate of the folder.
        {
            PinTyper wrong({"1111", "2222", "3333", "4444", "5555", ManagerPin});
            QVERIFY(!gate.logIn(&menu));
            QCOMPARE(wrong.said.size(), 6);
            QVERIFY2(wrong.said.at(4).contains("60 saniye sonra"),
                     qPrintable(wrong.said.join("|")));
            QVERIFY2(wrong.said.at(5).contains("saniye sonra"), qPrintable(wrong.said.join("|")));
        }
        QCOMPARE(gate.role(), Role::Viewer);
        QCOMPARE(Gate(dataFolder()).login(ManagerPin, {}).outcome, GateAnswer::Outcome::Wait);

        // Still no PIN before a bell.
        {
            PinTyper nobody({});
            clock.at = QDateTime(Pazartesi, QTime(9, 10, 0, 2));
            program.clock().TimerTimer();
            const auto rangAtTen = [&] {
                for (const BellEvent &e : program.store().history(Pazartesi, Pazartesi))
                    if (e.name == QStringLiteral("Teneffüs") && e.outcome == BellOutcome::Rang)
                        return true;
                return false;
            };
            QTRY_VERIFY2(rangAtTen(), qPrintable([&] {
                             QStringList lines;
                             for (const BellEvent &e :
                                  program.store().history(Pazartesi, Pazartesi))
                                 lines << e.name + " " + e.start + " " + outcomeName(e.outcome) +
                                              " " + e.reason;
                             return lines.join(" | ");
                         }()));
            QCOMPARE(nobody.dialogs, 0);
        }

        // A viewer cannot keep the rest of the day silent from the tray.
        {
            PinTyper nobody({});
            BoxAnswerer yes("Evet");
            program.silenceTodayAction().trigger();
            QCOMPARE(nobody.dialogs, 1);
            QVERIFY(yes.texts.filter("Emin misiniz").isEmpty());
        }
        QVERIFY(!program.silenceTodayAction().isChecked());
        QVERIFY(!program.calendar().silencedToday());

        // The fire alarm from the tray: the duty teacher's PIN sounds it, the bells wait for it
        // and "Alarmı durdur" ends it.
        const QList<QAction *> &alarm = program.alarmCommands().trayActions();
        {
            PinTyper duty({DutyPin});
            BoxAnswerer sound(QStringLiteral("Alarmı çal"));
            alarm.first()->trigger();
            QCOMPARE(duty.dialogs, 1);
            QCOMPARE(sound.texts.size(), 1);
        }
        QCOMPARE(program.bells().alarm().sounding(), Alarm::Kind::Yangin);
        QVERIFY(alarm.first()->isChecked());
        QCOMPARE(program.clock().heldFor(), Alarm::holdReason());
        {
            PinTyper loggedIn({});
            alarm.last()->trigger();
            QCOMPARE(loggedIn.dialogs, 0);
        }
        QVERIFY(!program.bells().alarm().sounding());
        QVERIFY(!alarm.first()->isChecked());
        QVERIFY(program.clock().heldFor().isEmpty());
    }

    // The first manager PIN is set in "Yetkiler ve PIN…" while the roles are off; from then on
    // the window asks.
    void theFirstPinIsSetInTheWindow() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        const auto restore = qScopeGuard([] { setProgramFolder({}); });
        Program program([] { return false; }, std::make_unique<FakeMediaLayer>());
        program.clock().Timer().stop();
        TfrmMenu &menu = program.menu();
        QVERIFY(!menu.gate().enabled());
        QVERIFY(!menu.roleLine().isVisibleTo(&menu));
        menu.showRolesWindow();
        TfrmYetkiler *window = menu.rolesWindow();
        QVERIFY(window && window->isVisible());
        auto &manager = window->fields(Role::Manager);
        QVERIFY(!window->fields(Role::Duty).save->isEnabled());
        manager.pin->setText(ManagerPin);
        manager.again->setText(QStringLiteral("13572469"));
        {
            BoxAnswerer ok("OK");
            manager.save->click();
            QVERIFY(ok.texts.contains(QStringLiteral("İki PIN aynı değil; lütfen yeniden yazın.")));
        }
        QVERIFY(!QFile::exists(rolesFile()));
        manager.again->setText(ManagerPin);
        {
            BoxAnswerer ok("OK");
            manager.save->click();
            QTRY_VERIFY(!window->busy());
            QTRY_VERIFY(ok.texts.contains(QStringLiteral("Yönetici PIN'i kaydedildi.")));
        }
        QFile stored(rolesFile());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray text = stored.readAll();
        QVERIFY(text.contains("$argon2id$"));
        QVERIFY(!text.contains(ManagerPin.toLatin1()));
        QVERIFY(menu.gate().enabled());
        QVERIFY(menu.roleLine().isVisibleTo(&menu));
        // From now on "Yeni Kayıt" needs the PIN: given up, no editor opens.
        window->hide();
        {
            PinTyper cancels({});
            menu.btnYeniKayitClick();
            QCOMPARE(cancels.dialogs, 1);
        }
        QVERIFY(program.editor().isHidden());
    }
};

int main(int argc, char **argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    ZilApplication app(argc, argv);
    TestStaffRoles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_staffroles.moc"
