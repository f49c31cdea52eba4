#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <optional>

#include <QJsonDocument>
#include <QPointer>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {
const char LockName[] = "zil.kilit";
const char SocketName[] = "zil.soket";
// sockaddr_un's path field, less its closing zero.
constexpr int MaxSocketPath = 107;

const QByteArray showRequest = QByteArrayLiteral("show\n");
const QByteArray whoRequest = QByteArrayLiteral("who\n");
const QByteArray shownAnswer = QByteArrayLiteral("ok\n");
const QByteArray serviceAnswer = QByteArrayLiteral("servis\n");
// A window rings here, but not one this asker may bring up (another user's).
const QByteArray windowAnswer = QByteArrayLiteral("pencere\n");

bool peerCredentials(int socket, ucred &credentials) {
    socklen_t length = sizeof credentials;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0;
}

bool peerIsSameUser(QLocalSocket *socket) {
    ucred credentials{};
    return peerCredentials(int(socket->socketDescriptor()), credentials) &&
           credentials.uid == ::geteuid();
}

QString userName(uid_t uid) {
    passwd entry{};
    passwd *found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

void drop(QLocalSocket *socket) {
    socket->abort();
    socket->deleteLater();
}
} // namespace

FolderClaim::FolderClaim(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(QDir(folder).absolutePath()) {
    // Held open for the claim's life: the lock file and the socket are reached through it, so a
    // long folder path still fits a socket address.
    m_folderFd = ::open(QFile::encodeName(m_folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    connect(&m_server, &QLocalServer::newConnection, this, &FolderClaim::answer);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (claim() || m_error != Error::Held) {
            m_retry.stop();
            emit claimed();
        }
    });
}

FolderClaim::~FolderClaim() {
    if (m_held) {
        m_server.close();
        // Still holding the lock, so the socket file is this copy's own.
        ::unlinkat(m_folderFd, SocketName, 0);
    }
    // The file stays: removing a locked file would let two copies lock two different files.
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

QString FolderClaim::lockPath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(LockName);
}

QString FolderClaim::socketPath() const {
    const QString direct = m_folder + QLatin1Char('/') + QLatin1String(SocketName);
    if (QFile::encodeName(direct).size() <= MaxSocketPath)
        return direct;
    return QStringLiteral("/proc/self/fd/%1/%2").arg(m_folderFd).arg(QLatin1String(SocketName));
}

bool FolderClaim::openLockFile() {
    if (m_folderFd < 0)
        return false;
    // Read-only is enough for flock(), so a lock file left by an older version as another
    // user's 0644 still opens. No symlink, and no FIFO that would block the open.
    const int fd = ::openat(m_folderFd, LockName,
                            O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0660);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return false;
    }
    // Not the creator's umask (022 for most staff, 077 for some) but the folder decides who may
    // lock: its whole group, whose setgid bit gave the file, and nobody else.
    if (status.st_uid == ::geteuid() && (status.st_mode & 07777) != 0660)
        ::fchmod(fd, 0660);
    m_lockFd = fd;
    return true;
}

bool FolderClaim::claim() {
    if (m_held)
        return true;
    if (m_lockFd < 0 && !openLockFile()) {
        m_error = Error::Unavailable;
        return false;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        m_error = errno == EWOULDBLOCK ? Error::Held : Error::Unavailable;
        return false;
    }
    m_held = true;
    m_error = Error::None;
    listen();
    return true;
}

void FolderClaim::claimWhenFree(int intervalMs) {
    m_retry.start(intervalMs);
}

void FolderClaim::listen() {
    // Holding the lock, a socket file here was left by a holder that died.
    ::unlinkat(m_folderFd, SocketName, 0);
    // Staff share the folder's group; the service often runs as a user of its own.
    m_server.setSocketOptions(QLocalServer::UserAccessOption | QLocalServer::GroupAccessOption);
    // Without the server the bells still ring; only a later copy cannot reach this one.
    if (!m_server.listen(socketPath()))
        qWarning("Zil: yerel soket %s açılamadı: %s", qPrintable(socketPath()),
                 qPrintable(m_server.errorString()));
}

void FolderClaim::answer() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        // Every connection object not yet deleted counts, the new one too.
        if (m_server.findChildren<QLocalSocket *>(Qt::FindDirectChildrenOnly).size() >
            MaxConnections) {
            socket->abort();
            delete socket;
            continue;
        }
        socket->setReadBufferSize(MaxLineBytes);
        // Dropped unless a whole request comes in time; one that came waits for its answer.
        auto *wait = new QTimer(socket);
        wait->setObjectName(QStringLiteral("wait"));
        wait->setSingleShot(true);
        connect(wait, &QTimer::timeout, socket, [socket] { drop(socket); });
        wait->start(ReadTimeoutMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        // Data may have come with the connection.
        if (socket->bytesAvailable() > 0)
            serve(socket);
    }
}

void FolderClaim::serve(QLocalSocket *socket) {
    if (socket->state() != QLocalSocket::ConnectedState || socket->property("answering").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= MaxLineBytes)
            drop(socket);
        return;
    }
    const QByteArray request = socket->readLine(MaxLineBytes + 1);
    if (request.startsWith('{') && request.endsWith('\n')) {
        handle(socket, request);
        return;
    }
    const bool sameUser = peerIsSameUser(socket);
    QByteArray reply;
    bool show = false;
    if (request == showRequest) {
        show = !m_service && sameUser;
        reply = m_service ? serviceAnswer : show ? shownAnswer : windowAnswer;
    } else if (request == whoRequest) {
        reply = m_service ? serviceAnswer : windowAnswer;
    } else {
        drop(socket);
        return;
    }
    // Never waits: the reply is a few bytes into an empty socket buffer.
    socket->write(reply);
    socket->flush();
    socket->disconnectFromServer();
    if (show)
        emit showRequested();
}

void FolderClaim::handle(QLocalSocket *socket, const QByteArray &line) {
    QJsonParseError error{};
    const QJsonObject request = QJsonDocument::fromJson(line, &error).object();
    ucred credentials{};
    if (error.error != QJsonParseError::NoError || !m_handler ||
        !peerCredentials(int(socket->socketDescriptor()), credentials)) {
        drop(socket);
        return;
    }
    socket->setProperty("answering", true);
    if (auto *wait = socket->findChild<QTimer *>(QStringLiteral("wait")))
        wait->start(AnswerTimeoutMs);
    const Peer peer{credentials.uid, userName(credentials.uid)};
    m_handler(request, peer, [socket = QPointer<QLocalSocket>(socket)](const QJsonObject &answer) {
        if (!socket || socket->state() != QLocalSocket::ConnectedState)
            return;
        socket->write(QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n');
        socket->flush();
        socket->disconnectFromServer();
    });
}

bool FolderClaim::askRunningToShow(int timeoutMs) {
    const QByteArray answer = ask(showRequest, timeoutMs);
    m_holderIsService = answer == serviceAnswer;
    return answer == shownAnswer || m_holderIsService;
}

FolderClaim::Holder FolderClaim::askHolder(int timeoutMs) {
    const QByteArray answer = ask(whoRequest, timeoutMs);
    if (answer == serviceAnswer)
        return Holder::Service;
    if (answer == windowAnswer)
        return Holder::Window;
    return Holder::Unknown;
}

namespace {
bool done(const std::optional<QJsonObject> &answer, QString *said) {
    if (said)
        *said = answer ? answer->value(QStringLiteral("mesaj")).toString() : QString();
    return answer && answer->value(QStringLiteral("ok")).toBool();
}
} // namespace

bool FolderClaim::askRunningToStop(int timeoutMs, QString *said) {
    const QJsonObject request{{QStringLiteral("islem"), QStringLiteral("durdur")},
                              {QStringLiteral("anahtar"), QString::fromLatin1(m_token)}};
    return done(askJson(request, timeoutMs), said);
}

bool FolderClaim::askRunningTo(const QByteArray &command, int argument, int timeoutMs,
                               QString *said) {
    QJsonObject request{{QStringLiteral("anahtar"), QString::fromLatin1(m_token)}};
    if (command == "alarm" && argument < 0) {
        request.insert(QStringLiteral("islem"), QStringLiteral("alarmDurdur"));
    } else if (command == "alarm") {
        request.insert(QStringLiteral("islem"), QStringLiteral("alarm"));
        request.insert(QStringLiteral("tur"), argument);
    } else {
        request.insert(QStringLiteral("islem"), QString::fromLatin1(command));
        request.insert(QStringLiteral("id"), argument);
    }
    return done(askJson(request, timeoutMs), said);
}

std::optional<QJsonObject> FolderClaim::askJson(const QJsonObject &request, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray line = QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
    if (line.size() > MaxLineBytes)
        return std::nullopt;
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            if (!peerMayHold(int(socket.socketDescriptor())))
                return std::nullopt;
            socket.write(line);
            QByteArray answer;
            while (!answer.endsWith('\n') && answer.size() < MaxAnswerBytes) {
                if (socket.bytesAvailable() == 0 &&
                    !socket.waitForReadyRead(int(deadline.remainingTime())))
                    break;
                answer += socket.read(MaxAnswerBytes - answer.size());
            }
            if (!answer.endsWith('\n'))
                return std::nullopt;
            QJsonParseError error{};
            const QJsonObject object = QJsonDocument::fromJson(answer, &error).object();
            if (error.error != QJsonParseError::NoError)
                return std::nullopt;
            return object;
        }
        // The holder may have the lock but not yet its server, or as many askers as it takes.
        QThread::msleep(100);
    }
    return std::nullopt;
}

QByteArray FolderClaim::ask(const QByteArray &request, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.setReadBufferSize(MaxLineBytes);
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            if (!peerMayHold(int(socket.socketDescriptor()))) {
                qWarning("Zil: %s, klasörü tutamayacak bir kullanıcıya ait; yanıtı yok sayıldı.",
                         qPrintable(socketPath()));
                return {};
            }
            socket.write(request);
            while (!socket.canReadLine() && socket.bytesAvailable() < MaxLineBytes &&
                   socket.waitForReadyRead(int(deadline.remainingTime()))) {
            }
            if (socket.bytesAvailable() > 0)
                return socket.readLine(MaxLineBytes);
        }
        // The holder may have the lock but not yet its server, or as many askers as it takes.
        QThread::msleep(100);
    }
    return {};
}

// Only a user who can write the folder can have bound its socket; this check also refuses a
// socket reached through a link placed there, whose other end anyone might have bound.
bool FolderClaim::peerMayHold(int socket) const {
    ucred credentials{};
    struct stat folder {};
    if (!peerCredentials(socket, credentials) || ::fstat(m_folderFd, &folder) != 0)
        return false;
    if (credentials.uid == ::geteuid() || credentials.uid == 0 ||
        credentials.uid == folder.st_uid || credentials.gid == folder.st_gid)
        return true;
    std::vector<gid_t> groups(64);
    socklen_t length = socklen_t(groups.size() * sizeof(gid_t));
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) != 0) {
        if (errno != ERANGE)
            return false;
        groups.resize(length / sizeof(gid_t));
        if (::getsockopt(socket, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) != 0)
            return false;
    }
    groups.resize(length / sizeof(gid_t));
    return std::find(groups.begin(), groups.end(), folder.st_gid) != groups.end();
}
