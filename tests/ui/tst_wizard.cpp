#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "MusicFile.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "ui_AnaSayfa.h"
#include "ui_Sihirbaz.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {
// Monday 7 December 2026.
const QDate Monday(2026, 12, 7);

QStringList names(BellStore &store, int gunId) {
    QStringList lines;
    for (const Bell &b : store.dayBells(gunId))
        lines << b.start.toString() + QLatin1Char(' ') + b.name;
    return lines;
}
} // namespace

// A school's week entered through the wizard, then changed with the changes to many bells, with
// the main window, the bell clock and a scripted player wired as at start-up.
class TestWizard : public QObject {
    Q_OBJECT
private slots:
    void aWeekFromTheWizardThenShiftedCopiedAndDeleted() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        ScheduleFixture fx;
        SimulatedClock clock;
        clock.at = QDateTime(Monday, QTime(7, 0));
        setProgramFolder(fx.folder());
        setProgramClock(&clock);
        fx.insert(0, "Eski zil", "07:30:00", "eski.mp3", 30);
        fx.insert(1, "Eski zil", "07:30:00", "eski.mp3", 30);
        fx.insert(5, "Cumartesi kursu", "09:00:00", "eski.mp3", 30);
        QTemporaryDir sources;
        for (const QString name : {"ogrenci.mp3", "ogretmen.mp3", "cikis.mp3", "marş.mp3"}) {
            QFile file(sources.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(name.toUtf8()) > 0);
        }
        {
            auto *layer = new FakeMediaLayer;
            Program program([] { return false; }, std::unique_ptr<FakeMediaLayer>(layer));
            // Only the ticks the test makes: a slow run must not ring or report by itself.
            program.clock().Timer().stop();
            BellStore &store = program.store();
            TfrmSihirbaz &wizard = program.wizard();
            Ui::TfrmSihirbaz &ui = *wizard.ui;
            program.menu().show();
            program.menu().controls().Sihirbaz1->trigger();
            QVERIFY(wizard.isVisible());
            // A click on the hours, then "07": the first lesson starts at 07:30.
            QVERIFY(QTest::qWaitForWindowActive(&wizard));
            QLineEdit *text = ui.dtpIlkDers->findChild<QLineEdit *>();
            QVERIFY(text);
            QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(3, text->height() / 2));
            QTest::keyClicks(ui.dtpIlkDers, QStringLiteral("07"));
            QCOMPARE(ui.dtpIlkDers->time(), QTime(7, 30));
            ui.dtpIlkDers->setTime(QTime(8, 30));
            // Working days preset; this school enters Monday and Tuesday now.
            for (QCheckBox *day : {ui.cbGun2, ui.cbGun3, ui.cbGun4})
                day->setChecked(false);
            ui.txtDersSayisi->setValue(3);
            ui.cbOgleArasi->setChecked(false);
            // The anthem is the school's own recording: until one is chosen the ceremony stays
            // off and the note says why; choosing it turns the ceremony on.
            QVERIFY(!ui.cbToren->isEnabled() && !ui.cbToren->isChecked());
            QVERIFY(ui.lblTorenNot->isVisibleTo(&wizard));
            QVERIFY(
                ui.lblTorenNot->text().contains(QStringLiteral("İstiklal Marşı programla gelmez")));
            QString chosen;
            wizard.ChooseMusicFile = [&] { return chosen; };
            const std::pair<QPushButton *, QString> picks[] = {
                {ui.btnOgrenciMuzik, "ogrenci.mp3"},
                {ui.btnOgretmenMuzik, "ogretmen.mp3"},
                {ui.btnCikisMuzik, "cikis.mp3"},
                {ui.btnTorenMuzik, "marş.mp3"}};
            for (const auto &[button, file] : picks) {
                chosen = sources.filePath(file);
                QTest::mouseClick(button, Qt::LeftButton);
                QVERIFY(QFile::exists(musicFolder() + file));
            }
            QCOMPARE(ui.txtTorenMuzik->text(), QStringLiteral("marş.mp3"));
            QVERIFY(ui.cbToren->isChecked() && !ui.lblTorenNot->isVisibleTo(&wizard));
            QCOMPARE(ui.tblOnizleme->rowCount(), 9 + 9);

            // A refusal is shown at once, and saving then writes nothing.
            BoxAnswerer boxes(QStringLiteral("Değiştir"));
            ui.txtOgretmenDakika->setValue(11);
            QVERIFY(ui.lblDurum->text().contains(QStringLiteral("teneffüsten uzun olamaz")));
            QCOMPARE(ui.tblOnizleme->rowCount(), 0);
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QCOMPARE(boxes.texts.size(), 1);
            QCOMPARE(fx.count(), 3);
            ui.txtOgretmenDakika->setValue(2);

            // One bell left out of Tuesday; Monday's and Tuesday's old bells are replaced.
            QCOMPARE(ui.tblOnizleme->item(13, 2)->text(), QStringLiteral("2. Ders Öğretmen Zili"));
            ui.tblOnizleme->item(13, 0)->setCheckState(Qt::Unchecked);
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QVERIFY2(boxes.texts.value(1).contains(QStringLiteral("kayıtlı 2 zil")),
                     qPrintable(boxes.texts.value(1)));
            // Saved is said in the window, which stays open for another set of days.
            QCOMPARE(ui.lblDurum->text(), QStringLiteral("17 zil kaydedildi: Pazartesi, Salı"));
            // The ceremony is no row of Monday's but the programme's rule, which the calendar's
            // weeks place.
            QCOMPARE(names(store, 0).first(), QStringLiteral("08:30:00 1. Ders Öğrenci Zili"));
            QVERIFY(program.calendar().ceremony(0).on);
            QCOMPARE(program.calendar().istiklalMarsi(), QStringLiteral("marş.mp3"));
            QCOMPARE(names(store, 0).last(), QStringLiteral("10:50:00 3. Ders Çıkış Zili"));
            QCOMPARE(store.dayBells(0).size(), 9);
            QCOMPARE(store.dayBells(1).size(), 8);
            QVERIFY(!names(store, 1).contains("09:22:00 2. Ders Öğretmen Zili"));
            QCOMPARE(store.dayBells(5).size(), 1);
            // Monday is the first school day of its week: from the next tick the plan holds the
            // opening ceremony, and the list shows it beside the week's rows.
            program.clock().TimerTimer();
            QCoreApplication::processEvents();
            const QTreeWidget *list = program.menu().controls().ListView1;
            QCOMPARE(list->topLevelItemCount(), 10);
            QCOMPARE(list->topLevelItem(0)->text(1) + ' ' + list->topLevelItem(0)->text(2),
                     QStringLiteral("Tören: İstiklal Marşı (açılış) 08:20:00"));
            // Adding the same day again would put two bells in each second: said before asking.
            boxes.answer = QStringLiteral("Vazgeç");
            program.menu().controls().btnSihirbaz->click();
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QVERIFY(boxes.texts.last().contains(QStringLiteral("17 tanesi var olan bir zille")));
            QCOMPARE(fx.count(), 18);

            // Chosen in the main window, another programme gets the same week, without a
            // question as its days are empty; Normal keeps its own.
            const int kisa = store.addProgramme(QStringLiteral("Kısaltılmış Ders"));
            program.menu().refreshProgrammes();
            QComboBox *programs = program.menu().controls().cmbProgram;
            programs->setCurrentIndex(programs->findData(kisa));
            program.menu().controls().btnSihirbaz->click();
            QVERIFY(wizard.windowTitle().endsWith(QStringLiteral("Kısaltılmış Ders programı")));
            const qsizetype asked = boxes.texts.size();
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QCOMPARE(boxes.texts.size(), asked);
            QCOMPARE(store.dayBells(0, kisa).size(), 9);
            QCOMPARE(store.dayBells(1, kisa).size(), 8);
            QCOMPARE(fx.count(), 18);
            programs->setCurrentIndex(0);
            program.menu().ListeyiDoldur();

            // Start times move on by ten minutes, and the clock follows at its next tick.
            program.menu().controls().TopluDegisiklik1->trigger();
            TfrmTopluDegisiklik &bulk = program.bulk();
            QVERIFY(bulk.isVisible() && bulk.cbGun[0]->isChecked() && !bulk.cbGun[1]->isChecked());
            // Grown by the user, the window's buttons keep to its width and its corner.
            const auto *kapat = bulk.findChild<QPushButton *>(QStringLiteral("btnKapat"));
            QVERIFY(kapat);
            const QPoint corner = bulk.rect().bottomRight() - kapat->geometry().bottomRight();
            const int silWidth = bulk.btnSil->width();
            bulk.resize(bulk.size() + QSize(120, 80));
            QTRY_COMPARE(bulk.btnSil->width(), silWidth + 120);
            QCOMPARE(bulk.rect().bottomRight() - kapat->geometry().bottomRight(), corner);
            clock.at = QDateTime(Monday, QTime(8, 29, 59));
            program.clock().TimerTimer();
            bulk.txtDakika->setValue(10);
            QTest::mouseClick(bulk.btnKaydir, Qt::LeftButton);
            clock.at = QDateTime(Monday, QTime(8, 30));
            program.clock().TimerTimer();
            QVERIFY(program.bells().bellPlayer().file().endsWith("marş.mp3"));
            // The anthem has played to its end by then.
            layer->advanceAll(10 * 60 * 1000);
            clock.at = QDateTime(Monday, QTime(8, 40));
            program.clock().TimerTimer();
            QVERIFY(program.bells().bellPlayer().file().endsWith("ogrenci.mp3"));
            QCOMPARE(program.menu().controls().ListView1->topLevelItem(1)->text(2),
                     QStringLiteral("08:40:00"));

            // Past midnight is refused for every chosen day alike.
            const QList<QVariantList> before = fx.rows();
            bulk.cbGun[1]->setChecked(true);
            bulk.cmbYon->setCurrentIndex(1);
            bulk.txtDakika->setValue(9 * 60);
            QTest::mouseClick(bulk.btnKaydir, Qt::LeftButton);
            QVERIFY(boxes.texts.last().contains(QStringLiteral("gece yarısını")));
            QCOMPARE(fx.rows(), before);

            // Monday onto Tuesday and Wednesday in place of their bells, then both deleted.
            boxes.answer = QStringLiteral("Evet");
            bulk.cbGun[0]->setChecked(false);
            bulk.cbGun[2]->setChecked(true);
            bulk.rbDegistir->setChecked(true);
            QTest::mouseClick(bulk.btnKopyala, Qt::LeftButton);
            QVERIFY(boxes.texts.last().contains(QStringLiteral("8 zil silinecek")));
            QCOMPARE(names(store, 1), names(store, 0));
            QCOMPARE(names(store, 2), names(store, 0));
            // Added again beside themselves, every bell would share its second: asked, refused.
            boxes.answer = QStringLiteral("Hayır");
            bulk.rbEkle->setChecked(true);
            QTest::mouseClick(bulk.btnKopyala, Qt::LeftButton);
            QVERIFY(boxes.texts.last().contains(QStringLiteral("18 tanesi")));
            QCOMPARE(names(store, 1), names(store, 0));
            boxes.answer = QStringLiteral("Evet");
            QTest::mouseClick(bulk.btnSil, Qt::LeftButton);
            QVERIFY(boxes.texts.last().contains(QStringLiteral("toplam 18 zil")));
            QVERIFY(store.dayBells(1).isEmpty() && store.dayBells(2).isEmpty());
            QCOMPARE(fx.count(), 9 + 1);
        }
        setProgramClock(nullptr);
        setProgramFolder({});
    }

    void aNewSchoolsWeekWithoutAFileOfItsOwn() {
        ScheduleFixture fx;
        SimulatedClock clock;
        clock.at = QDateTime(Monday, QTime(7, 0));
        setProgramFolder(fx.folder());
        setProgramClock(&clock);
        {
            Program program([] { return false; }, std::make_unique<FakeMediaLayer>());
            // Only the ticks the test makes: a slow run must not ring or report by itself.
            program.clock().Timer().stop();
            TfrmSihirbaz &wizard = program.wizard();
            Ui::TfrmSihirbaz &ui = *wizard.ui;
            bool asked = false;
            wizard.ChooseMusicFile = [&] {
                asked = true;
                return QString();
            };
            BoxAnswerer boxes;
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QCOMPARE(boxes.texts, QStringList());
            QVERIFY(!asked);
            QCOMPARE(fx.count(), 5 * 8 * 3);
            QStringList music;
            for (const Bell &b : program.store().dayBells(4).mid(0, 3)) {
                music << b.music;
                QVERIFY2(MusicFile::of(b.music).ok() && QFileInfo::exists(musicFolder() + b.music),
                         qPrintable(b.music));
            }
            QCOMPARE(music, QStringList({"Programın sesleri/Öğrenci zili.wav",
                                         "Programın sesleri/Öğretmen zili.wav",
                                         "Programın sesleri/Çıkış zili.wav"}));
        }
        setProgramClock(nullptr);
        setProgramFolder({});
    }
};

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
