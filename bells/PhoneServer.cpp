#include "PhoneServer.h"

#include <QAbstractHttpServer>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <openssl/crypto.h>

#include <cctype>

#include <sys/socket.h>
#include <unistd.h>

// --- the snapshot ---------------------------------------------------------------------------

void PhoneSnapshot::set(QJsonObject state, QJsonObject classroom, QSet<QString> sounds,
                        QSet<int> announcements, bool classroomOn) {
    const QMutexLocker lock(&m_mutex);
    m_state = std::move(state);
    m_classroom = std::move(classroom);
    m_sounds = std::move(sounds);
    m_announcements = std::move(announcements);
    m_classroomOn = classroomOn;
}

QJsonObject PhoneSnapshot::state() const {
    const QMutexLocker lock(&m_mutex);
    return m_state;
}

QJsonObject PhoneSnapshot::classroom() const {
    const QMutexLocker lock(&m_mutex);
    return m_classroom;
}

bool PhoneSnapshot::classroomOn() const {
    const QMutexLocker lock(&m_mutex);
    return m_classroomOn;
}

bool PhoneSnapshot::offersSound(const QString &music) const {
    const QMutexLocker lock(&m_mutex);
    return m_sounds.contains(music);
}

bool PhoneSnapshot::offersAnnouncement(int id) const {
    const QMutexLocker lock(&m_mutex);
    return m_announcements.contains(id);
}

namespace {

// --- the listener: TLS or a redirect, and the limits ----------------------------------------

// The limits of one connection, a child of its socket: closed when no answer went out for
// FirstRequestSeconds from the start, IdleSeconds after an answer (a keep-alive connection may
// stay while it is used; one that drips a request in slowly may not), and answered 413 and
// closed once a request grows past MaxRequestBytes.
class ConnectionLimits : public QObject {
public:
    explicit ConnectionLimits(QTcpSocket *socket)
        : QObject(socket)
        , m_socket(socket) {
        m_idle.setSingleShot(true);
        connect(&m_idle, &QTimer::timeout, this, [this] {
            m_socket->abort();
            m_socket->deleteLater();
        });
        m_idle.start(PhoneServer::FirstRequestSeconds * 1000);
        connect(socket, &QIODevice::bytesWritten, this, [this] {
            m_received = 0;
            m_idle.start(PhoneServer::IdleSeconds * 1000);
        });
        // Connected before the HTTP server's own handler, so it runs first and can take the
        // bytes away from it.
        connect(socket, &QIODevice::readyRead, this, &ConnectionLimits::received);
    }

private:
    void received() {
        if (m_refused) {
            m_socket->readAll();
            return;
        }
        m_received += m_socket->bytesAvailable();
        if (m_received <= PhoneServer::MaxRequestBytes)
            return;
        m_refused = true;
        m_socket->readAll();
        const QByteArray body = QStringLiteral("İstek çok büyük.").toUtf8();
        m_socket->write("HTTP/1.1 413 Payload Too Large\r\nConnection: close\r\n"
                        "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
        m_socket->disconnectFromHost();
    }

    QTcpSocket *m_socket;
    QTimer m_idle;
    qint64 m_received = 0;
    bool m_refused = false;
};

QHostAddress peerOf(qintptr fd) {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(int(fd), reinterpret_cast<sockaddr *>(&peer), &size) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr *>(&peer));
}

// Every connection, counted from accept() until its socket is gone. The first byte decides:
// 0x16 opens a TLS handshake; anything else is plain HTTP and gets a redirect to https://.
class PhoneListener : public QTcpServer {
public:
    PhoneListener(QSslConfiguration tls, QObject *parent)
        : QTcpServer(parent)
        , m_tls(std::move(tls)) {
        m_clock.start();
    }

    int open() const { return int(m_open.size()); }

protected:
    void incomingConnection(qintptr fd) override {
        const QString group = Gate::addressGroup(peerOf(fd));
        qsizetype fromGroup = 0;
        for (const Open &o : std::as_const(m_open))
            fromGroup += o.group == group;
        if (fromGroup >= PhoneServer::MaxConnectionsPerGroup) {
            ::close(int(fd));
            qInfo().noquote() << QStringLiteral("Telefon sayfası: %1 adresinden çok fazla "
                                                "bağlantı; yeni bağlantı reddedildi.")
                                     .arg(group);
            return;
        }
        if (m_open.size() >= PhoneServer::MaxConnections)
            evictOne();
        const quint64 id = ++m_lastId;
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        auto *deadline = new QTimer(notifier);
        deadline->setSingleShot(true);
        const auto giveUp = [this, notifier, fd, id] {
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(int(fd));
            m_open.remove(id);
        };
        m_open.insert(id, {group, m_clock.elapsed(), giveUp});
        connect(deadline, &QTimer::timeout, notifier, giveUp);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, fd, id, giveUp] {
            unsigned char first = 0;
            const ssize_t got = ::recv(int(fd), &first, 1, MSG_PEEK | MSG_DONTWAIT);
            if (got <= 0) {
                giveUp();
                return;
            }
            notifier->setEnabled(false);
            notifier->deleteLater();
            if (first == 0x16)
                startTls(fd, id);
            else
                redirect(fd, id);
        });
        deadline->start(PhoneServer::FirstRequestSeconds * 1000);
    }

private:
    struct Open {
        QString group;
        qint64 waitingSinceMs = 0; // opened, or last answered
        std::function<void()> close;
    };

    // Room for one more: the connection that has waited longest since it was opened or last
    // answered goes. A phone that is being answered keeps its place.
    void evictOne() {
        auto longest = m_open.begin();
        // Of those that waited as long, the one opened first.
        const auto earlier = [](auto a, auto b) {
            return std::pair(a->waitingSinceMs, a.key()) < std::pair(b->waitingSinceMs, b.key());
        };
        for (auto it = m_open.begin(); it != m_open.end(); ++it)
            if (earlier(it, longest))
                longest = it;
        if (longest == m_open.end())
            return;
        const std::function<void()> close = longest->close;
        m_open.erase(longest);
        close();
    }

    // A socket's life: counted, closed when idle, refused when its request grows too big.
    void guard(QTcpSocket *socket, quint64 id) {
        connect(socket, &QObject::destroyed, this, [this, id] { m_open.remove(id); });
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QIODevice::bytesWritten, this, [this, id] {
            if (const auto found = m_open.find(id); found != m_open.end())
                found->waitingSinceMs = m_clock.elapsed();
        });
        if (const auto found = m_open.find(id); found != m_open.end())
            found->close = [socket] {
                socket->abort();
                socket->deleteLater();
            };
        new ConnectionLimits(socket);
    }

    // The connection `fd` as a guarded socket of type T; nullptr, with `fd` closed, when it cannot
    // be taken over.
    template <class T> T *adopt(qintptr fd, quint64 id) {
        auto *socket = new T(this);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(int(fd));
            m_open.remove(id);
            delete socket;
            return nullptr;
        }
        guard(socket, id);
        return socket;
    }

    void startTls(qintptr fd, quint64 id) {
        auto *socket = adopt<QSslSocket>(fd, id);
        if (!socket)
            return;
        socket->setSslConfiguration(m_tls);
        connect(socket, &QSslSocket::encrypted, this, [this, socket] {
            addPendingConnection(socket);
            emit newConnection();
        });
        connect(socket, &QSslSocket::sslErrors, socket, [socket] { socket->abort(); });
        connect(socket, &QAbstractSocket::errorOccurred, socket, [socket] {
            // The handshake failed (a phone that refused the certificate, a scanner): gone.
            if (!socket->isEncrypted())
                socket->abort();
        });
        socket->startServerEncryption();
    }

    // Plain HTTP: one answer, a redirect to https:// on the address and port the connection
    // came to, then the connection ends. Nothing the client sent goes into the answer.
    void redirect(qintptr fd, quint64 id) {
        auto *socket = adopt<QTcpSocket>(fd, id);
        if (!socket)
            return;
        connect(socket, &QIODevice::readyRead, socket, [this, socket] {
            if (!socket->canReadLine() && socket->bytesAvailable() < 8192)
                return;
            socket->readAll();
            QHostAddress local = socket->localAddress();
            bool mapped = false;
            if (const quint32 v4 = local.toIPv4Address(&mapped); mapped)
                local = QHostAddress(v4);
            local.setScopeId({});
            const QByteArray host = local.protocol() == QAbstractSocket::IPv6Protocol
                                        ? '[' + local.toString().toLatin1() + ']'
                                        : local.toString().toLatin1();
            const QByteArray location =
                "https://" + host + ':' + QByteArray::number(serverPort()) + '/';
            socket->write("HTTP/1.1 301 Moved Permanently\r\nLocation: " + location +
                          "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
            socket->disconnectFromHost();
        });
    }

    QSslConfiguration m_tls;
    QHash<quint64, Open> m_open;
    quint64 m_lastId = 0;
    QElapsedTimer m_clock;
};

// --- the HTTP side ------------------------------------------------------------------------

struct Reply {
    int status = 200;
    QByteArray type = "application/json";
    QByteArray body;
    QList<QByteArray> cookies;
    int retryAfter = 0;
};

Reply json(const QJsonObject &object, int status = 200) {
    return {status, "application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

Reply refusal(int status, const QString &message) {
    return json(QJsonObject{{QStringLiteral("hata"), message}}, status);
}

QByteArray header(const QHttpServerRequest &request, const QByteArray &name) {
    for (const auto &[key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

class PhoneHttp : public QAbstractHttpServer {
public:
    using Handler = std::function<Reply(const QHttpServerRequest &)>;
    PhoneHttp(Handler handler, QObject *parent)
        : QAbstractHttpServer(parent)
        , m_handler(std::move(handler)) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override {
        const Reply reply = m_handler(request);
        QHttpServerResponse response(reply.type, reply.body,
                                     QHttpServerResponder::StatusCode(reply.status));
        response.addHeader("Cache-Control", "no-store");
        response.addHeader("X-Content-Type-Options", "nosniff");
        response.addHeader("X-Frame-Options", "DENY");
        response.addHeader("Referrer-Policy", "no-referrer");
        response.addHeader("Content-Security-Policy",
                           "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
        // Only ever served over TLS: a browser that once came here keeps to https://.
        response.addHeader("Strict-Transport-Security", "max-age=31536000");
        // Qt's response lists the last added of a name first: added backwards, the session's
        // cookie comes first, for a client that reads only the first.
        for (auto cookie = reply.cookies.crbegin(); cookie != reply.cookies.crend(); ++cookie)
            response.addHeader("Set-Cookie", *cookie);
        if (reply.retryAfter > 0)
            response.addHeader("Retry-After", QByteArray::number(reply.retryAfter));
        response.write(makeResponder(request, socket));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    Handler m_handler;
};

const QString cookieName = QStringLiteral("zil_oturum");
// The device cookie a right PIN leaves on a phone, so strangers' wrong PINs never keep it out.
const QByteArray deviceCookieName = "zil_cihaz";

QByteArray cookieOf(const QHttpServerRequest &request, const QByteArray &name) {
    for (const QByteArray &part : header(request, "Cookie").split(';')) {
        const QByteArray item = part.trimmed();
        if (item.startsWith(name + '='))
            return item.mid(name.size() + 1);
    }
    return {};
}

QByteArray randomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), bytes / 4);
    return raw.toHex();
}

bool sameSecret(const QByteArray &a, const QByteArray &b) {
    return a.size() == b.size() && !a.isEmpty() &&
           CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

// TLS 1.3's suites, and of TLS 1.2 only those with forward secrecy and sealed records (ECDHE
// with AES-GCM or ChaCha20-Poly1305): no CBC, no RSA key exchange.
QList<QSslCipher> sealedCiphers() {
    QList<QSslCipher> kept;
    for (const QSslCipher &cipher : QSslConfiguration::supportedCiphers()) {
        const QString name = cipher.name();
        if (cipher.protocol() == QSsl::TlsV1_3 ||
            (name.startsWith(QLatin1String("ECDHE-")) &&
             (name.contains(QLatin1String("GCM")) || name.contains(QLatin1String("CHACHA20")))))
            kept << cipher;
    }
    return kept;
}

QJsonArray permitted(Role role) {
    QJsonArray names;
    const std::pair<Action, const char *> actions[] = {
        {Action::StopSound, "durdur"},    {Action::RingNow, "zil"},
        {Action::AnnounceNow, "anons"},   {Action::Alarm, "alarm"},
        {Action::SilenceToday, "sessiz"},
    };
    for (const auto &[action, name] : actions)
        if (Roles::permits(role, action))
            names.append(QLatin1String(name));
    return names;
}

} // namespace

// --- the worker: lives in the server's thread -----------------------------------------------

class PhoneWorker : public QObject {
public:
    PhoneWorker(std::shared_ptr<PhoneSnapshot> snapshot, PhoneServer::Login login,
                std::function<void(const PhoneCommand &)> perform, QObject *performer)
        : m_snapshot(std::move(snapshot))
        , m_login(std::move(login))
        , m_perform(std::move(perform))
        , m_performer(performer) {
        m_clock.start();
    }

    // In the server's thread: listens, and tells the main thread how it went.
    void listen(const QHostAddress &address, quint16 port, const PhoneIdentity &identity,
                PhoneServer *owner, quint64 generation) {
        m_generation = generation;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate(identity.certificatePem, QSsl::Pem));
        tls.setPrivateKey(QSslKey(identity.keyPem, QSsl::Ec, QSsl::Pem));
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        tls.setCiphers(sealedCiphers());
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto *listener = new PhoneListener(tls, this);
        if (tls.privateKey().isNull() || tls.localCertificate().isNull()) {
            tell(owner, false, 0,
                 QStringLiteral("Telefon sayfası açılamadı: güvenlik sertifikası okunamadı."));
            return;
        }
        if (!listener->listen(address, port)) {
            tell(owner, false, 0,
                 QStringLiteral("Telefon sayfası açılamadı: %1 numaralı bağlantı noktası "
                                "kullanılamıyor (%2).")
                     .arg(port)
                     .arg(listener->errorString()));
            return;
        }
        auto *http = new PhoneHttp([this](const QHttpServerRequest &r) { return handle(r); }, this);
        http->bind(listener);
        tell(owner, true, listener->serverPort(), {});
    }

private:
    struct Session {
        Role role = Role::Viewer;
        QByteArray token;
        QString address;
        qint64 endsMs = 0;
    };

    void tell(PhoneServer *owner, bool ok, quint16 port, const QString &message) {
        QMetaObject::invokeMethod(
            owner,
            [owner, ok, port, message, generation = m_generation] {
                // A server stopped meanwhile has nothing to tell.
                if (generation != owner->m_generation)
                    return;
                if (ok)
                    emit owner->listening(port);
                else
                    emit owner->failed(message);
            },
            Qt::QueuedConnection);
    }

    Reply handle(const QHttpServerRequest &request) {
        const QString path = request.url().path();
        const bool get = request.method() == QHttpServerRequest::Method::Get;
        const bool post = request.method() == QHttpServerRequest::Method::Post;
        // Only these names exist: nothing in a URL ever names a file.
        if (get && path == QLatin1String("/"))
            return file(QStringLiteral(":/telefon/telefon.html"), "text/html; charset=utf-8");
        if (get && path == QLatin1String("/telefon.js"))
            return file(QStringLiteral(":/telefon/telefon.js"), "text/javascript; charset=utf-8");
        if (get && path == QLatin1String("/stil.css"))
            return file(QStringLiteral(":/telefon/stil.css"), "text/css; charset=utf-8");
        if (get && path == QLatin1String("/durum"))
            return state(request);
        if (m_snapshot->classroomOn()) {
            if (get && path == QLatin1String("/sinif"))
                return file(QStringLiteral(":/telefon/sinif.html"), "text/html; charset=utf-8");
            if (get && path == QLatin1String("/sinif.js"))
                return file(QStringLiteral(":/telefon/sinif.js"), "text/javascript; charset=utf-8");
            if (get && path == QLatin1String("/sinif/durum"))
                return json(m_snapshot->classroom());
        }
        if (post && !crossSite(request)) {
            if (path == QLatin1String("/giris"))
                return logIn(request);
            if (path == QLatin1String("/cikis"))
                return logOut(request);
            if (path == QLatin1String("/islem"))
                return command(request);
        } else if (post) {
            return refusal(403, QStringLiteral("Başka bir siteden gelen istek reddedildi."));
        }
        return refusal(404, QStringLiteral("Böyle bir sayfa yok."));
    }

    static Reply file(const QString &name, const QByteArray &type) {
        QFile resource(name);
        if (!resource.open(QIODevice::ReadOnly))
            return refusal(404, QStringLiteral("Böyle bir sayfa yok."));
        return {200, type, resource.readAll(), {}};
    }

    // A POST must come from this page: a JSON body (a form of another site cannot send one
    // without asking first), and an Origin, when the browser sends one, of this very host.
    static bool crossSite(const QHttpServerRequest &request) {
        if (!header(request, "Content-Type").toLower().startsWith("application/json"))
            return true;
        const QByteArray origin = header(request, "Origin");
        return !origin.isEmpty() && origin != "https://" + header(request, "Host");
    }

    qint64 nowMs() const { return m_clock.elapsed(); }

    Session *session(const QHttpServerRequest &request) {
        const QString address = request.remoteAddress().toString();
        const auto found = m_sessions.find(cookieOf(request, cookieName.toLatin1()));
        if (found == m_sessions.end())
            return nullptr;
        if (found->endsMs <= nowMs()) {
            m_sessions.erase(found);
            return nullptr;
        }
        return found->address == address ? &*found : nullptr;
    }

    Reply state(const QHttpServerRequest &request) {
        QJsonObject object = m_snapshot->state();
        if (const Session *s = session(request))
            object.insert(QStringLiteral("oturum"), sessionJson(*s));
        return json(object);
    }

    QJsonObject sessionJson(const Session &s) const {
        return {{QStringLiteral("rol"), roleName(s.role)},
                {QStringLiteral("anahtar"), QString::fromLatin1(s.token)},
                {QStringLiteral("izinler"), permitted(s.role)},
                {QStringLiteral("kalanSaniye"), int((s.endsMs - nowMs()) / 1000)}};
    }

    Reply logIn(const QHttpServerRequest &request) {
        const QString address = request.remoteAddress().toString();
        const QString pin = QJsonDocument::fromJson(request.body())
                                .object()
                                .value(QStringLiteral("pin"))
                                .toString();
        GateClient client;
        client.road = GateClient::Road::Phone;
        client.peer = address;
        client.device = cookieOf(request, deviceCookieName);
        GateAnswer answer;
        try {
            answer = m_login(pin, client);
        } catch (const ZilError &error) {
            answer.message = error.message();
        }
        using Outcome = GateAnswer::Outcome;
        switch (answer.outcome) {
        case Outcome::Granted:
            break;
        case Outcome::Wrong: {
            qInfo().noquote()
                << QStringLiteral("Telefon sayfası: %1 adresinden yanlış PIN.").arg(address);
            Reply reply = refusal(401, answer.message);
            // A device that met too many wrong PINs is forgotten, and so is its cookie.
            if (answer.deviceForgotten)
                reply.cookies << deviceCookieName + "=; Path=/; Max-Age=0; HttpOnly; Secure; "
                                                    "SameSite=Strict";
            reply.retryAfter = answer.waitSeconds;
            return reply;
        }
        case Outcome::Wait: {
            Reply reply = refusal(429, answer.message);
            reply.retryAfter = answer.waitSeconds;
            return reply;
        }
        case Outcome::NoManagerPin:
            return refusal(403, QStringLiteral("Telefondan işlem yapılabilmesi için önce "
                                               "programda Yönetici PIN'i belirlenmeli."));
        case Outcome::ShortPin:
            return refusal(403, answer.message);
        case Outcome::Broken:
            return refusal(503, answer.message.isEmpty()
                                    ? QStringLiteral("PIN şimdi denetlenemiyor.")
                                    : answer.message);
        }
        dropOldSessions();
        Session s{answer.role, answer.token, address, nowMs() + SessionMs};
        const QByteArray id = randomHex(32);
        m_sessions.insert(id, s);
        qInfo().noquote() << QStringLiteral("Telefon sayfası: %1 adresinden %2 olarak giriş.")
                                 .arg(address, roleName(answer.role));
        Reply reply = json(sessionJson(s));
        reply.cookies << cookieName.toLatin1() + '=' + id +
                             "; Path=/; Max-Age=" + QByteArray::number(SessionMs / 1000) +
                             "; HttpOnly; Secure; SameSite=Strict";
        if (!answer.device.isEmpty())
            reply.cookies << deviceCookieName + '=' + answer.device + "; Path=/; Max-Age=" +
                                 QByteArray::number(qint64(Gate::DeviceDays) * 24 * 3600) +
                                 "; HttpOnly; Secure; SameSite=Strict";
        return reply;
    }

    Reply logOut(const QHttpServerRequest &request) {
        if (Session *s = session(request)) {
            if (sameSecret(header(request, "X-Zil-Anahtar"), s->token))
                s->endsMs = 0;
        }
        Reply reply = json({{QStringLiteral("mesaj"), QStringLiteral("Çıkış yapıldı.")}});
        reply.cookies << cookieName.toLatin1() + "=; Path=/; Max-Age=0; HttpOnly; Secure; "
                                                 "SameSite=Strict";
        return reply;
    }

    void dropOldSessions() {
        for (auto it = m_sessions.begin(); it != m_sessions.end();)
            it = it->endsMs <= nowMs() ? m_sessions.erase(it) : std::next(it);
        // The oldest make room; a flood of logins cannot grow the table.
        while (m_sessions.size() >= PhoneServer::MaxSessions) {
            auto oldest = m_sessions.begin();
            for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
                if (it->endsMs < oldest->endsMs)
                    oldest = it;
            m_sessions.erase(oldest);
        }
    }

    Reply command(const QHttpServerRequest &request) {
        const Session *s = session(request);
        if (!s)
            return refusal(401, QStringLiteral("Oturum yok ya da süresi doldu; PIN ile yeniden "
                                               "giriş yapın."));
        if (!sameSecret(header(request, "X-Zil-Anahtar"), s->token))
            return refusal(403, QStringLiteral("İstek anahtarı geçersiz; sayfayı yenileyin."));
        QJsonParseError error{};
        const QJsonObject body = QJsonDocument::fromJson(request.body(), &error).object();
        if (error.error != QJsonParseError::NoError)
            return refusal(400, QStringLiteral("İstek okunamadı."));
        const QString name = body.value(QStringLiteral("islem")).toString();
        PhoneCommand c;
        c.address = s->address;
        c.role = s->role;
        c.token = s->token;
        Action action = Action::View;
        QString done;
        if (name == QLatin1String("durdur")) {
            c.kind = PhoneCommand::Kind::StopMusic;
            action = Action::StopSound;
            done = QStringLiteral("Müzik durduruluyor.");
        } else if (name == QLatin1String("zil")) {
            c.kind = PhoneCommand::Kind::RingNow;
            action = Action::RingNow;
            c.music = body.value(QStringLiteral("muzik")).toString();
            c.seconds = body.value(QStringLiteral("sure")).toInt(-1);
            if (!m_snapshot->offersSound(c.music))
                return refusal(400, QStringLiteral("Bu ses listede yok."));
            if (c.seconds < 1 || c.seconds > 600)
                return refusal(400, QStringLiteral("Süre 1 ile 600 saniye arasında olmalı."));
            done = QStringLiteral("Zil çalınıyor.");
        } else if (name == QLatin1String("anons")) {
            c.kind = PhoneCommand::Kind::AnnounceNow;
            action = Action::AnnounceNow;
            c.announcement = body.value(QStringLiteral("id")).toInt();
            if (!m_snapshot->offersAnnouncement(c.announcement))
                return refusal(400, QStringLiteral("Bu anons listede yok."));
            done = QStringLiteral("Anons başlıyor.");
        } else if (name == QLatin1String("alarm")) {
            c.kind = PhoneCommand::Kind::Alarm;
            action = Action::Alarm;
            c.alarm = body.value(QStringLiteral("tur")).toInt(-1);
            if (c.alarm < 0 || c.alarm > 2)
                return refusal(400, QStringLiteral("Bilinmeyen alarm türü."));
            done = QStringLiteral("Alarm çalıyor.");
        } else if (name == QLatin1String("alarmDurdur")) {
            c.kind = PhoneCommand::Kind::StopAlarm;
            action = Action::Alarm;
            done = QStringLiteral("Alarm durduruluyor.");
        } else if (name == QLatin1String("sessiz")) {
            c.kind = PhoneCommand::Kind::SilenceToday;
            action = Action::SilenceToday;
            c.on = body.value(QStringLiteral("acik")).toBool();
            done = c.on ? QStringLiteral("Bugün zil çalmayacak.")
                        : QStringLiteral("Bugünün zilleri yeniden çalacak.");
        } else {
            return refusal(400, QStringLiteral("Bilinmeyen işlem."));
        }
        if (!Roles::permits(s->role, action))
            return refusal(403, QStringLiteral("Bu işlem için yetkiniz yok."));
        // The main thread does it when it gets to it; the answer does not wait for that.
        QMetaObject::invokeMethod(
            m_performer, [perform = m_perform, c] { perform(c); }, Qt::QueuedConnection);
        return json({{QStringLiteral("mesaj"), done}}, 202);
    }

    static constexpr qint64 SessionMs = PhoneServer::SessionMinutes * 60 * 1000;

    std::shared_ptr<PhoneSnapshot> m_snapshot;
    PhoneServer::Login m_login;
    std::function<void(const PhoneCommand &)> m_perform;
    // Outlives every server thread: the server waits for them before it goes.
    QObject *m_performer;
    quint64 m_generation = 0;
    QElapsedTimer m_clock;
    QHash<QByteArray, Session> m_sessions;
};

// --- the server: lives in the main thread ---------------------------------------------------

PhoneServer::PhoneServer(std::shared_ptr<PhoneSnapshot> snapshot, QString rolesFile,
                         std::function<void(const PhoneCommand &)> perform, Login login,
                         QObject *parent)
    : QObject(parent)
    , m_snapshot(std::move(snapshot))
    , m_perform(std::move(perform))
    , m_login(std::move(login)) {
    if (!m_login) {
        auto gate = std::make_shared<Gate>(QFileInfo(rolesFile).absolutePath());
        m_login = [gate](const QString &pin, const GateClient &client) {
            return gate->login(pin, client);
        };
    }
}

PhoneServer::~PhoneServer() {
    stop();
    for (const QPointer<QThread> &thread : std::as_const(m_ending))
        if (thread) {
            thread->wait();
            delete thread.data();
        }
}

void PhoneServer::start(const QHostAddress &address, quint16 port, const PhoneIdentity &identity) {
    stop();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("Telefon sayfası"));
    m_worker = new PhoneWorker(m_snapshot, m_login, m_perform, this);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, address, port, identity, this, generation = ++m_generation] {
            worker->listen(address, port, identity, this, generation);
        },
        Qt::QueuedConnection);
}

void PhoneServer::stop() {
    ++m_generation;
    if (!m_thread)
        return;
    m_thread->quit();
    // Not waited for here: a PIN being checked must not hold up the thread that rings.
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_ending.append(m_thread);
    m_thread = nullptr;
    m_worker = nullptr;
}
