#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "FirstStart.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "ui_AnaSayfa.h"
#include "ui_Sihirbaz.h"

#include "Clock.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// The first start on a new school's empty schedule, through the real program and its windows.
class TestFirstStart : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ScheduleFixture> fx;
    SimulatedClock clock;

    static std::unique_ptr<Program> start() {
        auto program =
            std::make_unique<Program>([] { return false; }, std::make_unique<FakeMediaLayer>());
        program->menu().show();
        return program;
    }

private slots:
    void init() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        fx = std::make_unique<ScheduleFixture>();
        setProgramFolder(fx->folder());
        clock.at = QDateTime(QDate(2026, 9, 7), QTime(7, 30));
        setProgramClock(&clock);
    }
    void cleanup() {
        setProgramClock(nullptr);
        setProgramFolder({});
        fx.reset();
    }

    // Name, wizard, week: the way in leads to a ringing week and is then gone for good.
    void aNewSchoolIsLedToItsWeek() {
        {
            auto program = start();
            FirstStartPanel &way = program->firstStart();
            QVERIFY(way.isVisible());
            // It lies where the empty list would be.
            QCOMPARE(way.geometry(), program->menu().controls().ListView1->geometry());
            QCOMPARE(program->menu().windowTitle(), QStringLiteral("Selvanor Zil Sistemi"));

            way.nameField().setText(QStringLiteral("  Atatürk İlkokulu "));
            QTest::mouseClick(&way.wizardButton(), Qt::LeftButton);
            QCOMPARE(program->menu().windowTitle(),
                     QStringLiteral("Selvanor Zil Sistemi - Atatürk İlkokulu"));
            QVERIFY(program->tray().icon().toolTip().startsWith(program->menu().windowTitle()));
            TfrmSihirbaz &wizard = program->wizard();
            QVERIFY(wizard.isVisible());
            // The program's own sounds are already there: nothing to choose before saving.
            QCOMPARE(wizard.ui->txtOgrenciMuzik->text(),
                     QStringLiteral("Programın sesleri/Öğrenci zili.wav"));
            // Until bells are written, the way stays.
            QVERIFY(way.isVisible());
            {
                BoxAnswerer boxes;
                QTest::mouseClick(wizard.ui->btnKaydet, Qt::LeftButton);
                QCOMPARE(boxes.texts, QStringList());
            }
            QVERIFY(fx->count() > 0);
            QVERIFY(way.isHidden());
            QVERIFY(program->menu().controls().ListView1->topLevelItemCount() > 0);
            QVERIFY(program->calendar().firstStartDone());
        }
        // The next start remembers both: the name, and that the way was gone through.
        auto again = start();
        QVERIFY(again->firstStart().isHidden());
        QCOMPARE(again->menu().windowTitle(),
                 QStringLiteral("Selvanor Zil Sistemi - Atatürk İlkokulu"));
    }

    // Put aside without a bell, it does not come back; the school year is one click away.
    void putAsideItStaysAside() {
        {
            auto program = start();
            FirstStartPanel &way = program->firstStart();
            QTest::mouseClick(&way.calendarButton(), Qt::LeftButton);
            QVERIFY(program->calendarWindow().isVisible());
            program->calendarWindow().hide();
            QTest::mouseClick(&way.doneButton(), Qt::LeftButton);
            QVERIFY(way.isHidden());
        }
        QCOMPARE(fx->count(), 0);
        auto again = start();
        QVERIFY(again->firstStart().isHidden());
        QCOMPARE(again->menu().windowTitle(), QStringLiteral("Selvanor Zil Sistemi"));
    }

    // A schedule that has bells is only read: the way in never shows and nothing is written.
    void aScheduleWithBellsIsLeftAlone() {
        fx->insert(0, "1. Ders", "08:30:00", "zil.mp3", 30);
        {
            auto program = start();
            QVERIFY(program->firstStart().isHidden());
            program->menu().ListeyiDoldur();
        }
        QCOMPARE(fx->rows("SELECT count(*) FROM sqlite_master WHERE name='TakvimAyar'"),
                 (QList<QVariantList>{{0}}));
    }

    // "Ayarlar > Okulun adı…" changes the name later; a name refused keeps what was there.
    void theNameIsChangedFromTheSettings() {
        auto program = start();
        QVERIFY(
            program->menu().controls().Ayarlar1->actions().contains(&program->schoolNameAction()));
        program->schoolNameAction().trigger();
        auto *dialog = program->menu().findChild<QInputDialog *>(QStringLiteral("dlgOkulunAdi"));
        QVERIFY(dialog);
        // It does not hold up the program's event loop.
        QVERIFY(dialog->isVisible());
        dialog->setTextValue(QStringLiteral("Cumhuriyet Ortaokulu"));
        dialog->accept();
        QCOMPARE(program->calendar().schoolName(), QStringLiteral("Cumhuriyet Ortaokulu"));
        QCOMPARE(program->menu().windowTitle(),
                 QStringLiteral("Selvanor Zil Sistemi - Cumhuriyet Ortaokulu"));

        QVERIFY_THROWS_EXCEPTION(ERefused, program->calendar().setSchoolName(QString(101, 'a')));
        QVERIFY_THROWS_EXCEPTION(ERefused,
                                 program->calendar().setSchoolName(QStringLiteral("A\nB")));
        QCOMPARE(program->calendar().schoolName(), QStringLiteral("Cumhuriyet Ortaokulu"));

        // The way in tells a refused name and keeps the field as typed.
        FirstStartPanel &way = program->firstStart();
        way.nameField().setText(QStringLiteral("Bir\tİki"));
        way.nameField().setModified(true); // as typing leaves it
        BoxAnswerer boxes;
        QTest::mouseClick(&way.doneButton(), Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Okulun adı tek satır olmalı.")});
        QVERIFY(way.isVisible());
        QCOMPARE(way.nameField().text(), QStringLiteral("Bir\tİki"));
        QVERIFY(!program->calendar().firstStartDone());
    }
};

QTEST_MAIN(TestFirstStart)
#include "tst_firststart.moc"
