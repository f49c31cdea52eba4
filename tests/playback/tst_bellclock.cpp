#include "BellClock.h"
#include "Clock.h"
#include "DayCheck.h"
#include "FakeMediaLayer.h"
#include "LayerBellPlayer.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "SoundSettings.h"

#include <QElapsedTimer>
#include <QFile>

#include <QRandomGenerator>
#include <QtTest>
#include <cstdio>
#include <sys/stat.h>

namespace {

// Monday 7 December 2026.
const QDate Monday(2026, 12, 7);
} // namespace

// A program folder, a schedule, a scripted player and a simulated clock, ticked by hand.
class ClockRig {
public:
    ClockRig() {
        ownedLayer = std::make_unique<FakeMediaLayer>();
        layer = ownedLayer.get();
        player = std::make_unique<LayerBellPlayer>(*layer);
        setProgramFolder(fx.folder());
        setProgramClock(&clock);
        // The start-of-day check asks the output too; a test's is no machine's sound card.
        setAudioSinkDescription(QStringLiteral("fakesink sync=true"));
        store.setFile(fx.databaseFile());
        bell = std::make_unique<BellClock>(store, *player);
        bell->ReportError = [this](const QString &m) { reports << m; };
        QObject::connect(bell.get(), &BellClock::SaatChanged,
                         [this](const QString &c) { caption = c; });
    }
    ~ClockRig() {
        setAudioSinkDescription({});
        setProgramClock(nullptr);
        setProgramFolder({});
    }

    QString music(const QString &name) const { return fx.folder() + "Muzikler/" + name; }

    // Moves the clock (and any playing music) on by ms, then ticks. The player's own timer for
    // the music's length is due by then.
    void tickAfter(qint64 ms) {
        clock.at = clock.at.addMSecs(ms);
        layer->advanceAll(qint32(ms));
        player->checkLength();
        bell->TimerTimer();
    }
    void tickAt(const QTime &t, const QDate &d = Monday) {
        clock.at = QDateTime(d, t);
        bell->TimerTimer();
    }
    // The music of the open device, or nothing.
    QString playingFile() const {
        const FakeMediaLayer::Device *d = layer->device(layer->lastOpened());
        return d ? d->element : QString();
    }
    // How often each music file was opened.
    QMap<QString, int> opens() const {
        QMap<QString, int> result;
        for (const auto &r : layer->requests())
            if (r.name == "open")
                ++result[r.element.mid(fx.folder().size() + 9)];
        return result;
    }

    // The bell record of a date, oldest first, as "name outcome".
    QStringList record(const QDate &d = Monday) {
        QStringList lines;
        for (const BellEvent &e : store.history(d, d))
            lines.prepend(e.name + ' ' + outcomeCode(e.outcome));
        return lines;
    }

    ScheduleFixture fx;
    SimulatedClock clock;
    std::unique_ptr<FakeMediaLayer> ownedLayer;
    FakeMediaLayer *layer = nullptr;
    std::unique_ptr<LayerBellPlayer> player;
    BellStore store;
    std::unique_ptr<BellClock> bell;
    QStringList reports;
    QString caption;
};

class TestBellClock : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey)); }

    void jitteryDayRingsEachBellOnce() {
        ClockRig rig;
        QStringList expected;
        // 120 bells from 08:00:01, 41 s apart, plus one on another day.
        for (int i = 0; i < 120; ++i) {
            const QTime t = QTime(8, 0, 1).addSecs(i * 41);
            const QString name = QStringLiteral("b%1.mp3").arg(i);
            rig.fx.insert(0, name, t.toString("HH:mm:ss"), name, 20);
            expected << name;
        }
        rig.fx.insert(1, "tuesday", "09:00:00", "tuesday.mp3", 20);

        rig.clock.at = QDateTime(Monday, QTime(7, 59, 58, 5));
        QRandomGenerator random(42);
        // Ticks 800..1200 ms apart: some land twice in one second, some straddle a second.
        while (rig.clock.at.time() < QTime(9, 23))
            rig.tickAfter(800 + random.bounded(401));

        const auto opens = rig.opens();
        QCOMPARE(opens.size(), expected.size());
        for (const QString &name : expected)
            QCOMPARE(opens.value(name), 1);
        QVERIFY(rig.reports.isEmpty());
        // The last bell played 20 s and was stopped and closed by the player.
        QVERIFY(rig.layer->openDevices().isEmpty());
        QCOMPARE(rig.layer->count("stop"), 120);
    }

    void stopsAtDurationByPosition() {
        ClockRig rig;
        rig.fx.insert(0, "a", "08:00:00", "a.mp3", 30);
        rig.tickAt(QTime(8, 0, 0, 5));
        QCOMPARE(rig.caption, QStringLiteral("08:00:00"));
        QVERIFY(rig.player->playing());
        const quint16 device = rig.layer->lastOpened();
        for (int i = 0; i < 29; ++i)
            rig.tickAfter(1000);
        QVERIFY(rig.layer->isOpen(device));
        QCOMPARE(rig.layer->count("stop"), 0);
        // Held up: the position stands, so the player leaves it alone.
        rig.layer->setMode(device, MCI_MODE_PAUSE);
        for (int i = 0; i < 10; ++i)
            rig.tickAfter(1000);
        QVERIFY(rig.layer->isOpen(device));
        rig.layer->setMode(device, MCI_MODE_PLAY);
        rig.tickAfter(1000);
        QCOMPARE(rig.layer->count("stop"), 1);
        QVERIFY(!rig.layer->isOpen(device));
        QCOMPARE(rig.player->position(), 30000);
        QCOMPARE(rig.record(), QStringList{"a caldi"});
        // A closed player is not stopped again.
        rig.tickAfter(1000);
        QCOMPARE(rig.layer->count("stop"), 1);
    }

    // Each kind plays at its own level under the ceiling, through its own output, both asked for
    // before the play; a sound with a length fades over its last second (a quarter of a short
    // one) and stops at its length; an output that cannot be had is told once.
    void levelsOutputsAndFadesOfEachPlay() {
        FakeMediaLayer layer;
        LayerBellPlayer player(layer);
        SoundSettings::Values v;
        v.master = 80;
        v.kind = {50, 100, 100, 100};
        v.ceiling = 60;
        v.output = {QString(), QStringLiteral("koridor"), QString(), QStringLiteral("yok")};
        player.setStyle([&v](SoundKind kind) { return SoundRules::style(kind, v); });
        layer.setMissingOutputs({QStringLiteral("yok")});
        QSignalSpy missing(&player, &LayerBellPlayer::outputMissing);
        QSignalSpy finished(&player, &BellPlayer::finished);
        // The requests of the last play: open (with its output), volume (thousandths), play.
        const auto lastPlay = [&layer] {
            QStringList seen;
            qsizetype open = layer.requests().size() - 1;
            while (open > 0 && layer.requests()[open].name != QLatin1String("open"))
                --open;
            for (const FakeMediaLayer::Request &r : layer.requests().mid(open, 3))
                seen << (r.name == QLatin1String("open") ? "open " + r.output
                         : r.name == QLatin1String("volume")
                             ? "volume " + QString::number(r.argument)
                             : r.name);
            return seen;
        };
        const auto volumes = [&layer] {
            QStringList seen;
            for (const FakeMediaLayer::Request &r : layer.requests())
                if (r.name == QLatin1String("volume"))
                    seen << QStringLiteral("%1/%2").arg(r.argument).arg(r.from.value_or(-1));
            return seen;
        };

        QCOMPARE(player.play(QStringLiteral("zil.wav"), 4), std::nullopt);
        QCOMPARE(lastPlay(), (QStringList{"open ", "volume 400", "play"}));
        const quint16 bell = layer.lastOpened();
        layer.advance(bell, 2980);
        player.checkLength();
        QCOMPARE(volumes(), QStringList{"400/0"});
        layer.advance(bell, 20);
        player.checkLength();
        QCOMPARE(volumes(), (QStringList{"400/0", "0/1000"}));
        layer.advance(bell, 990);
        player.checkLength();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!layer.isOpen(bell));

        // Two seconds: half a second of fade.
        QCOMPARE(player.play(QStringLiteral("anons.wav"), 2, SoundKind::Announcement),
                 std::nullopt);
        QCOMPARE(lastPlay(), (QStringList{"open koridor", "volume 600", "play"}));
        QCOMPARE(player.playNote(), QString());
        layer.advance(layer.lastOpened(), 1500);
        player.checkLength();
        QCOMPARE(volumes().constLast(), QStringLiteral("0/500"));

        // The whole file, faded out by hand over 300 ms.
        QCOMPARE(player.play(QStringLiteral("muzik.mp3"), 0, SoundKind::BreakMusic), std::nullopt);
        const quint16 music = layer.lastOpened();
        layer.advance(music, 5000);
        player.fadeOut(300);
        QCOMPARE(volumes().constLast(), QStringLiteral("0/300"));
        QVERIFY(layer.isOpen(music));
        layer.advance(music, 300);
        player.checkLength();
        QVERIFY(!layer.isOpen(music));

        // A missing output: played through the program's own, told once, noted every time.
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(player.play(QStringLiteral("alarm.wav"), 5, SoundKind::Alarm), std::nullopt);
            QVERIFY(player.playing());
            QCOMPARE(layer.output(layer.lastOpened()), QString());
            QVERIFY2(player.playNote().startsWith(QStringLiteral("Ses çıkışı bulunamadı: yok;")),
                     qPrintable(player.playNote()));
        }
        QCOMPARE(missing.size(), 1);
        // Back, and gone again: told again.
        layer.setMissingOutputs({});
        QCOMPARE(player.play(QStringLiteral("alarm.wav"), 5, SoundKind::Alarm), std::nullopt);
        QCOMPARE(player.playNote(), QString());
        layer.setMissingOutputs({QStringLiteral("yok")});
        QCOMPARE(player.play(QStringLiteral("alarm.wav"), 5, SoundKind::Alarm), std::nullopt);
        QCOMPARE(missing.size(), 2);
    }

    void durationZeroPlaysToTheEnd() {
        ClockRig rig;
        rig.layer->setDefaultLength(90000);
        rig.fx.insert(0, "a", "08:00:00", "a.mp3", 0);
        rig.tickAt(QTime(8, 0, 0, 5));
        for (int i = 0; i < 120; ++i)
            rig.tickAfter(1000);
        QCOMPARE(rig.layer->count("stop"), 0);
        QCOMPARE(rig.player->position(), 90000);
        // Its end is noticed: the device is let go, and the bell counts as heard.
        QSignalSpy finished(rig.player.get(), &BellPlayer::finished);
        QVERIFY(finished.wait(1000));
        QVERIFY(!rig.player->playing());
        QVERIFY(rig.layer->openDevices().isEmpty());
        QCOMPARE(rig.player->position(), 90000);
        QCOMPARE(rig.record(), QStringList{"a caldi"});
    }

    void twoBellsInOneSecondLastPlays() {
        ClockRig rig;
        rig.fx.insert(0, "first", "08:00:00", "first.mp3", 10);
        rig.fx.insert(0, "second", "08:00:00", "second.mp3", 25);
        rig.tickAt(QTime(8, 0, 0, 500));
        // The first would be replaced at once: it is not opened at all.
        QCOMPARE(rig.opens().value("first.mp3"), 0);
        QCOMPARE(rig.opens().value("second.mp3"), 1);
        QCOMPARE(rig.playingFile(), rig.music("second.mp3"));
        for (int i = 0; i < 25; ++i) {
            QVERIFY(rig.player->playing());
            rig.tickAfter(1000);
        }
        QVERIFY(!rig.player->playing()); // the second's duration, not the first's
        // A tick again in that second does not start them again.
        rig.tickAt(QTime(8, 0, 0, 900));
        QCOMPARE(rig.layer->count("open"), 1);
    }

    void failingBellIsReportedAndOthersStillStart() {
        ClockRig rig;
        rig.layer->setRequireExistingFiles(true);
        QDir(rig.fx.folder()).mkdir("Muzikler");
        for (const char *name : {"ok1.wav", "ok2.wav"}) {
            QFile f(rig.music(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        rig.layer->setErrorText(MCIERR_FILE_NOT_FOUND, "Dosya bulunamadı");
        rig.fx.insert(0, "a", "08:00:00", "ok1.wav", 10);
        rig.fx.insert(0, "b", "08:00:00", "yok.wav", 10);
        rig.fx.insert(0, "c", "08:00:00", "ok2.wav", 10);
        rig.fx.insert(0, "d", "08:00:02", "ok1.wav", 10);
        // Told only once the second's bells have started, so an open box holds none back.
        QString playingWhenTold;
        rig.bell->ReportError = [&](const QString &m) {
            rig.reports << m;
            playingWhenTold = rig.playingFile();
        };
        rig.tickAt(QTime(8, 0, 0, 5));
        QCOMPARE(playingWhenTold, rig.music("ok2.wav"));
        QCOMPARE(rig.reports.size(), 1);
        QVERIFY2(rig.reports.first().contains("\"yok.wav\" çalınamadı") &&
                     rig.reports.first().endsWith("(Zil: b, Pazartesi 08:00)"),
                 qPrintable(rig.reports.first()));
        QVERIFY(rig.player->playing());
        QCOMPARE(rig.playingFile(), rig.music("ok2.wav"));
        rig.tickAfter(1000);
        rig.tickAfter(1000);
        QCOMPARE(rig.opens().value("ok1.wav"), 1);
        QCOMPARE(rig.reports.size(), 1);
    }

    // Rows written by other means: each is read one way, or told with its reason once and
    // recorded with it, and none rings something it does not say.
    void unreadableRowsOfTheDayAreNamedInOneMessage() {
        ClockRig rig;
        const QString insert = "INSERT INTO Dersler (GunID,DersSaati,DersBaslama,Muzik,Sure) "
                               "VALUES(0,?,?,'x.mp3',?)";
        rig.fx.exec(insert, {"x", "08:00:00", "on"});
        rig.fx.exec(insert, {"a", "22:40:1", 5});
        rig.fx.exec(insert, {"c", "24:00:00", 5});
        rig.fx.exec(insert, {"d", "08:30", 5});
        rig.fx.exec(insert, {"e", "08:30:00.5", 5});
        rig.fx.exec(insert, {"f", "09:00:00", QVariant()});
        rig.fx.exec(insert, {"g", "09:10:00", -5});
        rig.fx.exec(insert, {"h", "09:20:00", "1000000000000"});
        rig.fx.exec(insert, {"Tuesday's", "25:00:00", 5}); // not today's
        rig.fx.exec("UPDATE Dersler SET GunID=1 WHERE DersSaati='Tuesday''s'");
        rig.fx.insert(0, "y", "08:00:00", "y.mp3", 5);
        rig.tickAt(QTime(8, 0, 0, 5));
        QCOMPARE(rig.opens().value("y.mp3"), 1);
        QCOMPARE(rig.reports.size(), 1);
        const QString told = rig.reports.first();
        for (const char *line :
             {"süre \"on\" tam sayı değil (saniye olarak yazılmalı) (Zil: x, Pazartesi 08:00)",
              "başlama saati \"22:40:1\" okunamıyor", "başlama saati \"24:00:00\" okunamıyor",
              "başlama saati \"08:30\" okunamıyor", "başlama saati \"08:30:00.5\" okunamıyor",
              "süre \"\" tam sayı değil (saniye olarak yazılmalı) (Zil: f, Pazartesi 09:00)",
              "süre \"-5\" eksi olamaz (Zil: g, Pazartesi 09:10)",
              "süre \"1000000000000\" çok uzun (en çok 2147483647 saniye) (Zil: h, Pazartesi "
              "09:20)"})
            QVERIFY2(told.contains(QString::fromUtf8(line)), qPrintable(told));
        QVERIFY(!told.contains("Tuesday"));
        // Not again at a later tick, nor when the unreadable bell's second comes; and a time
        // that could be read some other way never rings.
        for (const QTime &t :
             {QTime(8, 30, 0, 5), QTime(9, 0, 0, 5), QTime(9, 10, 0, 5), QTime(9, 20, 0, 5)})
            rig.tickAt(t);
        QCOMPARE(rig.reports.size(), 1);
        QCOMPARE(rig.opens().value("x.mp3"), 0);
        QCOMPARE(rig.record(), (QStringList{"x basarisiz", "y caldi", "f basarisiz", "g basarisiz",
                                            "h basarisiz"}));
        // A megabyte of name is not copied into the record.
        rig.fx.insert(0, QString(1000000, 'u'), "09:30:00", "u.mp3", 5);
        rig.tickAt(QTime(9, 30, 0, 5));
        QCOMPARE(rig.store.history(Monday, Monday).first().name.size(), 100);
        // The next day is told afresh.
        rig.tickAt(QTime(0, 0, 0, 5), Monday.addDays(7));
        QCOMPARE(rig.reports.size(), 2);
    }

    void dayWithoutBellsStillStopsMusic() {
        ClockRig rig;
        // Sunday 23:59:50, 30 s of music; Monday has no bells.
        rig.fx.insert(6, "gece", "23:59:50", "gece.mp3", 30);
        rig.tickAt(QTime(23, 59, 50, 5), Monday.addDays(-1));
        QVERIFY(rig.player->playing());
        for (int i = 0; i < 40 && rig.player->playing(); ++i)
            rig.tickAfter(1000);
        QVERIFY(!rig.player->playing());
        QCOMPARE(rig.clock.at.date(), Monday);
    }

    void midnightBellsRing() {
        ClockRig rig;
        rig.fx.insert(0, "last", "23:59:59", "last.mp3", 5);
        rig.fx.insert(1, "first", "00:00:00", "first.mp3", 5);
        rig.tickAt(QTime(23, 59, 58, 600));
        // A late tick straddles midnight: both seconds are handled, each with its own day.
        rig.tickAfter(1900);
        QCOMPARE(rig.clock.at.date(), Monday.addDays(1));
        // Due in one tick, the later replaces the earlier at once.
        QCOMPARE(rig.opens().value("last.mp3"), 0);
        QCOMPARE(rig.opens().value("first.mp3"), 1);
        QCOMPARE(rig.caption, QStringLiteral("00:00:00"));
    }

    void stallRingsItsLastMinuteLateAndRecordsTheRest() {
        ClockRig rig;
        rig.fx.insert(0, "a", "08:00:03", "a.mp3", 5);
        rig.fx.insert(0, "b", "08:00:30", "b.mp3", 5);
        rig.fx.insert(0, "x", "08:01:00", "x.mp3", 5);
        rig.fx.insert(0, "c", "08:02:00", "c.mp3", 5);
        rig.tickAt(QTime(8, 0, 0, 5));
        rig.tickAfter(45000); // 08:00:45: b rings late, a would be replaced by it at once
        QCOMPARE(rig.opens().value("a.mp3"), 0);
        QCOMPARE(rig.opens().value("b.mp3"), 1);
        rig.tickAfter(90000); // 08:02:15: c is within the last minute, x is not
        QCOMPARE(rig.opens().value("x.mp3"), 0);
        QCOMPARE(rig.opens().value("c.mp3"), 1);
        rig.tickAfter(1000);
        QCOMPARE(rig.layer->count("open"), 2);
        QCOMPARE(rig.record(), (QStringList{"a yerine", "b gec", "x atlandi", "c gec"}));
        QCOMPARE(rig.store.history(Monday, Monday).first().delayMs, 15005);
    }

    void setBackOrRestartedNeverRingsABellTwice() {
        ClockRig rig;
        rig.fx.insert(0, "a", "08:00:00", "a.mp3", 5);
        rig.fx.insert(0, "b", "08:03:00", "b.mp3", 5);
        rig.tickAt(QTime(7, 59, 59, 5));
        for (int i = 0; i < 10; ++i)
            rig.tickAfter(30000); // to 08:04:59, in steps the catch-up covers
        for (int minutes : {1, 5, 120}) {
            rig.tickAfter(-minutes * 60000);
            while (rig.clock.at.time() < QTime(8, 5))
                rig.tickAfter(30000);
        }
        QCOMPARE(rig.opens().value("a.mp3"), 1);
        QCOMPARE(rig.opens().value("b.mp3"), 1);
        // A bell added for a time already passed rings when the clock re-lives it.
        rig.fx.insert(0, "c", "08:04:00", "c.mp3", 5);
        rig.tickAfter(-120000);
        while (rig.clock.at.time() < QTime(8, 5))
            rig.tickAfter(30000);
        QCOMPARE(rig.opens().value("c.mp3"), 1);

        // A program started again within b's second, and one started later that day.
        rig.clock.at = QDateTime(Monday, QTime(8, 3, 0, 700));
        BellClock again(rig.store, *rig.player);
        again.TimerTimer();
        rig.fx.insert(0, "d", "08:06:00", "d.mp3", 5);
        rig.fx.insert(0, "e", "08:09:40", "e.mp3", 5); // within the minute before the start
        rig.clock.at = QDateTime(Monday, QTime(8, 10));
        BellClock later(rig.store, *rig.player);
        later.TimerTimer();
        QCOMPARE(rig.opens().value("b.mp3"), 1);
        QCOMPARE(rig.record(), (QStringList{"a gec", "b gec", "c gec", "d kacirildi", "e gec"}));
    }

    void clockStepsBothWays() {
        ClockRig rig;
        rig.fx.insert(0, "a", "08:00:01", "a.mp3", 5);
        rig.fx.insert(0, "b", "08:00:03", "b.mp3", 5);
        rig.fx.insert(0, "c", "08:30:00", "c.mp3", 5);
        rig.tickAt(QTime(8, 0, 0, 5));
        rig.tickAfter(1000);
        rig.tickAfter(1000);
        rig.tickAfter(-2000); // set back 2 s: 08:00:01 again
        rig.tickAfter(1000);
        rig.tickAfter(1000);
        rig.tickAfter(1000); // 08:00:03
        QCOMPARE(rig.opens().value("a.mp3"), 1);
        QCOMPARE(rig.opens().value("b.mp3"), 1);
        rig.tickAfter(3600 * 1000); // +1 h: 08:30:00 lies inside the jump
        rig.tickAfter(1000);
        QCOMPARE(rig.opens().value("c.mp3"), 0);
        QCOMPARE(rig.store.history(Monday, Monday).first().reason, "saat ileri atladı");
        // A bell stored for the new present still rings.
        rig.fx.insert(0, "d", "09:00:05", "d.mp3", 5);
        rig.tickAfter(1000);
        QCOMPARE(rig.opens().value("d.mp3"), 1);
        // A computer suspended for an hour is told apart from a clock set forward.
        rig.fx.insert(0, "uyku", "09:30:00", "u.mp3", 5);
        rig.clock.slept += 3600 * 1000;
        rig.tickAfter(3600 * 1000);
        QCOMPARE(rig.store.history(Monday, Monday).first().reason, "bilgisayar uykudaydı");
    }

    // The tick's wait for the second is bounded: a wall clock set back 2 minutes during it holds
    // nothing up, and the bells due after the clock is put right ring at their second.
    void clockSetBackDuringTheWaitHoldsNothingUp() {
        ClockRig rig;
        rig.fx.insert(0, "a", "10:00:30", "a.mp3", 5);
        class SetBackDuringTheWait final : public Clock {
        public:
            mutable int reads = 0;
            QDateTime now() const override {
                return reads++ == 0 ? QDateTime(Monday, QTime(10, 0, 0, 998))
                                    : QDateTime(Monday, QTime(9, 58, 1));
            }
            qint64 sleptMsecs() const override { return 0; }
        } setBack;
        rig.tickAt(QTime(10, 0, 0, 5));
        setProgramClock(&setBack);
        QElapsedTimer waited;
        waited.start();
        rig.bell->TimerTimer();
        QVERIFY2(waited.elapsed() < 500, qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(rig.caption, TimeText(QTime(9, 58, 1)));
        QVERIFY(rig.bell->Timer().isActive());
        setProgramClock(&rig.clock);
        rig.tickAt(QTime(9, 58, 2, 5));
        rig.tickAt(QTime(10, 0, 28, 5)); // put right
        rig.tickAfter(1000);
        rig.tickAfter(1000);
        QCOMPARE(rig.opens().value("a.mp3"), 1);
        QCOMPARE(rig.record(), QStringList{"a caldi"});
    }

    // Another program holds the schedule locked from 3 s before a bell to 7 s after it: both
    // bells of that span ring at their second, no tick waits for the lock, and their record
    // lines are written once each when it is gone.
    void storeLockedByAnotherProgramCostsNoBell() {
        for (const char *lock : {"BEGIN EXCLUSIVE", "BEGIN IMMEDIATE"}) {
            ClockRig rig;
            rig.fx.insert(0, "a", "08:00:03", "a.mp3", 5);
            rig.fx.insert(0, "b", "08:00:08", "b.mp3", 5);
            rig.tickAt(QTime(8, 0, 0, 5));
            rig.fx.exec(lock);
            QElapsedTimer ticking;
            ticking.start();
            QMap<QString, int> opensAt3;
            for (int i = 0; i < 10; ++i) {
                rig.tickAfter(1000);
                if (rig.clock.at.time().second() == 3)
                    opensAt3 = rig.opens();
            }
            QVERIFY2(ticking.elapsed() < 1000, qPrintable(QString::number(ticking.elapsed())));
            QCOMPARE(opensAt3.value("a.mp3"), 1);
            QCOMPARE(rig.opens().value("b.mp3"), 1);
            QCOMPARE(rig.reports.size(), QString(lock).contains("EXCLUSIVE") ? 2 : 1);
            rig.fx.exec("ROLLBACK");
            rig.tickAfter(1000);
            rig.tickAfter(1000);
            QCOMPARE(rig.record(), (QStringList{"a caldi", "b caldi"}));
            for (const BellEvent &e : rig.store.history(Monday, Monday))
                QCOMPARE(e.delayMs, 5);
        }
    }

    // Music leads to a plain file inside Muzikler or is refused at once: the program's own tone
    // rings, and the record says why.
    void musicOutsideMuziklerIsRefused() {
        ClockRig rig;
        QDir folder(rig.fx.folder());
        QVERIFY(folder.mkpath("Muzikler/klasor"));
        QFile outside(rig.fx.folder() + "disari.wav");
        QVERIFY(outside.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(outside.fileName(), rig.music("bag.wav")));
        QCOMPARE(::mkfifo(qPrintable(rig.music("fifo.wav")), 0600), 0);
        const QList<QPair<QString, QString>> cases{{"../disari.wav", "Muzikler klasörünün dışında"},
                                                   {"bag.wav", "Muzikler klasörünün dışında"},
                                                   {"fifo.wav", "FIFO"},
                                                   {"klasor", "klasör"},
                                                   {"", "müzik dosyası seçilmemiş"}};
        for (int i = 0; i < cases.size(); ++i)
            rig.fx.insert(0, QString::number(i), QTime(8, 0, 10 * i + 1).toString("HH:mm:ss"),
                          cases[i].first, 5);
        rig.tickAt(QTime(8, 0, 0, 5));
        QElapsedTimer ringing;
        ringing.start();
        for (int i = 0; i < 10 * cases.size(); ++i)
            rig.tickAfter(1000);
        QVERIFY2(ringing.elapsed() < 1500, qPrintable(QString::number(ringing.elapsed())));
        const QList<BellEvent> record = rig.store.history(Monday, Monday);
        QCOMPARE(record.size(), cases.size());
        for (const BellEvent &e : record) {
            QVERIFY(e.fallbackTone);
            QVERIFY2(e.reason.contains(cases[e.name.toInt()].second), qPrintable(e.reason));
        }
        for (const auto &r : rig.layer->requests())
            QVERIFY2(r.name != "open" || !r.element.contains(rig.fx.folder()),
                     qPrintable(r.element));
    }

    // The morning's check of the music warns once per bell a day, however often the program
    // starts that day; a program sound a new folder is still making is no warning.
    void startOfDayWarningsOncePerDay() {
        ClockRig rig;
        QVERIFY(QDir(rig.fx.folder()).mkdir("Muzikler"));
        rig.fx.insert(0, "a", "08:00:00", "../disari.wav", 5);
        rig.fx.insert(0, "b", "08:10:00", "Programın sesleri/Öğrenci zili.wav", 5);
        const QList<Bell> bells = rig.store.dayBells(0);
        for (int start = 0; start < 3; ++start) {
            DayCheck check(rig.store, [&](const QString &m) { rig.reports << m; });
            QSignalSpy checked(&check, &DayCheck::checked);
            check.check(Monday, bells);
            QVERIFY(checked.wait(5000));
        }
        QCOMPARE(rig.reports.size(), 3);
        QCOMPARE(rig.record(), QStringList{"a uyari"});
        QVERIFY(rig.store.history(Monday, Monday).first().reason.contains("dışında"));
    }

    // Start times are compared as times of day: a 12-hour locale rings the same bells.
    void bellsRingUnderATwelveHourLocale() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ClockRig rig;
        rig.fx.insert(0, "öğle", "13:05:00", "o.mp3", 5);
        rig.fx.insert(0, "sabah", "01:05:00", "s.mp3", 5);
        rig.tickAt(QTime(13, 4, 59, 5));
        rig.tickAfter(1000);
        QVERIFY(rig.caption.contains("PM"));
        QCOMPARE(rig.opens(), (QMap<QString, int>{{"o.mp3", 1}}));
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    }

    void storeFailureReportedOncePerOutage() {
        ClockRig rig;
        rig.fx.insert(0, "a", "08:00:05", "a.mp3", 5);
        const QString db = rig.fx.databaseFile();
        const QString away = rig.fx.folder() + "away.mdb";
        rig.store.setFile(db + ".missing");
        rig.tickAt(QTime(8, 0, 0, 5));
        for (int i = 0; i < 3; ++i)
            rig.tickAfter(1000);
        QCOMPARE(rig.reports.size(), 1);
        QVERIFY(rig.reports.first().contains("database.mdb.missing"));
        // Back within the minute: the bell due meanwhile still rings.
        rig.store.setFile(db);
        rig.tickAfter(3000); // 08:00:06
        QCOMPARE(rig.opens().value("a.mp3"), 1);
        QVERIFY(QFile::rename(db, away));
        rig.store.setFile(db);
        rig.tickAfter(1000);
        rig.tickAfter(1000);
        QCOMPARE(rig.reports.size(), 2);
        QVERIFY(!rig.caption.isEmpty());
    }

    void scheduleReplacedOrDeletedUnderTheClock() {
        ClockRig rig;
        rig.fx.insert(0, "eski", "08:00:02", "eski.mp3", 5);
        rig.tickAt(QTime(8, 0, 0, 5));
        // A backup moved over the schedule: its bells ring, the old file's do not.
        ScheduleFixture backup;
        backup.insert(0, "yedek", "08:00:03", "yedek.mp3", 5);
        backup.insert(0, "geri", "08:00:10", "geri.mp3", 5);
        const QString db = rig.fx.databaseFile();
        QVERIFY(QFile::copy(backup.databaseFile(), db + ".tmp"));
        QCOMPARE(::rename(qPrintable(db + ".tmp"), qPrintable(db)), 0);
        for (int i = 0; i < 3; ++i)
            rig.tickAfter(1000);
        QCOMPARE(rig.opens().value("eski.mp3"), 0);
        QCOMPARE(rig.opens().value("yedek.mp3"), 1);
        // Deleted: said once; put back: its bells ring again.
        QVERIFY(QFile::rename(db, db + ".away"));
        for (int i = 0; i < 5; ++i)
            rig.tickAfter(1000);
        QCOMPARE(rig.reports.size(), 1);
        QVERIFY(QFile::rename(db + ".away", db));
        rig.tickAfter(1000);
        rig.tickAfter(1000);
        QCOMPARE(rig.opens().value("geri.mp3"), 1);
        QCOMPARE(rig.reports.size(), 1);
    }

    void deleteThroughTheClocksOwnQueryTakesEffectAtTheNextTick() {
        ClockRig rig;
        const int id = rig.fx.insert(0, "a", "08:00:02", "a.mp3", 5);
        rig.tickAt(QTime(8, 0, 0, 5));
        rig.store.remove(id);
        rig.tickAfter(1000);
        rig.tickAfter(1000);
        QCOMPARE(rig.opens().value("a.mp3"), 0);
    }

    void outputLostAndBackRecordsOnlyWhatWasHeard() {
        ClockRig rig;
        for (int second : {0, 4, 8, 10, 12})
            rig.fx.insert(0, QStringLiteral("t%1").arg(second),
                          QTime(8, 0, second).toString("HH:mm:ss"),
                          QStringLiteral("t%1.mp3").arg(second), 30);
        rig.layer->setOpenFailure(rig.music("t10.mp3"), MCIERR_FILE_NOT_FOUND, "bulunamadı");
        rig.tickAt(QTime(7, 59, 57, 5));
        rig.layer->setOutputLost(true); // the sound server ends at T-3
        for (int i = 0; i < 4; ++i)
            rig.tickAfter(1000);
        rig.layer->setOutputLost(false); // back at T+1
        for (int i = 0; i < 8; ++i)
            rig.tickAfter(1000);
        rig.layer->setOutputLost(true); // gone again: t10's tone and t12 reach nobody
        for (int i = 0; i < 4; ++i)
            rig.tickAfter(1000);
        QCOMPARE(rig.record(), (QStringList{"t0 basarisiz", "t4 caldi", "t8 caldi", "t10 basarisiz",
                                            "t12 basarisiz"}));
        const QList<BellEvent> events = rig.store.history(Monday, Monday);
        QCOMPARE(events.last().reason, QStringLiteral("ses çıkışı yok"));
        QVERIFY(!events.at(1).fallbackTone); // t10: its tone was not heard either
        QCOMPARE(rig.reports.filter("ses çıkışı yok").size(), 2); // once per outage
    }

    // What is prepared is what will sound: the tone for music that is missing or refused, the
    // music otherwise; and a bell due right after the start is prepared before the first tick.
    void preparesWhatWillSound() {
        ClockRig rig;
        QVERIFY(QDir(rig.fx.folder()).mkpath("Muzikler"));
        QFile music(rig.music("var.wav"));
        QVERIFY(music.open(QIODevice::WriteOnly));
        rig.fx.insert(0, "yok", "08:00:01", "yok.wav", 4);
        rig.fx.insert(0, "disari", "08:00:05", "../disari.wav", 6);
        rig.fx.insert(0, "var", "08:00:09", "var.wav", 6);
        rig.bell->setPrepareAhead(true);
        const auto prepared = [&] {
            QStringList files;
            for (const auto &r : rig.layer->requests())
                if (r.name == "prepare")
                    files << QFileInfo(r.element).fileName();
            return files;
        };
        rig.clock.at = QDateTime(Monday, QTime(7, 59, 59, 700));
        rig.bell->Start();
        QCoreApplication::processEvents();
        QCOMPARE(prepared(), QStringList{"zil-tonu-4.wav"});
        rig.tickAt(QTime(8, 0, 2, 5));
        QCOMPARE(prepared(), (QStringList{"zil-tonu-4.wav", "zil-tonu-6.wav"}));
        rig.tickAt(QTime(8, 0, 6, 5));
        QCOMPARE(prepared(), (QStringList{"zil-tonu-4.wav", "zil-tonu-6.wav", "var.wav"}));
        // Before midnight, the next day's first bell.
        QFile night(rig.music("gece.wav"));
        QVERIFY(night.open(QIODevice::WriteOnly));
        rig.fx.insert(1, "gece", "00:00:01", "gece.wav", 6);
        rig.tickAt(QTime(23, 59, 59, 5));
        QCOMPARE(prepared().last(), QStringLiteral("gece.wav"));
    }

    // Music the morning check could not open rings the tone at once, prepared; a file put right
    // later in the day plays again.
    void musicKnownBrokenGoesStraightToTheTone() {
        ClockRig rig;
        QVERIFY(QDir(rig.fx.folder()).mkpath("Muzikler"));
        QFile broken(rig.music("bozuk.wav"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.close();
        rig.fx.insert(0, "bir", "08:00:02", "bozuk.wav", 4);
        rig.fx.insert(0, "iki", "08:00:12", "bozuk.wav", 4);
        rig.bell->setPrepareAhead(true);
        rig.bell->setUnplayable(Monday, {{"bozuk.wav", "bozuk dosya"}});
        rig.tickAt(QTime(8, 0, 0, 5));
        rig.tickAt(QTime(8, 0, 2, 5));
        QCOMPARE(rig.opens().value("bozuk.wav"), 0);
        QVERIFY2(rig.playingFile().endsWith("zil-tonu-4.wav"), qPrintable(rig.playingFile()));
        QStringList prepared;
        for (const auto &r : rig.layer->requests())
            if (r.name == "prepare")
                prepared << QFileInfo(r.element).fileName();
        QCOMPARE(prepared, QStringList{"zil-tonu-4.wav"});
        QVERIFY(rig.reports.join("\n").contains("bozuk dosya"));

        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Append));
        broken.write("x");
        QVERIFY(broken.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                   QFileDevice::FileModificationTime));
        broken.close();
        rig.tickAt(QTime(8, 0, 12, 5));
        QCOMPARE(rig.opens().value("bozuk.wav"), 1);
    }

    void timerIsArmedForTheNextSecond() {
        ClockRig rig;
        rig.clock.at = QDateTime(Monday, QTime(8, 0, 0, 300));
        rig.bell->Start();
        QVERIFY(rig.bell->Timer().isActive());
        QCOMPARE(rig.bell->Timer().timerType(), Qt::PreciseTimer);
        // Armed just before the next second, which the tick then waits out precisely.
        QVERIFY(rig.bell->Timer().interval() >= 690 && rig.bell->Timer().interval() < 700);
    }
};

QTEST_GUILESS_MAIN(TestBellClock)
#include "tst_bellclock.moc"
