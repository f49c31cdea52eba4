// One ringer per folder, against what a local user can do to it: a holder killed outright, a
// stale socket file, a flood of connections and an endless line; and a window that SIGTERM ends
// lets go of the folder.
#include "AnaSayfa.h"
#include "ProcessFigures.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "WindowLook.h"
#include "ZilApplication.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <vector>

namespace {
// Run as root, the two holders are two other users who share only the folder's group.
constexpr uid_t FirstUser = 64101, SecondUser = 64102;
constexpr gid_t StaffGroup = 64100;

int connectTo(const QString &path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    while (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (errno != EAGAIN) {
            ::close(fd);
            return -1;
        }
        ::usleep(1000); // the holder's backlog is full until it drops some
    }
    return fd;
}

// 256 MiB with no newline on one connection, then 1,100 idle ones kept open while asking the
// holder to show. Prints what got through.
int flood(FolderClaim &claim) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    const int line = connectTo(claim.socketPath());
    const QByteArray chunk(1 << 20, 'x');
    qint64 sent = 0;
    while (line >= 0 && sent < (qint64(256) << 20)) {
        pollfd wait{line, POLLOUT, 0};
        if (::poll(&wait, 1, 5000) != 1)
            break;
        const ssize_t n = ::send(line, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN)
            break;
        sent += qMax<ssize_t>(n, 0);
    }
    std::vector<int> idle;
    for (int i = 0; i < 1100; ++i)
        idle.push_back(connectTo(claim.socketPath()));
    const auto connected = std::count_if(idle.begin(), idle.end(), [](int fd) { return fd >= 0; });
    // Answered once the holder has dropped the idle ones it took.
    const bool answered = claim.askRunningToShow(5000);
    printf("line bytes accepted %lld, idle connections made %ld, asked meanwhile: %s\n", sent,
           long(connected), answered ? "answered" : "no answer");
    return connected == 1100 && answered ? 0 : 4;
}

// The second copy runs in a child process, as it does in use: the test binary run again.
int secondCopy(const QStringList &arguments) {
    const QString what = arguments.at(1);
    if (arguments.size() == 4) {
        const gid_t group = StaffGroup;
        if (::setgroups(1, &group) != 0 || ::setgid(group) != 0 ||
            ::setuid(arguments.at(3).toUInt()) != 0)
            return 5;
    }
    ::umask(022); // as most staff have it
    FolderClaim claim(arguments.at(2));
    if (what == QLatin1String("hold")) {
        if (!claim.claim())
            return 2;
        printf("held\n");
        fflush(stdout);
        return QCoreApplication::exec();
    }
    if (what == QLatin1String("flood"))
        return flood(claim);
    if (claim.claim())
        return 2;
    return claim.askRunningToShow() ? 0 : 3;
}

// Runs the test binary as a second copy; the holder answers from this event loop meanwhile.
int runSecondCopy(const QString &what, const QString &folder, QString *output = nullptr,
                  const std::function<void()> &meanwhile = {}) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {what, folder});
    while (child.state() != QProcess::NotRunning) {
        child.waitForFinished(10);
        QCoreApplication::processEvents();
        if (meanwhile)
            meanwhile();
    }
    if (output)
        *output = QString::fromLocal8Bit(child.readAll());
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

// This process's sockets: the holder's server and its connections, not the child's pipes.
int openSockets() {
    int sockets = 0;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : descriptors.entryList(QDir::System | QDir::NoDotAndDotDot))
        sockets +=
            QFile::symLinkTarget(descriptors.filePath(fd)).contains(QLatin1String("socket:"));
    return sockets;
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
        const bool root = ::geteuid() == 0;
        if (root) {
            QVERIFY(::chown(QFile::encodeName(folder.path()).constData(), 0, StaffGroup) == 0);
            QVERIFY(::chmod(QFile::encodeName(folder.path()).constData(), 02770) == 0);
        }
        const auto startHolder = [&](QProcess &holder, uid_t user) {
            QStringList arguments{QStringLiteral("hold"), folder.path()};
            if (root)
                arguments << QString::number(user);
            holder.start(QCoreApplication::applicationFilePath(), arguments);
            return holder.waitForReadyRead(10000) && holder.readAll() == "held\n";
        };
        QProcess first;
        QVERIFY(startHolder(first, FirstUser));

        FolderClaim claim(folder.path());
        // Made under umask 022, still open to the whole group, and to nobody else.
        QCOMPARE(modeOf(claim.lockPath()) & 0777, mode_t(0660));
        const QString socket = folder.filePath(QStringLiteral("zil.soket"));
        QVERIFY(S_ISSOCK(modeOf(socket)));
        QCOMPARE(modeOf(socket) & 0027, mode_t(0020)); // write is what lets one connect
        QVERIFY(!claim.claim());
        QCOMPARE(claim.claimError(), FolderClaim::Error::Held);
        QCOMPARE(claim.askHolder(), FolderClaim::Holder::Window);

        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished());
        QVERIFY(S_ISSOCK(modeOf(socket))); // left behind, and in the way of nobody

        QProcess second;
        QVERIFY(startHolder(second, SecondUser));
        QCOMPARE(claim.askHolder(), FolderClaim::Holder::Window);
        second.kill();
        QVERIFY(second.waitForFinished());
        QVERIFY(claim.claim());
    }

    void oneRingerPerFolder() {
        QTemporaryDir folder, other;
        auto first = std::make_unique<FolderClaim>(folder.path());
        QVERIFY(first->claim());
        // Too long a path for a socket address, reached through the folder's descriptor.
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
        bool windowUp = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            for (QWidget *window : QApplication::topLevelWidgets())
                if (qobject_cast<TfrmMenu *>(window) && window->isVisible() && !windowUp) {
                    windowUp = true;
                    ::raise(SIGTERM);
                }
        });
        poll.start(50);
        QTimer::singleShot(10000, [] { QCoreApplication::exit(7); }); // SIGTERM went unheard
        QCOMPARE(runProgram(static_cast<ZilApplication &>(*qApp), [] { return false; }), 0);
        QVERIFY(windowUp);
        QVERIFY(!QFile::exists(fx.folder() + "zil.soket"));
        QVERIFY(FolderClaim(fx.folder()).claim());
        setProgramFolder({});
    }

    void floodChangesNothing() {
        QTemporaryDir folder;
        FolderClaim holder(folder.path());
        QVERIFY(holder.claim());
        QSignalSpy shown(&holder, &FolderClaim::showRequested);
        QCOMPARE(runSecondCopy("ask", folder.path()), 0); // whatever a first answer allocates
        const qint64 rssBefore = residentKb();
        const int fdsBefore = openDescriptors();
        const int socketsBefore = openSockets();

        int socketsMost = socketsBefore;
        qint64 rssMost = rssBefore;
        qint64 longestGapMs = 0;
        QElapsedTimer sinceLast;
        sinceLast.start();
        QString output;
        const int flooded = runSecondCopy("flood", folder.path(), &output, [&] {
            socketsMost = qMax(socketsMost, openSockets());
            rssMost = qMax(rssMost, residentKb());
            longestGapMs = qMax(longestGapMs, sinceLast.restart());
        });
        qInfo("%s; RSS %lld kB, at most %lld during; sockets %d, at most %d during; "
              "descriptors %d -> %d; longest pause of the event loop %lld ms",
              qPrintable(output.trimmed()), rssBefore, rssMost, socketsBefore, socketsMost,
              fdsBefore, openDescriptors(), longestGapMs);
        QCOMPARE(flooded, 0);
        QVERIFY(socketsMost <= socketsBefore + FolderClaim::MaxConnections);
        QVERIFY(rssMost - rssBefore < 16 * 1024);
        QVERIFY(longestGapMs < 500);
        QCOMPARE(runSecondCopy("ask", folder.path()), 0);
        QCOMPARE(shown.count(), 3);
        QTRY_VERIFY(openDescriptors() <= fdsBefore + 1);
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
