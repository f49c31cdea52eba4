// A school morning through the real clock, plan, players and store, on a fake sound layer and a
// simulated clock stepped second by second: lessons, breaks with music, a planned announcement,
// music played by hand that a bell interrupts, and an alarm over a bell. What sounds when is read
// back from the layer and the record.
#include "Bells.h"
#include "Clock.h"
#include "FakeMediaLayer.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"

#include <QtTest>

namespace {
const QDate monday(2026, 12, 7);
} // namespace

class TestSchoolDay : public QObject {
    Q_OBJECT
private slots:
    void aMorningWithMusicAnAnnouncementAndAnAlarm();
};

void TestSchoolDay::aMorningWithMusicAnAnnouncementAndAnAlarm() {
    ScheduleFixture fx;
    SimulatedClock wall;
    setProgramFolder(fx.folder());
    setProgramClock(&wall);
    wall.at = QDateTime(monday, QTime(8, 29));
    const QList<std::pair<QString, QTime>> bells = {
        {"1. Ders Giriş", QTime(8, 30)},  {"1. Ders Çıkış Zili", QTime(9, 10)},
        {"2. Ders Giriş", QTime(9, 20)},  {"2. Ders Çıkış Zili", QTime(10, 0)},
        {"3. Ders Giriş", QTime(10, 10)}, {"3. Ders Çıkış Zili", QTime(10, 50)}};
    for (const auto &[name, at] : bells)
        fx.insert(0, name, at.toString("HH:mm:ss"), "zil.mp3", 5);
    QDir(fx.folder()).mkpath("Muzikler/Teneffüs");
    for (const char *file :
         {"zil.mp3", "Nöbet.wav", "Teneffüs/a.mp3", "Teneffüs/b.mp3", "Teneffüs/bozuk.mp3"}) {
        // Real sound, so the start-of-day check finds each file playable.
        QFile f(fx.folder() + "Muzikler/" + file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ProgramSounds::wave(ProgramSounds::Sound::AnonsCani));
    }
    ProgramSounds::ensure(ProgramSounds::Sound::AnonsCani);
    ProgramSounds::ensure(ProgramSounds::Sound::KesikSiren);

    auto owned = std::make_unique<FakeMediaLayer>();
    FakeMediaLayer &layer = *owned;
    const QString musicDir = fx.folder() + "Muzikler/";
    layer.setOpenFailure(musicDir + "Teneffüs/bozuk.mp3", MCIERR_BASE + 300, "bozuk dosya");
    layer.setLength(musicDir + "zil.mp3", 5000);
    layer.setLength(musicDir + "Nöbet.wav", 20000);
    layer.setLength(musicDir + ProgramSounds::bellName(ProgramSounds::Sound::AnonsCani), 2000);
    QStringList told;
    Bells parts([&](const QString &m) { told << m; }, std::move(owned));
    QVERIFY(parts.start());
    parts.clock().Timer().stop();
    Announcement nobet;
    nobet.name = "Nöbetçi";
    nobet.sound = "Nöbet.wav";
    nobet.gunId = 0;
    nobet.at = QTime(10, 5);
    parts.store().addAnnouncement(nobet);
    BreakMusic::Settings music;
    music.on = true;
    music.shuffle = false;
    parts.breakMusic().setSettings(music);

    // Each second: the sounds move on by it, then the clock ticks, as the program's would.
    QTime lastMusic;      // the last second break music was heard
    QList<int> margins;   // whole seconds of silence before each bell that followed music
    QStringList overlaps; // seconds at which music sounded over anything else
    const auto run = [&](const QTime &until) {
        while (wall.at.time() < until) {
            wall.at = wall.at.addSecs(1);
            layer.advanceAll(1000);
            QCoreApplication::processEvents();
            parts.bellPlayer().checkLength();
            parts.musicPlayer().checkLength();
            parts.clock().TimerTimer();
            QCoreApplication::processEvents();
            const QTime now = wall.at.time();
            const bool musicOn = parts.musicPlayer().playing();
            if (musicOn && (parts.bellPlayer().playing() || parts.player().IsOpen()))
                overlaps << now.toString();
            if (musicOn)
                lastMusic = now;
            for (const auto &[name, at] : bells)
                if (at == now && lastMusic.isValid() && lastMusic.secsTo(now) < 600)
                    margins << lastMusic.secsTo(now) - 1;
        }
    };

    run(QTime(9, 9, 50));
    // Someone plays a song by hand just before the exit bell.
    parts.player().setFileName(musicDir + "a.mp3");
    parts.player().Open();
    parts.player().Play();
    QVERIFY(parts.player().IsOpen());
    run(QTime(9, 10, 0));
    QVERIFY2(!parts.player().IsOpen(), "the bell stops the music played by hand");
    // Music only once the exit bell has finished.
    run(QTime(9, 10, 4));
    QVERIFY(!parts.musicPlayer().playing());
    run(QTime(9, 10, 5));
    QVERIFY(parts.musicPlayer().playing());
    // Under way, music played by hand waits.
    QCOMPARE(parts.louderSound(), QStringLiteral("Teneffüs müziği çalıyor"));
    run(QTime(10, 4, 57));
    QVERIFY2(!parts.musicPlayer().playing(), "silent before the announcement's chime");
    run(QTime(10, 6, 10));
    QVERIFY2(parts.musicPlayer().playing(), "the break goes on after the announcement");
    // The tray's switch: off for the rest of today, then on again.
    parts.breakMusic().setOffToday(true);
    run(QTime(10, 6, 15));
    QVERIFY(!parts.musicPlayer().playing());
    parts.breakMusic().setOffToday(false);
    run(QTime(10, 6, 17));
    QVERIFY(parts.musicPlayer().playing());
    run(QTime(10, 49, 55));
    parts.alarm().sound(Alarm::Kind::Yangin);
    // The siren breaks off (the sound server went away): it is tried again, not left silent.
    run(QTime(10, 51, 0));
    const QString siren = musicDir + ProgramSounds::bellName(ProgramSounds::Sound::KesikSiren);
    for (quint16 device : layer.openDevices())
        if (layer.device(device)->element == siren)
            layer.deliverNotice(device, MCI_NOTIFY_FAILURE);
    QTRY_VERIFY_WITH_TIMEOUT(!parts.bellPlayer().playing(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(parts.bellPlayer().playing(), 3000);
    told.clear();
    run(QTime(10, 52, 30));
    QVERIFY(parts.alarm().sounding());
    QVERIFY(parts.stopMusic());
    run(QTime(10, 52, 40));

    QVERIFY2(overlaps.isEmpty(), qPrintable(overlaps.join(' ')));
    // After both breaks with music the next bell came after a second of silence, the fade
    // before it having begun two seconds earlier.
    QCOMPARE(margins, (QList<int>{1, 1}));
    QStringList fades;
    for (const FakeMediaLayer::Request &r : layer.requests())
        if (r.name == "volume")
            fades << QStringLiteral("%1/%2").arg(r.argument).arg(r.from.value_or(-1));
    QVERIFY2(fades.count("0/2000") >= 2, qPrintable(fades.join(' ')));
    // The siren started over when it ended, with no two-minute limit.
    int sirens = 0;
    for (const FakeMediaLayer::Request &r : layer.requests())
        sirens += r.name == "open" && r.element == siren && r.result == 0;
    QCOMPARE(sirens, 4); // 10:49:55, 10:50:55, again after it broke off at 10:51, 10:52

    QStringList lines;
    for (const BellEvent &e : parts.store().history(monday, monday))
        lines.prepend(e.start + ' ' + e.name + ' ' + outcomeCode(e.outcome) +
                      (e.reason.isEmpty() ? QString() : " (" + e.reason + ')'));
    QCOMPARE(lines, (QStringList{
                        "08:30:00 1. Ders Giriş caldi",
                        "09:10:00 1. Ders Çıkış Zili caldi",
                        "09:12:05 Teneffüs müziği basarisiz (bozuk dosya)",
                        "09:20:00 2. Ders Giriş caldi",
                        "10:00:00 2. Ders Çıkış Zili caldi",
                        "10:04:58 Anons çanı: Nöbetçi caldi",
                        "10:05:00 Anons: Nöbetçi caldi",
                        "10:10:00 3. Ders Giriş caldi",
                        "10:49:55 Acil durum: Yangın caldi",
                        "10:50:00 3. Ders Çıkış Zili yerine (acil durum alarmı çalıyordu)",
                    }));
    // Only the test machine's missing sound card is told: no music or alarm trouble.
    QVERIFY2(told.filter("Teneffüs").isEmpty() && told.filter("Alarm").isEmpty(),
             qPrintable(told.join('\n')));
}

QTEST_MAIN(TestSchoolDay)
#include "tst_schoolday.moc"
