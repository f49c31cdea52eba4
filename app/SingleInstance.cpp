#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

namespace {
const QByteArray showRequest = QByteArrayLiteral("show\n");
const QByteArray shownAnswer = QByteArrayLiteral("ok\n");
const QByteArray serviceAnswer = QByteArrayLiteral("servis\n");
const QByteArray stopRequest = QByteArrayLiteral("stop\n");
} // namespace

FolderClaim::FolderClaim(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
    , m_lock(QDir(folder).filePath(QStringLiteral("zil.kilit"))) {
    // Only a dead holder makes the lock stale. An age limit would hand the folder to a second
    // copy while the first, running all day, still rings.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, &FolderClaim::answer);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (claim() || lockError() != QLockFile::LockFailedError) {
            m_retry.stop();
            emit claimed();
        }
    });
}

void FolderClaim::claimWhenFree(int intervalMs) {
    m_retry.start(intervalMs);
}

bool FolderClaim::claim() {
    if (!m_lock.tryLock())
        return false;
    // Holding the lock, any server of this name was left by a copy that died.
    const QString name = serverName(m_folder);
    QLocalServer::removeServer(name);
    // The service runs as its own user; the staff who keep the schedule share its group (they
    // need it to write the folder), and only they may ask it to show or to stop the music.
    if (m_service)
        m_server.setSocketOptions(QLocalServer::UserAccessOption |
                                  QLocalServer::GroupAccessOption);
    // Without the server the bells still ring; only a later copy cannot reach this one.
    if (!m_server.listen(name))
        qWarning("Zil: yerel sunucu %s açılamadı: %s", qPrintable(name),
                 qPrintable(m_server.errorString()));
    return true;
}

bool FolderClaim::askRunningToShow(int timeoutMs) {
    const QByteArray answer = ask(showRequest, timeoutMs);
    m_holderIsService = answer.startsWith(serviceAnswer);
    return answer.startsWith(shownAnswer) || m_holderIsService;
}

bool FolderClaim::askRunningToStop(int timeoutMs) {
    return ask(stopRequest, timeoutMs).startsWith(shownAnswer);
}

QByteArray FolderClaim::ask(const QByteArray &request, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(serverName(m_folder));
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(request);
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(int(deadline.remainingTime()))) {
            }
            return socket.readAll();
        }
        // The holder may have the lock but not yet its server.
        QThread::msleep(100);
    }
    return {};
}

QString FolderClaim::serverName(const QString &folder) {
    const QByteArray path = QDir(folder).canonicalPath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("selvanor-zil-") + QString::fromLatin1(hash.left(24));
}

void FolderClaim::answer() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray request = socket->readLine();
            if (request == showRequest) {
                socket->write(m_service ? serviceAnswer : shownAnswer);
                socket->flush();
                if (!m_service)
                    emit showRequested();
            } else if (request == stopRequest) {
                emit stopRequested();
                socket->write(shownAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}
