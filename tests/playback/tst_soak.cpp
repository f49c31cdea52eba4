// A simulated week of bells through the real bell clock, store and player: 200 bells on every
// weekday, a timer that fires late or early and is now and then held up, and a wall clock that is
// set forward and back (by seconds, by five minutes, and one hour forward), a program restarted in
// the middle of a morning and a second copy started on the same folder. Every bell rings exactly
// once, except those inside the one-hour jump of the wall clock, and the process's memory stays
// flat from the first day to the last.
#include "BellClock.h"
#include "Clock.h"
#include "FakeMediaLayer.h"
#include "GstMediaLayer.h"
#include "LayerBellPlayer.h"
#include "ProcessFigures.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SingleInstance.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {
// The wall clock the program reads: the simulated true time plus whatever the clock was set by.
// Kept in UTC, so that a week of ticks does not spend its time in time-zone look-ups; the program
// reads only the date and the time of day from it.
class SimulatedClock final : public Clock {
public:
    QDateTime trueTime;
    qint64 offsetMs = 0;
    QDateTime now() const override { return trueTime.addMSecs(offsetMs); }
    qint64 sleptMsecs() const override { return 0; }
};

// Monday 7 December 2026.
const QDate Monday(2026, 12, 7);
constexpr int Days = 7;
constexpr int BellsPerDay = 200;
constexpr int BellSpacingS = 86400 / BellsPerDay;
constexpr int BellSure = 20;

int bellSecond(int gunId, int index) {
    return index * BellSpacingS + 17 * gunId + 3;
}
QString bellMusic(int gunId, int index) {
    return QStringLiteral("g%1_b%2.mp3").arg(gunId).arg(index);
}

// A change of the wall clock, made as soon as the wall clock reaches wallAt.
struct ClockStep {
    QDateTime wallAt;
    qint64 byMs;
};
} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey)); }

    void weekOfBells() {
        ScheduleFixture fx;
        fx.exec(QStringLiteral("BEGIN"));
        for (int g = 0; g < Days; ++g)
            for (int i = 0; i < BellsPerDay; ++i)
                fx.insert(
                    g, QStringLiteral("Zil %1").arg(i),
                    QTime(0, 0).addSecs(bellSecond(g, i)).toString(QStringLiteral("HH:mm:ss")),
                    bellMusic(g, i), BellSure);
        fx.exec(QStringLiteral("COMMIT"));

        SimulatedClock clock;
        setProgramClock(&clock);
        setProgramFolder(fx.folder());
        auto owned = std::make_unique<FakeMediaLayer>();
        FakeMediaLayer *layer = owned.get();
        LayerBellPlayer player{*layer};
        BellStore store;
        store.setFile(fx.databaseFile());
        QStringList reports;
        const auto startProgram = [&] {
            auto clock = std::make_unique<BellClock>(store, player);
            clock->ReportError = [&reports](const QString &m) { reports << m; };
            return clock;
        };
        std::unique_ptr<BellClock> bell = startProgram();
        FolderClaim ringer(fx.folder());
        QVERIFY(ringer.claim());

        // Steps of the wall clock, each placed at a bell so that it matters: forward 2 s over a
        // bell's second, back 2 s just after a bell rang, and one hour forward on Thursday.
        QList<ClockStep> steps;
        const auto at = [](int day, int second) {
            return QDateTime(Monday.addDays(day), QTime(0, 0), Qt::UTC).addSecs(second);
        };
        for (int d = 0; d < Days; ++d) {
            steps.append({at(d, bellSecond(d, 50) - 1), 2000});
            steps.append({at(d, bellSecond(d, 120) + 1), -2000});
            steps.append({at(d, bellSecond(d, 160) - 1), 2000});
            steps.append({at(d, bellSecond(d, 161) + 1), -2000});
        }
        const QDateTime jumpAt = at(3, 10 * 3600);
        steps.append({jumpAt, 3600 * 1000});
        // Set back five minutes just after a bell rang, as a time server correcting a fast clock.
        steps.append({at(1, bellSecond(1, 100) + 30), -5 * 60 * 1000});
        // The program is restarted in the middle of a bell's second, and a second copy is started.
        const QDateTime restartAt = at(2, bellSecond(2, 84)).addMSecs(500);
        const QDateTime secondCopyAt = at(4, 10 * 3600);
        bool restarted = false;
        bool secondCopyTried = false;
        std::sort(steps.begin(), steps.end(),
                  [](const ClockStep &a, const ClockStep &b) { return a.wallAt < b.wallAt; });
        // Hold-ups of the user-interface thread, placed over bells' seconds.
        QSet<qint64> heldOverBell;
        for (int d = 0; d < Days; ++d)
            for (int i : {10, 80, 140})
                heldOverBell.insert(at(d, bellSecond(d, i) - 1).toSecsSinceEpoch());

        QHash<QString, int> rung;
        int stops = 0;
        int ticks = 0;
        int holdUps = 0;
        int stepsMade = 0;
        QDateTime lastTickWall;
        QDateTime jumpFrom;
        QDateTime jumpTo;
        qint64 firstDayKb = -1;
        QRandomGenerator random(20261207);

        const QDateTime end(Monday.addDays(Days), QTime(0, 0), Qt::UTC);
        clock.trueTime = QDateTime(Monday, QTime(0, 0, 0, 5), Qt::UTC);
        QElapsedTimer wall;
        wall.start();
        bell->TimerTimer();
        while (clock.now() < end) {
            // About once a second, give or take 200 ms, so ticks drift across the seconds: two
            // land in one second, or one second falls between two ticks. Now and then the thread
            // is busy and the tick comes up to 3 s late.
            qint64 delay = 1000 + random.bounded(-200, 201);
            const qint64 wallSecond = clock.now().toSecsSinceEpoch();
            if (heldOverBell.contains(wallSecond) || random.bounded(500) == 0) {
                delay += random.bounded(3001);
                ++holdUps;
            }
            clock.trueTime = clock.trueTime.addMSecs(delay);
            layer->advanceAll(qint32(delay));
            player.checkLength(); // the player's length timer, due by then
            while (stepsMade < steps.size() && clock.now() >= steps.at(stepsMade).wallAt) {
                const bool jump = steps.at(stepsMade).byMs == 3600 * 1000;
                clock.offsetMs += steps.at(stepsMade).byMs;
                if (jump) {
                    jumpFrom = lastTickWall;
                    jumpTo = clock.now();
                }
                ++stepsMade;
            }
            if (!restarted && clock.now() >= restartAt) {
                bell = startProgram();
                restarted = true;
            }
            if (!secondCopyTried && clock.now() >= secondCopyAt) {
                FolderClaim secondCopy(fx.folder());
                QVERIFY(!secondCopy.claim()); // it shows the first copy's window and leaves
                secondCopyTried = true;
            }
            const QDateTime before = clock.now();
            bell->TimerTimer();
            lastTickWall = before;
            ++ticks;

            for (const FakeMediaLayer::Request &r : layer->requests()) {
                if (r.name == QLatin1String("open"))
                    ++rung[r.element.section(QLatin1Char('/'), -1)];
                else if (r.name == QLatin1String("stop"))
                    ++stops;
            }
            layer->clearRequests();

            if (firstDayKb < 0 && clock.now().date() != Monday)
                firstDayKb = residentKb();
        }
        const qint64 lastDayKb = residentKb();
        const qint64 elapsedMs = wall.elapsed();

        // The bells the one-hour jump passed over: after the second of the last tick before it
        // and before the second of the first tick after it.
        QVERIFY(jumpFrom.isValid() && jumpTo.isValid());
        const int jumpDay = 3;
        const int skipFrom =
            QDateTime(Monday.addDays(jumpDay), QTime(0, 0), Qt::UTC).secsTo(jumpFrom);
        const int skipTo = QDateTime(Monday.addDays(jumpDay), QTime(0, 0), Qt::UTC).secsTo(jumpTo);
        QSet<QString> skippedByDesign;
        for (int i = 0; i < BellsPerDay; ++i)
            if (bellSecond(jumpDay, i) > skipFrom &&
                bellSecond(jumpDay, i) <= skipTo - BellClock::CatchUpSeconds)
                skippedByDesign.insert(bellMusic(jumpDay, i));

        int missed = 0;
        int doubled = 0;
        int skipped = 0;
        int rungOnce = 0;
        for (int g = 0; g < Days; ++g)
            for (int i = 0; i < BellsPerDay; ++i) {
                const QString music = bellMusic(g, i);
                const int n = rung.value(music);
                if (skippedByDesign.contains(music)) {
                    skipped += n == 0 ? 1 : 0;
                    doubled += n;
                    continue;
                }
                missed += n == 0 ? 1 : 0;
                doubled += n > 1 ? n - 1 : 0;
                rungOnce += n == 1 ? 1 : 0;
            }
        int total = 0;
        for (int n : std::as_const(rung))
            total += n;

        qInfo("soak: %d simulated days, %d bells a day, %d ticks, %d hold-ups, %d clock steps "
              "(one of +1 h)",
              Days, BellsPerDay, ticks, holdUps, stepsMade);
        qInfo("soak: rung once %d, missed %d, doubled %d, skipped in the +1 h jump %d of %d "
              "(%s to %s), stopped %d",
              rungOnce, missed, doubled, skipped, int(skippedByDesign.size()),
              qPrintable(jumpFrom.toString(Qt::ISODate)), qPrintable(jumpTo.toString(Qt::ISODate)),
              stops);
        qInfo("soak: VmRSS end of first day %lld kB, end of last day %lld kB; run time %.1f s "
              "(%.1f us a tick)",
              firstDayKb, lastDayKb, elapsedMs / 1000.0, elapsedMs * 1000.0 / ticks);

        setProgramClock(nullptr);
        setProgramFolder({});

        QCOMPARE(reports, QStringList());
        QCOMPARE(stepsMade, steps.size());
        QVERIFY(restarted && secondCopyTried);
        QCOMPARE(missed, 0);
        QCOMPARE(doubled, 0);
        QVERIFY(!skippedByDesign.isEmpty());
        QCOMPARE(skipped, int(skippedByDesign.size()));
        QCOMPARE(rungOnce, Days * BellsPerDay - int(skippedByDesign.size()));
        QCOMPARE(total, rungOnce);
        // Each bell's music was stopped by the clock after its duration.
        QCOMPARE(stops, total);
        QVERIFY(firstDayKb > 0 && lastDayKb > 0);
        QVERIFY2(
            lastDayKb <= firstDayKb + 2048,
            qPrintable(
                QStringLiteral("memory grew from %1 kB to %2 kB").arg(firstDayKb).arg(lastDayKb)));
    }

    // Five working days of 1,000 bells each, every one opened, played and replaced by the next
    // through the real GStreamer layer: the descriptors stay where they were.
    void weeksOfBellsThroughGstreamer() {
        ScheduleFixture fx;
        QDir(fx.folder()).mkdir(QStringLiteral("Muzikler"));
        QVERIFY(makeMediaFile(toneSource(200) + QStringLiteral("wavenc ! filesink location=\"%1\"")
                                                    .arg(fx.folder() + "Muzikler/zil.wav")));
        constexpr int Working = 5;
        constexpr int PerDay = 1000;
        fx.exec(QStringLiteral("BEGIN"));
        for (int g = 0; g < Working; ++g)
            for (int i = 0; i < PerDay; ++i)
                fx.insert(g, QStringLiteral("Zil %1").arg(i),
                          QTime(7, 0).addSecs(i * 30).toString(QStringLiteral("HH:mm:ss")),
                          QStringLiteral("zil.wav"), 1);
        fx.exec(QStringLiteral("COMMIT"));

        SimulatedClock clock;
        setProgramClock(&clock);
        setProgramFolder(fx.folder());
        GstMediaLayer layer("fakesink sync=true");
        LayerBellPlayer player(layer);
        BellStore store;
        store.setFile(fx.databaseFile());
        BellClock bell(store, player);
        QStringList reports;
        bell.ReportError = [&reports](const QString &m) { reports << m; };

        int rung = 0;
        int fdsStart = -1;
        qint64 kbStart = -1;
        QElapsedTimer wall;
        wall.start();
        for (int g = 0; g < Working; ++g)
            for (int i = 0; i < PerDay; ++i) {
                clock.trueTime =
                    QDateTime(Monday.addDays(g), QTime(7, 0, 0, 5), Qt::UTC).addSecs(i * 30);
                bell.TimerTimer();
                rung += player.playing() ? 1 : 0;
                QCoreApplication::processEvents();
                if (g == 0 && i == 50) {
                    fdsStart = openDescriptors();
                    kbStart = residentKb();
                }
            }
        player.stop();
        QTest::qWait(200);
        const int fdsEnd = openDescriptors();
        const qint64 kbEnd = residentKb();
        qInfo("GStreamer soak: %d bells rung of %d in %.1f s; descriptors %d -> %d, VmRSS %lld "
              "-> %lld kB",
              rung, Working * PerDay, wall.elapsed() / 1000.0, fdsStart, fdsEnd, kbStart, kbEnd);
        setProgramClock(nullptr);
        setProgramFolder({});
        QCOMPARE(reports, QStringList());
        QCOMPARE(rung, Working * PerDay);
        QVERIFY2(fdsEnd <= fdsStart + 2, qPrintable(QString::number(fdsEnd)));
    }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
