// One ringer per folder, against what a local user can do to it: a holder killed outright, its
// stale socket, 1,100 connections and an endless line; a window ended by SIGTERM lets go.
#include "AnaSayfa.h"
#include "ProcessFigures.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "WindowLook.h"
#include "ZilApplication.h"

#include <QJsonObject>
#include <QMainWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// Run as root, the two holders are two other users who share only the folder's group.
constexpr uid_t FirstUser = 64101, SecondUser = 64102;
constexpr gid_t StaffGroup = 64100;

int connectTo(const QByteArray &path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
    return ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 ? fd : -1;
}

// 256 MiB without a newline, then 1,100 idle connections kept open while asking the holder.
int flood(FolderClaim &claim) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    const QByteArray path = QFile::encodeName(claim.socketPath()), chunk(1 << 20, 'x');
    const int line = connectTo(path);
    const timeval patience{5, 0};
    ::setsockopt(line, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    qint64 sent = 0;
    for (ssize_t n = 0; n >= 0 && sent < (qint64(256) << 20);
         n = ::send(line, chunk.constData(), 1 << 20, MSG_NOSIGNAL))
        sent += n;
    int connected = 0;
    for (int i = 0; i < 1100; ++i)
        connected += connectTo(path) >= 0; // left open
    const bool answered = claim.askRunningToShow(5000);
    printf("line bytes taken %lld, idle connections %d, %s meanwhile; ", sent, connected,
           answered ? "answered" : "no answer");
    return connected == 1100 && answered ? 0 : 4;
}

// The second copy runs in a child process, as it does in use: the test binary run again.
int secondCopy(const QStringList &arguments) {
    const gid_t group = StaffGroup;
    if (arguments.size() == 4 && (::setgroups(1, &group) != 0 || ::setgid(group) != 0 ||
                                  ::setuid(arguments.at(3).toUInt()) != 0))
        return 5;
    ::umask(022); // as most staff have it
    FolderClaim claim(arguments.at(2));
    if (arguments.at(1) == QLatin1String("flood"))
        return flood(claim);
    if (arguments.at(1) == QLatin1String("alarm"))
        return claim.askRunningTo("alarm", 2) ? 0 : 3;
    if (arguments.at(1) == QLatin1String("hold")) {
        printf(claim.claim() ? "held\n" : "refused\n");
        fflush(stdout);
        return QCoreApplication::exec();
    }
    return claim.claim() ? 2 : claim.askRunningToShow() ? 0 : 3;
}

int runSecondCopy(
    const QString &what, const QString &folder, QString *output = nullptr,
    const std::function<void()> &meanwhile = [] {}) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {what, folder});
    while (child.state() != QProcess::NotRunning) {
        child.waitForFinished(10);
        QCoreApplication::processEvents(); // the holder answers from its event loop
        meanwhile();
    }
    if (output)
        *output = QString::fromLocal8Bit(child.readAll());
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

// This process's sockets (the holder's server and connections), not the child's pipes.
int openSockets() {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList all = fds.entryList(QDir::System | QDir::NoDotAndDotDot);
    return int(std::count_if(all.begin(), all.end(), [&](const QString &fd) {
        return QFile::symLinkTarget(fds.filePath(fd)).contains(QLatin1String("socket:"));
    }));
}

mode_t modeOf(const QString &path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode : 0;
}
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void killedHolderFreesTheFolder() {
        QTemporaryDir folder;
        const QByteArray path = QFile::encodeName(folder.path());
        const bool root = ::geteuid() == 0;
        QVERIFY(!root || (::chown(path, 0, StaffGroup) == 0 && ::chmod(path, 02770) == 0));
        const auto hold = [&](QProcess &holder, uid_t user) {
            holder.start(QCoreApplication::applicationFilePath(),
                         QStringList{"hold", folder.path()} +
                             (root ? QStringList{QString::number(user)} : QStringList()));
            return holder.waitForReadyRead(10000) && holder.readAll() == "held\n";
        };
        QProcess first, second;
        QVERIFY(hold(first, FirstUser));
        FolderClaim claim(folder.path());
        // Made under umask 022, yet open to the whole group, and to nobody else.
        QCOMPARE(modeOf(claim.lockPath()) & 0777, mode_t(0660));
        const QString socket = folder.filePath(QStringLiteral("zil.soket"));
        QCOMPARE(modeOf(socket) & (S_IFMT | 0027), S_IFSOCK | 0020); // write lets one connect
        QVERIFY(!claim.claim());
        QCOMPARE(claim.claimError(), FolderClaim::Error::Held);
        QCOMPARE(claim.askHolder(), FolderClaim::Holder::Window);

        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished());
        QVERIFY(S_ISSOCK(modeOf(socket))); // left behind, and in nobody's way
        QVERIFY(hold(second, SecondUser));
        QCOMPARE(claim.askHolder(), FolderClaim::Holder::Window);
    }

    void oneRingerPerFolder() {
        QTemporaryDir folder, other;
        auto first = std::make_unique<FolderClaim>(folder.path());
        QVERIFY(first->claim());
        // Too long a path for a socket address: reached through the folder's descriptor.
        const QString longPath = other.filePath(QString(110, QLatin1Char('u')));
        QVERIFY(QDir().mkpath(longPath));
        FolderClaim elsewhere(longPath);
        QVERIFY(elsewhere.claim());
        QCOMPARE(runSecondCopy("ask", longPath), 0);

        QMainWindow window;
        window.showMinimized();
        connect(first.get(), &FolderClaim::showRequested, [&] { bringToFront(window); });
        QSignalSpy shown(first.get(), &FolderClaim::showRequested);
        QCOMPARE(runSecondCopy("ask", folder.path()), 0);
        QCOMPARE(shown.count(), 1);
        QVERIFY(!window.isMinimized());

        first.reset();
        QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("zil.soket"))));
        QVERIFY(FolderClaim(folder.path()).claim());
    }

    void windowEndsCleanlyOnSigterm() {
        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            for (QWidget *window : QApplication::topLevelWidgets())
                if (qobject_cast<TfrmMenu *>(window) && window->isVisible() && poll.isActive()) {
                    poll.stop();
                    ::raise(SIGTERM);
                }
        });
        poll.start(50);
        // SIGTERM went unheard. Generous: a new folder's first start makes the program's sounds,
        // seconds under the sanitizers.
        QTimer::singleShot(30000, [] { QCoreApplication::exit(7); });
        QCOMPARE(runProgram(static_cast<ZilApplication &>(*qApp), [] { return false; }), 0);
        QVERIFY(!poll.isActive());
        QVERIFY(!QFile::exists(fx.folder() + "zil.soket"));
        QVERIFY(FolderClaim(fx.folder()).claim());
        setProgramFolder({});
    }

    // A window that only shows the service's bells passes its alarm on.
    void theServiceTakesAnAlarmFromAWindow() {
        QTemporaryDir folder;
        FolderClaim service(folder.path());
        service.setService(true);
        QVERIFY(service.claim());
        QList<QJsonObject> asked;
        uint askedBy = ~0u;
        service.setHandler([&](const QJsonObject &request, const FolderClaim::Peer &peer,
                               const std::function<void(const QJsonObject &)> &answer) {
            asked.append(request);
            askedBy = peer.uid;
            answer({{"ok", true}});
        });
        QCOMPARE(runSecondCopy("alarm", folder.path()), 0);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.first().value("islem").toString(), QStringLiteral("alarm"));
        QCOMPARE(asked.first().value("tur").toInt(), 2);
        QCOMPARE(askedBy, ::geteuid());
    }

    void floodChangesNothing() {
        QTemporaryDir folder;
        FolderClaim holder(folder.path());
        QVERIFY(holder.claim());
        QSignalSpy shown(&holder, &FolderClaim::showRequested);
        QCOMPARE(runSecondCopy("ask", folder.path()), 0); // whatever a first answer allocates
        // The window of the case before makes the program's sounds on the pool; its memory is
        // not the flood's.
        QThreadPool::globalInstance()->waitForDone();
        const qint64 rssBefore = residentKb();
        const int socketsBefore = openSockets();
        qint64 rssMost = rssBefore, longestPauseMs = 0;
        int socketsMost = socketsBefore;
        QElapsedTimer sinceLast;
        sinceLast.start();
        QString output;
        const int flooded = runSecondCopy("flood", folder.path(), &output, [&] {
            socketsMost = qMax(socketsMost, openSockets());
            rssMost = qMax(rssMost, residentKb());
            longestPauseMs = qMax(longestPauseMs, sinceLast.restart());
        });
        qInfo("%sRSS %lld kB, at most %lld; sockets %d, at most %d; longest pause %lld ms",
              qPrintable(output), rssBefore, rssMost, socketsBefore, socketsMost, longestPauseMs);
        QCOMPARE(flooded, 0);
        QVERIFY(socketsMost <= socketsBefore + FolderClaim::MaxConnections);
#ifndef __SANITIZE_ADDRESS__ // its quarantine keeps every closed connection's memory resident
        QVERIFY(rssMost - rssBefore < 16 * 1024);
#endif
        QVERIFY(longestPauseMs < 500); // the bells' event loop went on
        QCOMPARE(runSecondCopy("ask", folder.path()), 0);
        QCOMPARE(shown.count(), 3);
    }
};

int main(int argc, char **argv) {
    ZilApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() >= 3)
        return secondCopy(arguments);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
