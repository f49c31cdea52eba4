#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "ZilApplication.h"
#include "ZilGecmisi.h"
#include "ui_AnaSayfa.h"

#include "ProgramValues.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A Monday.
const QDate today(2026, 12, 7);

BellEvent line(const QDate &date, const QString &start, const QString &name, BellOutcome outcome,
               const QString &reason = {}, bool fallbackTone = false) {
    BellEvent e;
    e.date = date;
    e.name = name;
    e.start = start;
    e.music = name.toLower() + QStringLiteral(".mp3");
    e.outcome = outcome;
    e.reason = reason;
    e.fallbackTone = fallbackTone;
    return e;
}

QStringList rowTexts(QTableWidget *table, int row) {
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << table->item(row, column)->text();
    return texts;
}
} // namespace

class TestBellRecord : public QObject {
    Q_OBJECT
private slots:
    void recordFromTheMainWindowToACsvFile() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        SimulatedClock clock;
        clock.at = QDateTime(today, QTime(12, 0));
        setProgramClock(&clock);
        // Restored after the program is gone, whichever check ends the test.
        const auto restore = qScopeGuard([] {
            setProgramClock(nullptr);
            setProgramFolder({});
        });

        fx.insert(0, "Son Ders", "15:00:00", "son.mp3", 30);
        fx.insert(0, "Sabah", "08:30:00", "sabah.mp3", 30);
        fx.insert(0, "Öğle Arası", "12:40:00", "ogle.mp3", 30);
        fx.insert(1, "Salı", "12:10:00", "sali.mp3", 30);
        {
            BellStore before;
            before.open(fx.databaseFile());
            before.record(line(today.addDays(-8), "08:30:00", "Eski", BellOutcome::Rang));
            before.record(line(today.addDays(-1), "08:30:00", "Sabah", BellOutcome::Rang));
            before.record(line(today.addDays(-1), "15:00:00", "Son Ders", BellOutcome::Missed));
            before.record(line(today, "08:30:00", "Sabah", BellOutcome::Rang, {}, true));
        }

        Program program([] { return false; });
        // The test moves the time itself; the clock's own ticks would ring the bells.
        program.clock().Timer().stop();
        TfrmMenu &menu = program.menu();
        menu.show();
        auto &ui = menu.controls();
        // The clock follows the day without ringing: the window draws what its tick reads.
        program.clock().setRinging(false);
        const auto tick = [&] {
            program.clock().TimerTimer();
            QCoreApplication::processEvents();
        };

        QCOMPARE(ui.lblSiradakiZil->text(), QStringLiteral("Sıradaki zil: 12:40:00 Öğle Arası"));
        QVERIFY(ui.lblUyari->isHidden());

        // A failure recorded while the window is open shows within a second.
        program.store().record(line(today, "11:00:00", "Ara", BellOutcome::Failed,
                                    "Dosya açılamadı; \"ara.mp3\" yok"));
        tick();
        QVERIFY(ui.lblUyari->isVisible());

        // The next bell moves on when its time comes, the store unchanged.
        clock.at = QDateTime(today, QTime(12, 40));
        tick();
        QCOMPARE(ui.lblSiradakiZil->text(), QStringLiteral("Sıradaki zil: 15:00:00 Son Ders"));
        clock.at = QDateTime(today, QTime(15, 0));
        tick();
        QCOMPARE(ui.lblSiradakiZil->text(), QStringLiteral("Sıradaki zil: bugün başka zil yok"));

        TfrmZilGecmisi &history = program.history();
        QVERIFY(history.isHidden());
        QTest::mouseClick(ui.lblUyari, Qt::LeftButton, {}, QPoint(40, 8));
        QVERIFY(history.isVisible());
        history.hide();
        ui.ZilGecmisi1->trigger();
        QVERIFY(history.isVisible());
        QCOMPARE(history.windowTitle(), QStringLiteral("Zil Geçmişi"));

        // The last seven days, newest first; the day before them is left out.
        QTableWidget *table = history.lvGecmis();
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(rowTexts(table, 0),
                 (QStringList{"07.12.2026", "11:00:00", "Ara", "ara.mp3", "Çalınamadı", "0",
                              "Dosya açılamadı; \"ara.mp3\" yok"}));
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("Çaldı (yedek ses)"));
        QCOMPARE(rowTexts(table, 2).mid(0, 5),
                 (QStringList{"06.12.2026", "15:00:00", "Son Ders", "son ders.mp3", "Kaçırıldı"}));
        QCOMPARE(table->item(3, 0)->text(), QStringLiteral("06.12.2026"));
        for (int row = 0; row < 4; ++row) {
            const bool marked = row == 0 || row == 2;
            QCOMPARE(table->item(row, 2)->font().bold(), marked);
            QCOMPARE(table->item(row, 2)->background().style() != Qt::NoBrush, marked);
        }

        history.cmbSonuc()->setCurrentText(QStringLiteral("Kaçırıldı"));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("Son Ders"));

        // An end before the start is told and leaves the list alone.
        history.dtpBitis()->setDate(today.addDays(-10));
        QVERIFY(history.lblDurum()->text().contains("Bitiş tarihi"));
        QCOMPARE(table->rowCount(), 1);
        history.dtpBitis()->setDate(today);
        QVERIFY(history.lblDurum()->text().isEmpty());

        history.cmbSonuc()->setCurrentText(QStringLiteral("Çalınamadı"));
        QTemporaryDir out;
        const QString csv = out.filePath("gecmis.csv");
        history.ChooseCsvFile = [&] { return csv; };
        QTest::mouseClick(history.btnCsvKaydet(), Qt::LeftButton);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        // A byte-order mark first, so a spreadsheet reads the Turkish letters as UTF-8.
        QCOMPARE(file.read(3), QByteArray("\xEF\xBB\xBF"));
        QVERIFY2(history.lblDurum()->text().startsWith("1 satır kaydedildi"),
                 qPrintable(history.lblDurum()->text()));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QStringLiteral("Tarih;Saat;Zil;Müzik;Sonuç;Gecikme (ms);Açıklama\r\n"
                                "07.12.2026;11:00:00;Ara;ara.mp3;Çalınamadı;0;"
                                "\"Dosya açılamadı; \"\"ara.mp3\"\" yok\"\r\n"));

        history.ChooseCsvFile = [&] { return out.filePath("yok/gecmis.csv"); };
        BoxAnswerer box("OK");
        QTest::mouseClick(history.btnCsvKaydet(), Qt::LeftButton);
        QCOMPARE(box.texts.size(), 1);
        QVERIFY2(box.texts.first().contains("kaydedilemedi"), qPrintable(box.texts.first()));

        // A long explanation is read whole from its tooltip.
        QCOMPARE(table->item(0, TfrmZilGecmisi::ColAciklama)->toolTip(),
                 QStringLiteral("Dosya açılamadı; \"ara.mp3\" yok"));
        // Esc and "Kapat" close the window, as in the program's other small windows.
        history.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&history));
        QTest::keyClick(&history, Qt::Key_Escape);
        QVERIFY(history.isHidden());
        ui.ZilGecmisi1->trigger();
        auto *kapat = history.findChild<QPushButton *>(QStringLiteral("btnKapat"));
        QVERIFY(kapat);
        QTest::mouseClick(kapat, Qt::LeftButton);
        QVERIFY(history.isHidden());
    }
};

int main(int argc, char **argv) {
    ZilApplication app(argc, argv);
    TestBellRecord test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bellrecord.moc"
