#include "ClockSync.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The system's answer about its clock, given by small scripts that stand in for timedatectl and
// chronyc in a folder of the test's own.
class TestClockSync : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir;

    void tool(const QString &name, const QString &body) {
        QFile script(dir->filePath(name));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    static ClockSync::State answer(ClockSync &sync) {
        QSignalSpy changed(&sync, &ClockSync::changed);
        sync.ask();
        if (!changed.wait(5000))
            return ClockSync::State::Unasked;
        return sync.state();
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    void timedatectlAnswers_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<ClockSync::State>("state");
        QTest::addColumn<bool>("lineShown");
        QTest::newRow("yes") << "echo yes" << ClockSync::State::Synchronised << false;
        QTest::newRow("no") << "echo no" << ClockSync::State::NotSynchronised << true;
        // Not booted with systemd: the tool fails and no chronyc is there.
        QTest::newRow("fails") << "echo 'System has not been booted with systemd' >&2; exit 1"
                               << ClockSync::State::Unknown << true;
        QTest::newRow("garbage") << "echo maybe" << ClockSync::State::Unknown << true;
    }
    void timedatectlAnswers() {
        QFETCH(QString, body);
        QFETCH(ClockSync::State, state);
        QFETCH(bool, lineShown);
        tool("timedatectl", "[ \"$*\" = 'show -p NTPSynchronized --value' ] || exit 3\n"
                            "[ \"$LC_ALL\" = C ] || exit 4\n" +
                                body);
        ClockSync sync({dir->path()});
        QCOMPARE(answer(sync), state);
        QCOMPARE(!sync.line().isEmpty(), lineShown);
        QCOMPARE(!sync.shortLine().isEmpty(), lineShown);
        if (state != ClockSync::State::Unknown)
            QCOMPARE(sync.source(), QStringLiteral("timedatectl"));
    }

    void chronyAnswersWhereTimedatectlCannot_data() {
        QTest::addColumn<QString>("leap");
        QTest::addColumn<ClockSync::State>("state");
        QTest::newRow("normal") << "Normal" << ClockSync::State::Synchronised;
        QTest::newRow("not") << "Not synchronised" << ClockSync::State::NotSynchronised;
    }
    void chronyAnswersWhereTimedatectlCannot() {
        QFETCH(QString, leap);
        QFETCH(ClockSync::State, state);
        tool("timedatectl", "exit 1");
        tool("chronyc", "[ \"$*\" = '-n tracking' ] || exit 3\n"
                        "echo 'Reference ID    : 7F7F0101 ()'\n"
                        "echo 'Stratum         : 10'\n"
                        "echo 'Leap status     : " +
                            leap + "'");
        ClockSync sync({dir->path()});
        QCOMPARE(answer(sync), state);
        QCOMPARE(sync.source(), QStringLiteral("chronyc"));
    }

    void noToolIsNoAnswer() {
        ClockSync sync({dir->path()});
        QCOMPARE(answer(sync), ClockSync::State::Unknown);
        QVERIFY(sync.line().contains(QStringLiteral("öğrenilemedi")));
    }

    // A tool that hangs is given up without anything waiting for it.
    void aToolThatHangsIsNoAnswer() {
        tool("timedatectl", "exec sleep 30");
        ClockSync sync({dir->path()});
        sync.setAnswerTimeout(300);
        QElapsedTimer waited;
        waited.start();
        sync.ask();
        // The asking returned at once; the answer comes later.
        QVERIFY(waited.elapsed() < 250);
        QCOMPARE(sync.state(), ClockSync::State::Unasked);
        QSignalSpy changed(&sync, &ClockSync::changed);
        QVERIFY(changed.wait(5000));
        QCOMPARE(sync.state(), ClockSync::State::Unknown);
    }

    // Asked again every interval: a clock that is put right takes the line away.
    void askedAgainAndTheLineFollows() {
        tool("timedatectl", "echo no");
        ClockSync sync({dir->path()});
        QSignalSpy changed(&sync, &ClockSync::changed);
        sync.start(200);
        QVERIFY(changed.wait(5000));
        QCOMPARE(sync.state(), ClockSync::State::NotSynchronised);
        tool("timedatectl", "echo yes");
        QVERIFY(changed.wait(5000));
        QCOMPARE(sync.state(), ClockSync::State::Synchronised);
        QVERIFY(sync.line().isEmpty());
    }

    // The user's PATH is not where the tools are looked for.
    void pathIsNotSearched() {
        tool("timedatectl", "echo yes");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", dir->path().toUtf8() + ":" + path);
        ClockSync sync({QDir(dir->path()).filePath("empty")});
        const ClockSync::State state = answer(sync);
        qputenv("PATH", path);
        QCOMPARE(state, ClockSync::State::Unknown);
    }
};

QTEST_GUILESS_MAIN(TestClockSync)
#include "tst_clocksync.moc"
