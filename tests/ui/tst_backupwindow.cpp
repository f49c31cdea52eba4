// "Yedekle…" and "Yedekten geri yükle…" from the main window's Dosya menu, with the program put
// together as at start-up: a backup saved, the schedule changed, the backup restored after the
// summary was shown and agreed to, and the next bell then the restored one.
#include "Backup.h"
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "Yedekleme.h"
#include "ui_AnaSayfa.h"

#include <QDir>
#include <QtTest>

class TestBackupWindow : public QObject {
    Q_OBJECT
private slots:
    void backUpChangeAndRestore() {
        ScheduleFixture fx;
        SimulatedClock clock;
        const QDate monday(2026, 12, 14);
        clock.at = QDateTime(monday, QTime(7, 0));
        setProgramFolder(fx.folder());
        setProgramClock(&clock);
        fx.insert(0, "1. Ders", "08:30:00", "zil.mp3", 30);
        QDir().mkpath(fx.folder() + "Muzikler");
        QFile music(fx.folder() + "Muzikler/zil.mp3");
        QVERIFY(music.open(QIODevice::WriteOnly) && music.write("zil") == 3);
        music.close();
        QTemporaryDir out;
        const QString file = out.filePath(QStringLiteral("okul.tar.gz"));
        Yedekleme::chooseSaveFile = [&](QWidget *) { return file; };
        Yedekleme::chooseOpenFile = [&](QWidget *) { return file; };
        {
            Program program([] { return false; }, std::make_unique<FakeMediaLayer>());
            // Only the ticks the test makes: a slow run must not ring or report by itself.
            program.clock().Timer().stop();
            program.menu().show();
            auto *backUp = program.menu().findChild<QAction *>(QStringLiteral("Yedekle1"));
            auto *restore = program.menu().findChild<QAction *>(QStringLiteral("GeriYukle1"));
            QVERIFY(backUp && restore);
            QVERIFY(program.menu().controls().Dosya1->actions().contains(restore));
            {
                BoxAnswerer boxes;
                backUp->trigger();
                QTRY_COMPARE(boxes.texts.size(), 1);
                QVERIFY2(boxes.texts[0].contains(QStringLiteral("Yedek alındı")),
                         qPrintable(boxes.texts[0]));
            }
            QVERIFY(QFileInfo(file).size() > 0);

            // The week changed after the backup.
            program.store().removeDays({0});
            program.store().add({{0, 0, QStringLiteral("Yeni"), QStringLiteral("09:00:00"),
                                  QStringLiteral("zil.mp3"), 5}});
            program.plan().update(monday);
            QCOMPARE(program.plan().next(QTime(7, 0))->bell.name, QStringLiteral("Yeni"));
            program.menu().ListeyiDoldur();
            const auto listed = [&] {
                QStringList names;
                QTreeWidget *list = program.menu().controls().ListView1;
                for (int i = 0; i < list->topLevelItemCount(); ++i)
                    for (int c = 0; c < list->columnCount(); ++c)
                        names << list->topLevelItem(i)->text(c);
                return names;
            };
            QVERIFY(listed().contains(QStringLiteral("Yeni")));

            // Vazgeç: nothing is put back.
            {
                BoxAnswerer boxes(QStringLiteral("Vazgeç"));
                restore->trigger();
                QTRY_COMPARE(boxes.texts.size(), 1);
                QVERIFY2(boxes.texts[0].contains(QStringLiteral("Zil sayısı: 1")),
                         qPrintable(boxes.texts[0]));
            }
            QVERIFY(!program.plan().update(monday));
            QCOMPARE(program.plan().next(QTime(7, 0))->bell.name, QStringLiteral("Yeni"));

            {
                BoxAnswerer boxes(QStringLiteral("Geri yükle"));
                restore->trigger();
                QTRY_COMPARE(boxes.texts.size(), 2);
                QVERIFY2(boxes.texts[1].contains(QStringLiteral("Yedek geri yüklendi")),
                         qPrintable(boxes.texts[1]));
            }
            // The running program rings the restored week, and lists it.
            QVERIFY(program.plan().update(monday));
            QCOMPARE(program.plan().next(QTime(7, 0))->bell.name, QStringLiteral("1. Ders"));
            QVERIFY(listed().contains(QStringLiteral("1. Ders")));
            QVERIFY(!listed().contains(QStringLiteral("Yeni")));
            QVERIFY(!QDir(Backup::copiesFolder(fx.folder()))
                         .entryList({QStringLiteral("once-*geri-yukleme.tar")})
                         .isEmpty());

            // A file that is not a backup: told, nothing changed.
            QFile junk(file);
            QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("junk") == 4);
            junk.close();
            {
                BoxAnswerer boxes;
                restore->trigger();
                QTRY_COMPARE(boxes.texts.size(), 1);
                QVERIFY2(boxes.texts[0].contains(QStringLiteral("Hiçbir şey değiştirilmedi")),
                         qPrintable(boxes.texts[0]));
            }
            QVERIFY(!program.plan().update(monday));
        }
        setProgramClock(nullptr);
        setProgramFolder({});
    }
};

QTEST_MAIN(TestBackupWindow)
#include "tst_backupwindow.moc"
