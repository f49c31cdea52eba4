// The service's log lines about the clock, from the system's answers given by a small script
// that stands in for timedatectl in a folder of the test's own, as ClockSync's own test does.
#include "ClockSync.h"
#include "ClockWatch.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestClockWatch : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

    // What the next asking hears: the script reads it from a file, so it can change between.
    void answer(const QByteArray &word) {
        QFile file(dir.filePath(QStringLiteral("cevap")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(word + '\n');
    }
    // Asks, and waits for a new answer to come in.
    static bool changes(ClockSync &sync) {
        QSignalSpy changed(&sync, &ClockSync::changed);
        sync.ask();
        return changed.wait(5000);
    }
    // Asks, and sees the same answer come (a script answers in milliseconds).
    static bool staysTheSame(ClockSync &sync) {
        QSignalSpy changed(&sync, &ClockSync::changed);
        sync.ask();
        return !changed.wait(1000);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QFile script(dir.filePath(QStringLiteral("timedatectl")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\ncat '" + dir.filePath(QStringLiteral("cevap")) + "'\n").toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void oneLineWhenItDriftsAndOneWhenItIsRightAgain() {
        ClockSync sync({dir.path()});
        QStringList log;
        ClockWatch watch(sync, [&](const QString &line) { log << line; });

        // Right from the start: nothing to say.
        answer("yes");
        QVERIFY(changes(sync));
        QCOMPARE(sync.state(), ClockSync::State::Synchronised);
        QCOMPARE(log, QStringList());

        answer("no");
        QVERIFY(changes(sync));
        QCOMPARE(sync.state(), ClockSync::State::NotSynchronised);
        QCOMPARE(log.size(), 1);
        QVERIFY2(log.at(0).contains(QStringLiteral("ağdan ayarlanmıyor (timedatectl)")),
                 qPrintable(log.at(0)));
        // The hours after it, still not right, add nothing.
        QVERIFY(staysTheSame(sync));
        QVERIFY(staysTheSame(sync));
        QCOMPARE(log.size(), 1);

        answer("yes");
        QVERIFY(changes(sync));
        QCOMPARE(log.size(), 2);
        QVERIFY2(log.at(1).contains(QStringLiteral("yeniden ağdan ayarlanıyor")),
                 qPrintable(log.at(1)));
        QVERIFY(staysTheSame(sync));
        QCOMPARE(log.size(), 2);

        // No answer at all is told once as well.
        answer("belki");
        QVERIFY(changes(sync));
        QCOMPARE(log.size(), 3);
        QVERIFY2(log.at(2).contains(QStringLiteral("öğrenilemedi")), qPrintable(log.at(2)));
    }
};

QTEST_GUILESS_MAIN(TestClockWatch)
#include "tst_clockwatch.moc"
