#include "SingleInstance.h"
#include "Startup.h"
#include "WindowLook.h"

#include <QMainWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The second copy runs in a child process, as it does in use: the test binary run again with
// "ask FOLDER" asks the holder to show itself, with "die FOLDER" claims and dies holding the claim.
static int secondCopy(const QString &what, const QString &folder) {
    FolderClaim claim(folder);
    if (what == QLatin1String("die"))
        std::_Exit(claim.claim() ? 0 : 2);
    if (claim.claim())
        return 2;
    return claim.askRunningToShow() ? 0 : 3;
}

static int runSecondCopy(const QString &what, const QString &folder) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {what, folder});
    while (child.state() != QProcess::NotRunning) {
        child.waitForFinished(20);
        QCoreApplication::processEvents(); // the holder answers from its event loop
    }
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void oneRingerPerFolder() {
        QTemporaryDir folder, other;
        QCOMPARE(runSecondCopy("die", folder.path()), 0);

        auto first = std::make_unique<FolderClaim>(folder.path());
        QVERIFY(first->claim()); // the dead copy's lock and server are taken over
        FolderClaim elsewhere(other.path());
        QVERIFY(elsewhere.claim());

        QMainWindow window;
        window.showMinimized();
        connect(first.get(), &FolderClaim::showRequested, [&] { bringToFront(window); });
        QSignalSpy shown(first.get(), &FolderClaim::showRequested);
        QCOMPARE(runSecondCopy("ask", folder.path()), 0);
        QCOMPARE(shown.count(), 1);
        QVERIFY(!window.isMinimized());

        first.reset();
        QVERIFY(FolderClaim(folder.path()).claim());
    }
};

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3)
        return secondCopy(arguments.at(1), arguments.at(2));
    // Local server names live in the temporary folder; keep them in one of the test's own.
    QTemporaryDir sockets;
    qputenv("TMPDIR", sockets.path().toLocal8Bit());
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
