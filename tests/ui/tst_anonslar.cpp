// "Anonslar": a school enters, hears, edits and deletes announcements through the window, with the
// program put together as at start-up, the real espeak-ng and a scripted player.
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Speech.h"
#include "Startup.h"
#include "ui_Anonslar.h"

#include <QtTest>

namespace {
// Monday 7 December 2026.
const QDate Monday(2026, 12, 7);

// Seconds of a 16-bit mono WAV file; 0 when it is not one.
double secondsOf(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray w = file.readAll();
    if (w.size() < 44 || !w.startsWith("RIFF"))
        return 0;
    return (w.size() - 44) / 2.0 / qFromLittleEndian<quint32>(w.constData() + 24);
}

QStringList opened(const FakeMediaLayer &layer) {
    QStringList files;
    for (const FakeMediaLayer::Request &r : layer.requests())
        if (r.name == QLatin1String("open"))
            files << r.element;
    return files;
}
} // namespace

class TestAnonslar : public QObject {
    Q_OBJECT
private slots:
    void aSchoolsAnnouncementsFromTheWindow() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        SimulatedClock clock;
        clock.at = QDateTime(Monday, QTime(10, 0));
        setProgramClock(&clock);
        QTemporaryDir sources;
        const QString recording = sources.filePath(QStringLiteral("tören.wav"));
        {
            QFile file(recording);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("RIFF....WAVE") > 0);
        }
        auto owned = std::make_unique<FakeMediaLayer>();
        FakeMediaLayer &layer = *owned;
        {
            Program program([] { return false; }, std::move(owned));
            program.clock().Timer().stop();
            BellStore &store = program.store();
            TfrmAnonslar &window = program.announcementsWindow();
            Ui::TfrmAnonslar &ui = window.controls();
            const auto saveAndWait = [&] {
                QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
                QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 20000);
            };

            program.menu().findChild<QAction *>("Anonslar1")->trigger();
            QVERIFY(window.isVisible());

            // A text, every Monday of Normal: spoken once, on saving.
            ui.txtAd->setText(QStringLiteral("Kurul"));
            ui.txtMetin->setPlainText(
                QStringLiteral("Öğretmenler kurulu 15.30'da konferans salonunda toplanacaktır."));
            ui.cmbGun->setCurrentIndex(0);
            ui.tmSaat->setTime(QTime(15, 25));
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QVERIFY(window.busy() && !ui.btnKaydet->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 20000);
            QList<Announcement> all = store.announcements();
            QCOMPARE(all.size(), 1);
            const Announcement kurul = all.first();
            QCOMPARE(kurul.text, ui.txtMetin->toPlainText());
            QCOMPARE(kurul.sound, Speech::soundName(kurul.text));
            QVERIFY(kurul.sound.startsWith(QStringLiteral("Anonslar/")));
            QVERIFY2(secondsOf(musicFolder() + kurul.sound) > 2,
                     qPrintable(musicFolder() + kurul.sound));
            QCOMPARE(store.announcementsOn(Monday).size(), 1);
            QCOMPARE(store.announcementsOn(Monday).first().at, QTime(15, 25));
            QCOMPARE(ui.lvAnonslar->topLevelItemCount(), 1);

            // "Şimdi anons et": the chime through the bells' output, the announcement two seconds
            // on, both in the record; one more made now gives way to a bell begun meanwhile.
            ui.lvAnonslar->setCurrentItem(ui.lvAnonslar->topLevelItem(0));
            auto *now = window.findChild<QPushButton *>(QStringLiteral("btnSimdi"));
            QVERIFY(now);
            layer.clearRequests();
            QTest::mouseClick(now, Qt::LeftButton);
            QCOMPARE(QFileInfo(opened(layer).value(0)).fileName(),
                     QStringLiteral("Anons çanı.wav"));
            QTRY_COMPARE_WITH_TIMEOUT(opened(layer).size(), 2, 8000);
            QCOMPARE(opened(layer).last(), musicFolder() + kurul.sound);
            QTest::mouseClick(now, Qt::LeftButton);
            program.bells().clock().soundNow(
                Bell{0, 0, "Zil", QStringLiteral("10:00:01"), kurul.sound, 5});
            const auto lines = [&] {
                QStringList read;
                for (const BellEvent &e : store.history(Monday, Monday))
                    read.prepend(e.name + ' ' + outcomeCode(e.outcome));
                return read;
            };
            QTRY_VERIFY_WITH_TIMEOUT(lines().contains("Anons (şimdi): Kurul yerine"), 8000);
            QCOMPARE(opened(layer).size(), 4);
            clock.at = clock.at.addSecs(3);
            program.clock().TimerTimer();
            QCOMPARE(lines(), (QStringList{"Anons çanı: Kurul caldi", "Anons (şimdi): Kurul caldi",
                                           "Anons çanı: Kurul caldi", "Zil caldi",
                                           "Anons (şimdi): Kurul yerine"}));

            // "Dinle" waits while the bell sounds, then speaks the text through the player bar's
            // device.
            ui.txtMetin->setPlainText(QStringLiteral("Saat 16.00'da zil çalacak."));
            {
                BoxAnswerer ok(QStringLiteral("OK"));
                QTest::mouseClick(ui.btnDinle, Qt::LeftButton);
                QCOMPARE(ok.texts, QStringList{"Zil çalıyor; elle müzik şimdi çalınamaz."});
            }
            program.bells().stopMusic();
            layer.clearRequests();
            QTest::mouseClick(ui.btnDinle, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), 20000);
            QCOMPARE(opened(layer).size(), 1);
            QVERIFY(secondsOf(opened(layer).first()) > 1);
            QCOMPARE(layer.count(QStringLiteral("play")), 1);

            // Typed and not saved: kept when the window is closed and opened, and when choosing
            // another announcement is not agreed to. (What was heard was not saved: asked.)
            {
                BoxAnswerer yes(QStringLiteral("Evet"));
                ui.btnYeni->click();
                QCOMPARE(yes.texts.size(), 1);
            }
            ui.txtAd->setText(QStringLiteral("Yarım"));
            window.close();
            program.menu().findChild<QAction *>("Anonslar1")->trigger();
            QCOMPARE(ui.txtAd->text(), QStringLiteral("Yarım"));
            {
                BoxAnswerer no(QStringLiteral("Hayır"));
                ui.lvAnonslar->setCurrentItem(ui.lvAnonslar->topLevelItem(0));
                QCOMPARE(no.texts.size(), 1);
            }
            QCOMPARE(ui.txtAd->text(), QStringLiteral("Yarım"));
            QVERIFY(ui.lvAnonslar->selectedItems().isEmpty());
            {
                BoxAnswerer yes(QStringLiteral("Evet"));
                ui.btnYeni->click();
                QCOMPARE(yes.texts.size(), 1);
            }
            QVERIFY(ui.txtAd->text().isEmpty());

            // Chosen in the list, then edited: the new text is spoken, the old file goes.
            QVERIFY(ui.txtMetin->toPlainText().isEmpty());
            ui.lvAnonslar->setCurrentItem(ui.lvAnonslar->topLevelItem(0));
            QCOMPARE(ui.txtAd->text(), QStringLiteral("Kurul"));
            QCOMPARE(ui.txtMetin->toPlainText(), kurul.text);
            QCOMPARE(ui.tmSaat->time(), QTime(15, 25));
            ui.txtMetin->setPlainText(
                QStringLiteral("Öğretmenler kurulu 16.00'da konferans salonunda toplanacaktır."));
            saveAndWait();
            all = store.announcements();
            QCOMPARE(all.size(), 1);
            QCOMPARE(all.first().id, kurul.id);
            QVERIFY(all.first().text.contains(QStringLiteral("16.00")));
            QVERIFY(!QFileInfo::exists(musicFolder() + kurul.sound));
            QVERIFY(secondsOf(musicFolder() + all.first().sound) > 2);

            // A text that cannot be spoken: told, nothing saved, the text kept in the window.
            ui.btnYeni->click();
            ui.txtAd->setText(QStringLiteral("Uzun"));
            const QString tooLong(Speech::MaxCharacters + 1, u'a');
            ui.txtMetin->setPlainText(tooLong);
            {
                BoxAnswerer ok(QStringLiteral("OK"));
                saveAndWait();
                // (The clock's tick above began the day: its check of today's sounds speaks too.)
                QTRY_VERIFY(std::any_of(ok.texts.begin(), ok.texts.end(), [](const QString &t) {
                    return t.startsWith(QStringLiteral("Anons kaydedilmedi. Anons metni çok uzun"));
                }));
            }
            QCOMPARE(store.announcements().size(), 1);
            QCOMPARE(ui.txtMetin->toPlainText(), tooLong);
            QVERIFY(window.isVisible());

            // The school's recording, on one date; a date already past is refused.
            {
                BoxAnswerer yes(QStringLiteral("Evet"));
                ui.btnYeni->click();
                QCOMPARE(yes.texts.size(), 1);
            }
            ui.txtAd->setText(QStringLiteral("Tören"));
            ui.rbKayit->setChecked(true);
            QVERIFY(!ui.txtMetin->isEnabled());
            window.ChooseMusicFile = [&] { return recording; };
            ui.btnDosya->click();
            QCOMPARE(ui.txtDosya->text(), QStringLiteral("tören.wav"));
            ui.rbTarih->setChecked(true);
            ui.dtpTarih->setDate(Monday.addDays(-1));
            ui.tmSaat->setTime(QTime(9, 0));
            {
                BoxAnswerer ok(QStringLiteral("OK"));
                QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
                QCOMPARE(ok.texts.size(), 1);
                QVERIFY(ok.texts.first().startsWith(QStringLiteral("Bu tarih geçti")));
            }
            ui.dtpTarih->setDate(Monday.addDays(2));
            QTest::mouseClick(ui.btnKaydet, Qt::LeftButton);
            QVERIFY(!window.busy());
            const QList<Announcement> wednesday = store.announcementsOn(Monday.addDays(2));
            QCOMPARE(wednesday.size(), 1);
            QCOMPARE(wednesday.first().sound, QStringLiteral("tören.wav"));
            QVERIFY(wednesday.first().text.isEmpty());
            QCOMPARE(ui.lvAnonslar->topLevelItemCount(), 2);
            // "Dinle" plays the recording from Muzikler.
            layer.clearRequests();
            QTest::mouseClick(ui.btnDinle, Qt::LeftButton);
            QCOMPARE(opened(layer),
                     QStringList{QDir(musicFolder()).filePath(QStringLiteral("tören.wav"))});

            // Deleted: the spoken file goes with it, the school's recording stays.
            const QString spoken = musicFolder() + store.announcements().first().sound;
            for (int row = 0; row < 2; ++row) {
                ui.lvAnonslar->setCurrentItem(ui.lvAnonslar->topLevelItem(0));
                BoxAnswerer yes(QStringLiteral("Evet"));
                QTest::mouseClick(ui.btnSil, Qt::LeftButton);
            }
            QVERIFY(store.announcements().isEmpty());
            QVERIFY(!QFileInfo::exists(spoken));
            QVERIFY(QFileInfo::exists(musicFolder() + QStringLiteral("tören.wav")));
        }
        setProgramClock(nullptr);
        setProgramFolder({});
    }
};

QTEST_MAIN(TestAnonslar)

#include "tst_anonslar.moc"
