#include "AnaSayfa.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "ui_AnaSayfa.h"

#include "Clock.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The line about the computer's clock, from a fake timedatectl through the whole program to the
// main window and the tray.
class TestClockLine : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ScheduleFixture> fx;
    std::unique_ptr<QTemporaryDir> tools;
    SimulatedClock clock;
    std::unique_ptr<Program> program;

    void answer(const QString &value) {
        QFile script(tools->filePath("timedatectl"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho " + value.toUtf8() + "\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QSignalSpy changed(&program->clockSync(), &ClockSync::changed);
        program->clockSync().ask();
        QVERIFY(changed.wait(5000));
    }
    // The lines above the list that are shown, none of which may cover another or the player.
    void noneOverlaps() {
        auto &ui = program->menu().controls();
        QList<QWidget *> shown;
        for (QWidget *w :
             QList<QWidget *>{ui.Label1, ui.lblTakvim, ui.lblUyari, ui.lblHizmet,
                              program->menu().clockLine(), ui.mpPlayer, ui.gbListe, ui.imgLogo})
            if (!w->isHidden())
                shown.append(w);
        for (int a = 0; a < shown.size(); ++a)
            for (int b = a + 1; b < shown.size(); ++b)
                QVERIFY2(!shown[a]->geometry().intersects(shown[b]->geometry()),
                         qPrintable(shown[a]->objectName() + " / " + shown[b]->objectName()));
    }

private slots:
    void init() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        fx = std::make_unique<ScheduleFixture>();
        tools = std::make_unique<QTemporaryDir>();
        setProgramFolder(fx->folder());
        clock.at = QDateTime(QDate(2026, 12, 7), QTime(10, 0));
        setProgramClock(&clock);
        fx->insert(0, "1. Ders", "10:30:00", "zil.mp3", 30);
        program = std::make_unique<Program>([] { return false; });
        program->clockSync().setToolFolders({tools->path()});
        program->menu().show();
    }
    void cleanup() {
        program.reset();
        setProgramClock(nullptr);
        setProgramFolder({});
        fx.reset();
    }

    void notSynchronisedIsSaidInTheWindowAndTheTray() {
        TfrmMenu &menu = program->menu();
        QLabel *line = menu.clockLine();
        QVERIFY(line->isHidden());
        answer("no");
        QVERIFY(!line->isHidden());
        QVERIFY(line->text().startsWith(QStringLiteral("Saat ağdan ayarlanmıyor")));
        QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
        QVERIFY(line->toolTip().contains(QStringLiteral("Tarih ve saat")));
        QVERIFY(program->tray().icon().toolTip().contains(
            QStringLiteral("Bilgisayarın saati ağdan ayarlanmıyor")));
        noneOverlaps();

        // Put right: the line goes from both.
        answer("yes");
        QVERIFY(line->isHidden());
        QVERIFY(!program->tray().icon().toolTip().contains(QStringLiteral("ağdan")));

        // No answer at all is told as such, not as a clock that is right.
        QFile::remove(tools->filePath("timedatectl"));
        QSignalSpy changed(&program->clockSync(), &ClockSync::changed);
        program->clockSync().ask();
        QVERIFY(changed.wait(5000));
        QVERIFY(!line->isHidden());
        QVERIFY(program->tray().icon().toolTip().contains(QStringLiteral("öğrenilemedi")));
    }

    // However many of the other lines show, the clock's finds a row of its own.
    void theLineFindsARowBesideTheOthers() {
        auto &ui = program->menu().controls();
        answer("no");
        noneOverlaps();
        ui.lblUyari->show();
        program->menu().setClockLine(program->clockSync().shortLine(), program->clockSync().line());
        noneOverlaps();
        QVERIFY(!program->menu().clockLine()->isHidden());
        program->setServiceRings(true);
        noneOverlaps();
        QVERIFY(!program->menu().clockLine()->isHidden());
        QVERIFY(!ui.lblUyari->isHidden());
        QVERIFY(!ui.lblHizmet->isHidden());
        program->setServiceRings(false);
        QVERIFY(ui.lblHizmet->isHidden());
        noneOverlaps();
    }
};

QTEST_MAIN(TestClockLine)
#include "tst_clockline.moc"
