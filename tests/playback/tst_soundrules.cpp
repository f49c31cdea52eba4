// What wins when two sounds meet: the README's table is the code's, and a 10 Kasım morning through
// the real bells, store and calendar on a simulated clock plays and records what that table says.
#include "Bells.h"
#include "Clock.h"
#include "FakeMediaLayer.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "SoundRules.h"
#include "TestMedia.h"

#include <QtTest>

class TestSoundRules : public QObject {
    Q_OBJECT
private slots:
    void readmeTableIsTheRules();
    void aTenthOfNovemberMorning();
};

void TestSoundRules::readmeTableIsTheRules() {
    QFile readme(QStringLiteral(ZIL_README));
    QVERIFY(readme.open(QFile::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    QList<QStringList> rows; // the first table after the heading, without its rule line
    for (const QString &line : text.mid(text.indexOf("### What wins when")).split('\n'))
        if (line.startsWith('|') && !line.startsWith("|---"))
            rows << line.mid(1, line.size() - 2).split('|');
        else if (!rows.isEmpty() && !line.startsWith('|'))
            break;
    QCOMPARE(rows.size(), SoundRules::KindCount + 1);
    const QStringList levels = {"Zil", "Anons", "Müzik", "Alarm"};
    const QStringList words = {"cuts it", "waits", "gives way"};
    for (const SoundRules::Rule &rule : SoundRules::table()) {
        const int i = int(rule.kind);
        QCOMPARE(rows[0][i + 1].trimmed(), QString::fromUtf8(rule.title));
        QCOMPARE(rows[i + 1][0].trimmed(), QString::fromUtf8(rule.title));
        for (int j = 0; j < SoundRules::KindCount; ++j)
            QCOMPARE(rows[i + 1][j + 1].trimmed(), words[int(rule.whileSounds[j])]);
        QCOMPARE(rows[i + 1][SoundRules::KindCount + 1].trimmed(), levels[int(rule.level)]);
    }
}

void TestSoundRules::aTenthOfNovemberMorning() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    QVERIFY(QDir().mkpath(musicFolder() + "Programın sesleri"));
    for (const QString name : {"zil", "marsi", "duyuru", "Programın sesleri/Sabit siren",
                               "Programın sesleri/Anons çanı"})
        QVERIFY(makeMediaFile(toneSource(200) + "wavenc ! filesink location=\"" + musicFolder() +
                              name + ".wav\""));
    QVERIFY(QFile(musicFolder() + "bozuk.wav").open(QFile::WriteOnly)); // no sound in it
    for (int gun : {1, 2})
        for (const char *t : {"09:00:00", "09:06:00", "09:07:10"})
            fx.insert(gun, QStringLiteral("Ders %1").arg(t), t, "zil.wav", 6);
    auto *layer = new FakeMediaLayer;
    layer->setLength(musicFolder() + "Programın sesleri/Sabit siren.wav", 180 * 1000);
    Bells bells({}, std::unique_ptr<MediaLayer>(layer));
    QVERIFY(bells.start());
    bells.calendar().setIstiklalMarsi("marsi.wav");
    const int nobet =
        bells.store().addAnnouncement({0, "Nöbet", {}, "duyuru.wav", 0, 1, {}, QTime(9, 7, 10), 0});
    bells.store().addAnnouncement({0, "Bozuk", {}, "bozuk.wav", 0, 1, {}, QTime(9, 30), 0});
    const auto at = [&](const QDate &day, const char *time) {
        const QDateTime to(day, QTime::fromString(time));
        if (wall.at.isValid())
            layer->advanceAll(int(std::min<qint64>(wall.at.msecsTo(to), 3600 * 1000)));
        wall.at = to;
        bells.clock().TimerTimer();
    };
    const QDate tuesday(2026, 11, 10);
    QSignalSpy checked(&bells.dayCheck(), &DayCheck::checked);
    at(tuesday, "08:59:59");
    QTRY_COMPARE(checked.count(), 1);
    at(tuesday, "09:00:00");
    at(tuesday, "09:00:01");
    const auto announce = [&] {
        PhoneCommand now;
        now.kind = PhoneCommand::Kind::AnnounceNow;
        now.announcement = nobet;
        return bells.commands().perform(now, {}).line;
    };
    QCOMPARE(announce(), "Anons şimdi yapılamaz: \"Ders 09:00:00\" çalıyor.");
    for (const char *t : {"09:05:00", "09:06:00"})
        at(tuesday, t);
    QCOMPARE(announce(), "Anons şimdi yapılamaz: \"10 Kasım saygı duruşu\" çalıyor.");
    for (const char *t : {"09:07:00", "09:07:08", "09:07:10", "09:29:58", "09:30:00"})
        at(tuesday, t);
    // Music by hand opens at the ceiling, through the music's output.
    bells.soundSettings().write({100, {100, 100, 100, 100}, 40, {"", "", "koridor", ""}});
    bells.player().setFileName(musicFolder() + "zil.wav");
    bells.player().Open();
    QStringList opened;
    qint64 volume = 0;
    for (const auto &r : layer->requests()) {
        if (r.name == "open")
            opened << QFileInfo(r.element).fileName() + ' ' + r.output;
        volume = r.name == "volume" ? r.argument : volume;
    }
    QCOMPARE(volume, 400);
    QCOMPARE(opened,
             (QStringList{"zil.wav ", "Sabit siren.wav ", "marsi.wav ", "zil.wav koridor"}));

    // A year on, the sound server is gone at the siren's second and back ten seconds later.
    const QDate wednesday(2027, 11, 10);
    for (const char *t : {"09:04:59", "09:05:00", "09:05:10", "09:06:00"}) {
        layer->setOutputLost(QByteArray(t) == "09:05:00");
        at(wednesday, t);
    }

    QStringList lines;
    QString broken; // what the morning check found of bozuk.wav
    for (const BellEvent &e : bells.store().history(tuesday, wednesday))
        if (e.outcome == BellOutcome::Warning)
            broken = e.music == "bozuk.wav" ? e.reason : broken;
        else if (e.outcome != BellOutcome::Skipped)
            lines.prepend(e.start + ' ' + e.name + ' ' + outcomeCode(e.outcome) +
                          (e.outcome == BellOutcome::Rang ? QString() : ": " + e.reason));
    QVERIFY(!broken.isEmpty());
    const QString siren = ": \"10 Kasım saygı duruşu\" çalarken";
    const QString anthem = ": \"İstiklal Marşı (10 Kasım)\" çalarken";
    QCOMPARE(lines,
             (QStringList{"09:00:00 Ders 09:00:00 caldi", "09:05:00 10 Kasım saygı duruşu caldi",
                          "09:06:00 Ders 09:06:00 yerine" + siren,
                          "09:07:00 İstiklal Marşı (10 Kasım) caldi",
                          "09:07:08 Anons çanı: Nöbet yerine" + anthem,
                          "09:07:10 Ders 09:07:10 yerine" + anthem,
                          "09:07:10 Anons: Nöbet yerine" + anthem,
                          "09:29:58 Anons çanı: Bozuk basarisiz: anons çalınamaz: " + broken,
                          "09:30:00 Anons: Bozuk basarisiz: " + broken,
                          "09:05:00 10 Kasım saygı duruşu basarisiz: ses çıkışı yok",
                          "09:06:00 Ders 09:06:00 caldi"}));
    setProgramClock(nullptr);
    setProgramFolder({});
}

QTEST_GUILESS_MAIN(TestSoundRules)
#include "tst_soundrules.moc"
