#include "AnaSayfa.h"
#include "FakeMediaLayer.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "WeekPrint.h"
#include "ui_AnaSayfa.h"

#include "Clock.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"

#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

// The week on paper: written as a PDF and read back with poppler's pdftotext and pdfinfo.
class TestWeekPrint : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ScheduleFixture> fx;
    SimulatedClock clock;

    static QString run(const QString &tool, const QStringList &arguments) {
        QProcess process;
        process.start(tool, arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            return QStringLiteral("<%1 failed: %2>").arg(tool, process.readAllStandardError());
        return QString::fromUtf8(process.readAllStandardOutput());
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QFAIL("pdftotext (poppler-utils) is needed: scripts/install-deps installs it");
    }
    void init() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        fx = std::make_unique<ScheduleFixture>();
        setProgramFolder(fx->folder());
        clock.at = QDateTime(QDate(2026, 12, 8), QTime(16, 30));
        setProgramClock(&clock);
    }
    void cleanup() {
        setProgramClock(nullptr);
        setProgramFolder({});
        fx.reset();
    }

    // A programme with a very long Monday: one page, the school's name, every bell's time.
    void theChosenProgrammesWeekOnOnePage() {
        Program program([] { return false; }, std::make_unique<FakeMediaLayer>());
        program.calendar().setSchoolName(QStringLiteral("Atatürk İlkokulu"));
        // Normal's bells must not be printed for another programme.
        fx->insert(0, "Normal ders", "09:59:59", "zil.mp3", 30);
        const int kisa = program.store().addProgramme(QStringLiteral("Kısaltılmış"));
        QList<Bell> bells;
        QStringList times;
        // 60 bells on Monday, a few on other days and one on Saturday.
        for (int i = 0; i < 60; ++i) {
            const QTime at = QTime(7, 0).addSecs(i * 13 * 60 + i);
            bells.append({0,
                          0,
                          QStringLiteral("%1. Ders").arg(i + 1),
                          at.toString(QStringLiteral("HH:mm:ss")),
                          "zil.mp3",
                          30,
                          kisa,
                          {}});
            times << at.toString(QStringLiteral("HH:mm:ss"));
        }
        for (int gun : {1, 4, 5}) {
            const QTime at(8 + gun, 10 + gun, 5);
            bells.append({0,
                          gun,
                          QStringLiteral("Uzun adlı bir zil %1").arg(gun),
                          at.toString(QStringLiteral("HH:mm:ss")),
                          "zil.mp3",
                          30,
                          kisa,
                          {}});
            times << at.toString(QStringLiteral("HH:mm:ss"));
        }
        program.store().add(bells);
        program.menu().refreshProgrammes();
        QComboBox *choice = program.menu().controls().cmbProgram;
        choice->setCurrentIndex(choice->findData(kisa));
        QCOMPARE(program.menu().chosenProgramme(), kisa);

        // The menu's command opens the preview of that programme and leaves the program running.
        QVERIFY(program.menu().controls().Dosya1->actions().contains(&program.printAction()));
        program.printAction().trigger();
        auto *preview =
            program.menu().findChild<QPrintPreviewDialog *>(QStringLiteral("dlgYazdir"));
        QVERIFY(preview);
        QVERIFY(preview->isVisible());
        QVERIFY(preview->windowTitle().contains(QStringLiteral("Kısaltılmış")));
        preview->close();

        const WeekSheet sheet =
            WeekSheet::of(program.store(), program.menu().chosenProgramme(),
                          program.calendar().schoolName(), programClock().now());
        QCOMPARE(sheet.columns(), (QList<int>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(sheet.rows(), 60);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("hafta.pdf"));
        {
            QPdfWriter writer(file);
            QVERIFY(printWeek(writer, sheet));
        }
        const QString info = run(QStringLiteral("pdfinfo"), {file});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))),
                 qPrintable(info));
        QVERIFY2(info.contains(QStringLiteral("842 x 595")), qPrintable(info));
        const QString text = run(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
        QVERIFY2(text.contains(QStringLiteral("Atatürk İlkokulu")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Kısaltılmış programı")));
        QVERIFY(text.contains(QStringLiteral("8 Aralık 2026 16:30")));
        QVERIFY(text.contains(QStringLiteral("Cumartesi")));
        QVERIFY(!text.contains(QStringLiteral("Pazar\n")));
        for (const QString &time : times)
            QVERIFY2(text.contains(time), qPrintable(time));
        QVERIFY(text.contains(QStringLiteral("60. Ders")));
        QVERIFY(!text.contains(QStringLiteral("09:59:59")));

        // Laid out inside the page, in smaller letters than a short week's.
        QPdfWriter measure(dir.filePath(QStringLiteral("olcu.pdf")));
        measure.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                          QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        QPainter painter(&measure);
        const QRectF page(0, 0, measure.width(), measure.height());
        const WeekLayout longWeek = paintWeek(painter, page, sheet);
        WeekSheet shortSheet = sheet;
        shortSheet.days[0] = shortSheet.days[0].mid(0, 5);
        const WeekLayout shortWeek = paintWeek(painter, page, shortSheet);
        painter.end();
        QVERIFY(page.contains(longWeek.table));
        QVERIFY(longWeek.fontPixels < shortWeek.fontPixels);
    }
};

QTEST_MAIN(TestWeekPrint)
#include "tst_weekprint.moc"
