#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "Duzenleme.h"
#include "ProgramValues.h"
#include "Programlar.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "TopluDegisiklik.h"
#include "ZilApplication.h"
#include "ui_AnaSayfa.h"
#include "ui_Duzenleme.h"
#include "ui_OkulTakvimi.h"
#include "ui_Programlar.h"
#include "ui_TekSeferlik.h"
#include "ui_Torenler.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

// The calendar window reached from the main window's menu, its refusals, and the main window's
// line about today following what the window saved.
class TestOkulTakvimi : public QObject {
    Q_OBJECT
private slots:
    void fromTheMenuToTodaysLine() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        SimulatedClock clock;
        clock.at = QDateTime(QDate(2026, 10, 28), QTime(9, 0)); // Wednesday, eve of 29 Ekim
        setProgramClock(&clock);
        const auto restore = qScopeGuard([] {
            setProgramClock(nullptr);
            setProgramFolder({});
        });
        fx.insert(2, "Öğle", "12:50:00", "zil.mp3", 30);
        fx.insert(2, "Son Ders", "13:10:00", "zil.mp3", 30);
        fx.insert(0, "Pazartesi Sabah", "08:30:00", "zil.mp3", 30);

        Program program([] { return false; });
        program.clock().Timer().stop();
        auto &menu = program.menu().controls();
        // The clock follows the day without ringing: the window draws what its tick reads.
        program.clock().setRinging(false);
        const auto tick = [&] {
            program.clock().TimerTimer();
            QCoreApplication::processEvents();
        };
        // Said with its reason, so the silence is not taken for a fault.
        QCOMPARE(menu.lblTakvim->toolTip(),
                 QStringLiteral("Cumhuriyet Bayramı arifesi: 13:00'ten sonra zil çalmayacak"));
        QVERIFY(menu.Label1->isHidden());
        clock.at = QDateTime(QDate(2026, 10, 28), QTime(12, 55));
        tick();
        QCOMPARE(menu.lblSiradakiZil->text(), QStringLiteral("Sıradaki zil: bugün başka zil yok"));

        menu.OkulTakvimi1->trigger();
        TfrmOkulTakvimi &window = program.calendarWindow();
        QVERIFY(window.isVisible());
        auto &ui = window.controls();
        QCOMPARE(ui.calTakvim->dateTextFormat(QDate(2026, 10, 29)).background().color(),
                 QColor(255, 190, 190));
        QVERIFY(ui.lvKayitlar->topLevelItemCount() >= 9); // 7 official days and 2 bayrams
        // Names and kinds are read whole.
        for (int i = 0; i < ui.lvKayitlar->topLevelItemCount(); ++i)
            for (int column : {2, 3})
                QVERIFY(ui.lvKayitlar->columnWidth(column) >
                        ui.lvKayitlar->fontMetrics().horizontalAdvance(
                            ui.lvKayitlar->topLevelItem(i)->text(column)));

        // An end before the start is refused, and nothing is saved.
        ui.txtAd->setText("Ara Tatil");
        ui.dtpBaslangic->setDate(QDate(2026, 11, 13));
        ui.dtpBitis->setDate(QDate(2026, 11, 9));
        {
            BoxAnswerer box("OK");
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QCOMPARE(box.texts, QStringList{"Bitiş tarihi başlangıç tarihinden önce olamaz."});
        }
        QCOMPARE(program.calendar().entries(2026).size(), 0);

        // Today becomes a make-up day that rings Monday's bells.
        ui.cmbTur->setCurrentIndex(2);
        ui.dtpBaslangic->setDate(QDate(2026, 10, 28));
        ui.cmbGun->setCurrentIndex(0);
        QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
        QCOMPARE(program.calendar().entries(2026).size(), 1);
        clock.at = QDateTime(QDate(2026, 10, 28), QTime(8, 0));
        tick();
        QCOMPARE(menu.lblTakvim->toolTip(),
                 QStringLiteral("Bugün telafi günü: Pazartesi programı; Cumhuriyet Bayramı "
                                "arifesi: 13:00'ten sonra zil çalmayacak"));
        QCOMPARE(menu.lblSiradakiZil->text(),
                 QStringLiteral("Sıradaki zil: 08:30:00 Pazartesi Sabah"));
        {
            // Started on a make-up day, the list opens on the weekday whose bells ring.
            Program again([] { return false; });
            again.clock().Timer().stop();
            QCOMPARE(again.menu().controls().cmbGunler->currentIndex(), 0);
        }

        // "Bugün zil çalmasın" silences the rest of today.
        ui.cbBugunZilCalmasin->click();
        QVERIFY(program.calendar().silencedToday());
        tick();
        QVERIFY(menu.lblTakvim->toolTip().contains("Bugün zil çalmasın"));
        QVERIFY(program.tray().icon().toolTip().contains("Bugün zil çalmasın"));
        QCOMPARE(menu.lblSiradakiZil->text(), QStringLiteral("Sıradaki zil: bugün başka zil yok"));

        // The make-up day deleted after asking; an official holiday cannot be.
        const auto select = [&](const QString &name) {
            ui.lvKayitlar->clearSelection();
            for (int i = 0; i < ui.lvKayitlar->topLevelItemCount(); ++i)
                if (ui.lvKayitlar->topLevelItem(i)->text(3).startsWith(name))
                    ui.lvKayitlar->topLevelItem(i)->setSelected(true);
        };
        select("Telafi günü");
        {
            BoxAnswerer box("&Evet");
            QTest::mouseClick(ui.btnSil, Qt::LeftButton);
            QCOMPARE(box.texts,
                     QStringList{"\"Telafi günü\" kaydını silmek istediğinizden emin misiniz?"});
        }
        QCOMPARE(program.calendar().entries(2026).size(), 0);

        // Only what applies to the row is offered: an official holiday is switched, not
        // deleted, and its date is not confirmed.
        select("Cumhuriyet");
        QVERIFY(ui.btnAcKapat->isEnabled());
        QVERIFY(!ui.btnOnayla->isEnabled());
        QVERIFY(!ui.btnSil->isEnabled());
        const auto stateOf = [&](const QString &name) {
            const auto rows = ui.lvKayitlar->findItems(name, Qt::MatchStartsWith, 3);
            return rows.isEmpty() ? QString() : rows.first()->text(4);
        };
        // Said as what the bells do.
        QCOMPARE(stateOf("Cumhuriyet"), QStringLiteral("Ziller çalmaz"));

        // The official holiday switched off: 29 Ekim is an ordinary day.
        select("Cumhuriyet");
        QTest::mouseClick(ui.btnAcKapat, Qt::LeftButton);
        QCOMPARE(program.calendar().day(QDate(2026, 10, 29)).kind, CalendarDay::Kind::Ordinary);
        QCOMPARE(ui.calTakvim->dateTextFormat(QDate(2026, 10, 29)).background().style(),
                 Qt::NoBrush);
        QCOMPARE(stateOf("Cumhuriyet"), QStringLiteral("Ziller çalar"));

        // The tray's switch, ticked as the calendar says, turns it off again.
        emit program.tray().menu().aboutToShow();
        QVERIFY(program.silenceTodayAction().isChecked());
        program.silenceTodayAction().trigger();
        QVERIFY(!program.calendar().silencedToday());

        // With none saved, the school year offered is the one under way. A click on the day,
        // then the date typed through: day, month and year follow.
        QCOMPARE(ui.dtpIlkGun->date(), QDate(2026, 9, 14));
        QCOMPARE(ui.dtpSonGun->date(), QDate(2027, 6, 25));
        ui.cbOkulYili->setChecked(true);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QLineEdit *text = ui.dtpSonGun->findChild<QLineEdit *>();
        QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(4, text->height() / 2));
        QTest::keyClicks(ui.dtpSonGun, QStringLiteral("18062027"));
        QTest::mouseClick(ui.btnOkulYiliKaydet, Qt::LeftButton);
        QCOMPARE(program.calendar().schoolYear()->last, QDate(2027, 6, 18));
        QCOMPARE(ui.lblDurum->text(),
                 QStringLiteral("Okul yılı kaydedildi: 14.09.2026 – 18.06.2027"));
        // Esc and "Kapat" close it.
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isHidden());
        menu.OkulTakvimi1->trigger();
        QTest::mouseClick(ui.btnKapat, Qt::LeftButton);
        QVERIFY(window.isHidden());
    }

    // "Törenler ve 10 Kasım": no ceremony without the school's anthem; what is saved is the rule
    // the day plan follows, for every programme.
    void ceremoniesAndTenKasim() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        Program program([] { return false; });
        program.clock().Timer().stop();
        const int exams = program.store().addProgramme("Sınav Haftası");
        program.menu().findChild<QAction *>("Torenler1")->trigger();
        TfrmTorenler &window = program.ceremoniesWindow();
        QVERIFY(window.isVisible());
        auto &ui = window.controls();
        QVERIFY(!ui.cbToren->isEnabled());
        QVERIFY(ui.cbSaygiDurusu->isChecked());
        ui.txtMarsi->setText("marsi.mp3");
        QTest::mouseClick(ui.btnKaydet, Qt::LeftButton); // recording chosen, box not ticked
        QVERIFY(!program.calendar().ceremony(Programme::Normal).on);
        ui.cbToren->setChecked(true);
        ui.txtOnce->setValue(15);
        ui.cbSaygiDurusu->setChecked(false);
        QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
        QCOMPARE(program.calendar().istiklalMarsi(), QStringLiteral("marsi.mp3"));
        QCOMPARE(program.calendar().ceremony(exams).beforeMinutes, 15);
        QVERIFY(program.calendar().ceremony(Programme::Normal).on);
        QVERIFY(!program.calendar().isEnabled(Calendar::SaygiDurusu));
        // Without the recording the ceremony cannot stay on.
        QTest::mouseClick(ui.btnMarsiKaldir, Qt::LeftButton);
        QVERIFY(!ui.cbToren->isChecked());
        setProgramFolder({});
    }

    // "Tek seferlik ziller": a bell of one date joins that date's plan, and only that date's; a
    // moment already past is refused.
    void aOneOffBellFromTheWindow() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        SimulatedClock clock;
        clock.at = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
        setProgramClock(&clock);
        Program program([] { return false; });
        program.clock().Timer().stop();
        program.menu().findChild<QAction *>("TekSeferlik1")->trigger();
        auto &ui = program.oneOffsWindow().controls();
        ui.txtAd->setText("Gösteri");
        ui.txtMuzik->setText("gosteri.mp3");
        ui.dtpZaman->setDateTime(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
        {
            BoxAnswerer ok("OK");
            QTest::mouseClick(ui.btnEkle, Qt::LeftButton);
            QCOMPARE(ok.texts.size(), 1);
            QVERIFY(ok.texts.first().startsWith("Bu an geçti"));
        }
        ui.dtpZaman->setDateTime(QDateTime(QDate(2026, 12, 9), QTime(11, 11, 11)));
        QTest::mouseClick(ui.btnEkle, Qt::LeftButton);
        QCOMPARE(ui.lvZiller->topLevelItemCount(), 1);
        program.plan().update(QDate(2026, 12, 9));
        QCOMPARE(program.plan().next(QTime(11, 0))->bell.name, QStringLiteral("Gösteri"));
        program.plan().update(QDate(2026, 12, 16));
        QVERIFY(!program.plan().next(QTime(0, 0)));
        ui.lvZiller->setCurrentItem(ui.lvZiller->topLevelItem(0));
        {
            BoxAnswerer yes("Evet");
            QTest::mouseClick(ui.btnSil, Qt::LeftButton);
        }
        QCOMPARE(ui.lvZiller->topLevelItemCount(), 0);
        setProgramClock(nullptr);
        setProgramFolder({});
    }

    // A programme added in its window, given a bell in the main window, and rung today through
    // the calendar's "Özel program".
    void aProgrammeOfItsOwnRungOnItsDates() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        SimulatedClock clock;
        const QDate today(2026, 12, 9); // Wednesday
        clock.at = QDateTime(today, QTime(9, 0));
        setProgramClock(&clock);
        const auto restore = qScopeGuard([] {
            setProgramClock(nullptr);
            setProgramFolder({});
        });
        fx.insert(2, "Normal Sabah", "09:30:00", "zil.mp3", 30);
        fx.insert(0, "Pazartesi Sabah", "08:30:00", "zil.mp3", 30);
        Program program([] { return false; });
        program.clock().Timer().stop();
        program.clock().setRinging(false);
        auto &menu = program.menu().controls();
        QCOMPARE(menu.cmbProgram->currentText(), QStringLiteral("Normal"));
        QCOMPARE(menu.ListView1->topLevelItemCount(), 1);

        menu.Programlar1->trigger();
        TfrmProgramlar *programmes = program.menu().programmesWindow();
        QVERIFY(programmes && programmes->isVisible());
        auto &pw = programmes->controls();
        QVERIFY(!pw.btnSil->isEnabled() && !pw.btnAdDegistir->isEnabled()); // Normal's
        pw.txtAd->setText(QStringLiteral("Sınav Haftası"));
        QTest::mouseClick(pw.btnYeni, Qt::LeftButton);
        {
            // A second one of the same name is refused in the store's words; nothing added.
            BoxAnswerer box("OK");
            QTest::mouseClick(pw.btnYeni, Qt::LeftButton);
            QCOMPARE(box.texts.size(), 1);
        }
        QCOMPARE(program.store().programmes().size(), 2);
        const int sinav = program.store().programmes().at(1).id;
        const int row = menu.cmbProgram->findData(sinav);
        QCOMPARE(menu.cmbProgram->itemText(row), QStringLiteral("Sınav Haftası"));
        menu.cmbProgram->setCurrentIndex(row);
        emit menu.cmbProgram->activated(row);
        QCOMPARE(menu.ListView1->topLevelItemCount(), 0);

        // "Yeni Kayıt" adds to the programme on show, and Normal keeps its own day.
        program.menu().btnYeniKayitClick();
        auto &ed = *program.editor().ui;
        ed.txtDers->setText(QStringLiteral("Sınav Başlıyor"));
        ed.txtMuzik->setText(QStringLiteral("zil.mp3"));
        ed.dtpBaslamaSaati->setTime(QTime(10, 0));
        ed.txtSure->setValue(30);
        QTest::mouseClick(ed.btnYeniKayit, Qt::LeftButton);
        QCOMPARE(menu.ListView1->topLevelItemCount(), 1);
        QCOMPARE(menu.ListView1->topLevelItem(0)->text(1), QStringLiteral("Sınav Başlıyor"));
        QCOMPARE(program.store().dayBells(2, sinav).size(), 1);
        menu.cmbProgram->setCurrentIndex(0);
        emit menu.cmbProgram->activated(0);
        QCOMPARE(menu.ListView1->topLevelItemCount(), 1);
        QCOMPARE(menu.ListView1->topLevelItem(0)->text(1), QStringLiteral("Normal Sabah"));

        menu.OkulTakvimi1->trigger();
        auto &ui = program.calendarWindow().controls();
        ui.cmbTur->setCurrentIndex(3);
        QCOMPARE(ui.cmbProgram->count(), 1); // Normal is not offered
        QVERIFY(ui.cmbProgram->isEnabled() && ui.dtpBitis->isEnabled() && !ui.txtAd->isEnabled());
        ui.dtpBaslangic->setDate(today);
        ui.dtpBitis->setDate(today.addDays(2));
        QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
        const auto special =
            ui.lvKayitlar->findItems(QStringLiteral("Sınav Haftası"), Qt::MatchExactly, 3);
        QCOMPARE(special.size(), 1);
        QCOMPARE(special.first()->text(2), QStringLiteral("Özel program"));
        QCOMPARE(ui.calTakvim->dateTextFormat(today.addDays(2)).background().color(),
                 QColor(190, 215, 250));
        QCOMPARE(ui.calTakvim->dateTextFormat(today.addDays(3)).background().style(), Qt::NoBrush);
        program.clock().TimerTimer();
        QCoreApplication::processEvents();
        QCOMPARE(menu.lblTakvim->toolTip(), QStringLiteral("Bugün Sınav Haftası programı çalıyor"));
        QCOMPARE(menu.lblSiradakiZil->text(),
                 QStringLiteral("Sıradaki zil: 10:00:00 Sınav Başlıyor"));
        {
            // Started on such a date, the list opens on the programme that rings.
            Program again([] { return false; });
            again.clock().Timer().stop();
            QCOMPARE(again.menu().controls().cmbProgram->currentData().toInt(), sinav);
        }

        // "Toplu Değişiklik" works on the programme on show, and copies from another one: here
        // Normal's Wednesday beside its own.
        menu.cmbProgram->setCurrentIndex(row);
        emit menu.cmbProgram->activated(row);
        menu.TopluDegisiklik1->trigger();
        TfrmTopluDegisiklik &bulk = program.bulk();
        QCOMPARE(bulk.programme(), sinav);
        bulk.cmbKaynakProgram->setCurrentIndex(bulk.cmbKaynakProgram->findData(Programme::Normal));
        QTest::mouseClick(bulk.btnKopyala, Qt::LeftButton);
        QCOMPARE(program.store().dayBells(2, sinav).size(), 2);
        QCOMPARE(program.store().dayBells(2).size(), 1);
        QCOMPARE(menu.ListView1->topLevelItemCount(), 2);
        // "Her gün kendi gününden" copies the whole week at once, here in place of its own.
        for (QCheckBox *day : bulk.cbGun)
            day->setChecked(true);
        bulk.cmbKaynak->setCurrentIndex(7);
        bulk.rbDegistir->setChecked(true);
        {
            BoxAnswerer yes("Evet");
            QTest::mouseClick(bulk.btnKopyala, Qt::LeftButton);
            QCOMPARE(yes.texts.size(), 1); // asked first: two bells are deleted
        }
        QCOMPARE(program.store().dayBells(0, sinav).size(), 1);
        QCOMPARE(program.store().dayBells(2, sinav).size(), 1);
        QCOMPARE(program.store().dayBells(2, sinav).first().name, QStringLiteral("Normal Sabah"));
        QCOMPARE(program.store().dayBells(2).size(), 1);

        // The wizard too writes to the programme on show.
        menu.Sihirbaz1->trigger();
        QCOMPARE(program.wizard().programme(), sinav);

        // Removed after asking: its bells go with it and the choice offers Normal alone.
        program.menu().btnYeniKayitClick();
        ed.txtDers->setText(QStringLiteral("Geç kalan"));
        ed.txtMuzik->setText(QStringLiteral("zil.mp3"));
        pw.lstProgramlar->setCurrentRow(1);
        {
            BoxAnswerer box("Evet");
            QTest::mouseClick(pw.btnSil, Qt::LeftButton);
            QCOMPARE(box.texts,
                     QStringList{"\"Sınav Haftası\" programı bütün zilleriyle silinsin mi?"});
        }
        QCOMPARE(menu.cmbProgram->count(), 1);
        QCOMPARE(program.store().dayBells(2, sinav).size(), 0);
        {
            // The editor still open for it writes nothing, says so and keeps what was typed.
            BoxAnswerer box("OK");
            QTest::mouseClick(ed.btnYeniKayit, Qt::LeftButton);
            QCOMPARE(box.texts.size(), 1);
            QVERIFY(box.texts.first().startsWith(QStringLiteral("Bu program bu arada silinmiş")));
        }
        QVERIFY(program.editor().isVisible());
        QCOMPARE(ed.txtDers->text(), QStringLiteral("Geç kalan"));
        QCOMPARE(program.store().dayBells(2, sinav).size(), 0);
    }
};

int main(int argc, char **argv) {
    ZilApplication app(argc, argv);
    TestOkulTakvimi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_okultakvimi.moc"
