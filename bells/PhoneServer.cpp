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
// IdleSeconds (a keep-alive connection may stay while it is used; one that drips a request in
// slowly may not), and answered 413 and closed once a request grows past MaxRequestBytes.
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
        m_idle.start(PhoneServer::IdleSeconds * 1000);
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

// Every connection, counted from accept() until its socket is gone. The first byte decides:
// 0x16 opens a TLS handshake; anything else is plain HTTP and gets a redirect to https://.
class PhoneListener : public QTcpServer {
public:
    PhoneListener(QSslConfiguration tls, QObject *parent)
        : QTcpServer(parent)
        , m_tls(std::move(tls)) {}

    int open() const { return m_open; }

protected:
    void incomingConnection(qintptr fd) override {
        if (m_open >= PhoneServer::MaxConnections) {
            ::close(int(fd));
            qInfo().noquote() << "Telefon sayfası: çok fazla bağlantı; yeni bağlantı reddedildi.";
            return;
        }
        ++m_open;
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        auto *deadline = new QTimer(notifier);
        deadline->setSingleShot(true);
        const auto giveUp = [this, notifier, fd] {
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(int(fd));
            --m_open;
        };
        connect(deadline, &QTimer::timeout, notifier, giveUp);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, fd, giveUp] {
            unsigned char first = 0;
            const ssize_t got = ::recv(int(fd), &first, 1, MSG_PEEK | MSG_DONTWAIT);
            if (got <= 0) {
                giveUp();
                return;
            }
            notifier->setEnabled(false);
            notifier->deleteLater();
            if (first == 0x16)
                startTls(fd);
            else
                redirect(fd);
        });
        deadline->start(PhoneServer::IdleSeconds * 1000);
    }

private:
    // A socket's life: counted, closed when idle, refused when its request grows too big.
    void guard(QTcpSocket *socket) {
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        new ConnectionLimits(socket);
    }

    // The connection `fd` as a guarded socket of type T; nullptr, with `fd` closed, when it cannot
    // be taken over.
    template <class T> T *adopt(qintptr fd) {
        auto *socket = new T(this);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(int(fd));
            --m_open;
            delete socket;
            return nullptr;
        }
        guard(socket);
        return socket;
    }

    void startTls(qintptr fd) {
        auto *socket = adopt<QSslSocket>(fd);
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

    // Plain HTTP: one answer, a redirect to the same host on https://, then the connection ends.
    void redirect(qintptr fd) {
        auto *socket = adopt<QTcpSocket>(fd);
        if (!socket)
            return;
        connect(socket, &QIODevice::readyRead, socket, [this, socket] {
            if (!socket->canReadLine() && socket->bytesAvailable() < 8192)
                return;
            const QByteArray head = socket->readAll();
            QByteArray host = hostOf(head);
            if (host.isEmpty())
                host = socket->localAddress().toString().toLatin1();
            const QByteArray location =
                "https://" + host + ':' + QByteArray::number(serverPort()) + '/';
            socket->write("HTTP/1.1 301 Moved Permanently\r\nLocation: " + location +
                          "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
            socket->disconnectFromHost();
        });
    }

    // The Host header's name, without its port; empty unless it is a plain host name or address,
    // so nothing a client sends is written back into the answer's headers.
    static QByteArray hostOf(const QByteArray &head) {
        for (const QByteArray &line : head.split('\n')) {
            if (!line.toLower().startsWith("host:"))
                continue;
            QByteArray host = line.mid(5).trimmed();
            if (host.startsWith('[')) {
                host = host.left(host.indexOf(']') + 1);
            } else if (const int colon = host.indexOf(':'); colon >= 0) {
                host = host.left(colon);
            }
            for (const char c : host)
                if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
                      c == ':' || c == '[' || c == ']'))
                    return {};
            return host.left(255);
        }
        return {};
    }

    QSslConfiguration m_tls;
    int m_open = 0;
};

// --- the HTTP side ------------------------------------------------------------------------

struct Reply {
    int status = 200;
    QByteArray type = "application/json";
    QByteArray body;
    QByteArray cookie;
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
        if (!reply.cookie.isEmpty())
            response.addHeader("Set-Cookie", reply.cookie);
        response.write(makeResponder(request, socket));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    Handler m_handler;
};

const QString cookieName = QStringLiteral("zil_oturum");

QByteArray randomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), bytes / 4);
    return raw.toHex();
}

bool sameSecret(const QByteArray &a, const QByteArray &b) {
    return a.size() == b.size() && !a.isEmpty() &&
           CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
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
        QByteArray gateToken;
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
        for (const QByteArray &part : header(request, "Cookie").split(';')) {
            const QByteArray item = part.trimmed();
            if (!item.startsWith(cookieName.toLatin1() + '='))
                continue;
            const auto found = m_sessions.find(item.mid(cookieName.size() + 1));
            if (found == m_sessions.end())
                continue;
            if (found->endsMs <= nowMs() || found->address != address) {
                if (found->endsMs <= nowMs())
                    m_sessions.erase(found);
                continue;
            }
            return &*found;
        }
        return nullptr;
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
        GateClient client{GateClient::Road::Phone, address, {}};
        const GateAnswer answer = m_login(pin, client);
        switch (answer.outcome) {
        case GateAnswer::Outcome::Granted:
            break;
        case GateAnswer::Outcome::NoManagerPin:
            return refusal(403, QStringLiteral("Telefondan işlem yapılabilmesi için önce "
                                               "programda Yönetici PIN'i belirlenmeli."));
        case GateAnswer::Outcome::Wrong:
            qInfo().noquote()
                << QStringLiteral("Telefon sayfası: %1 adresinden yanlış PIN.").arg(address);
            return refusal(401, answer.message.isEmpty() ? QStringLiteral("PIN yanlış.")
                                                         : answer.message);
        case GateAnswer::Outcome::Wait:
        case GateAnswer::Outcome::Broken:
            return refusal(429, answer.message.isEmpty()
                                    ? QStringLiteral("Şimdi giriş yapılamıyor; biraz sonra "
                                                     "yeniden deneyin.")
                                    : answer.message);
        }
        dropOldSessions();
        Session s{answer.role, randomHex(32), address, nowMs() + SessionMs, answer.token};
        const QByteArray id = randomHex(32);
        m_sessions.insert(id, s);
        qInfo().noquote() << QStringLiteral("Telefon sayfası: %1 adresinden %2 olarak giriş.")
                                 .arg(address, roleName(answer.role));
        Reply reply = json(sessionJson(s));
        reply.cookie = cookieName.toLatin1() + '=' + id +
                       "; Path=/; Max-Age=" + QByteArray::number(SessionMs / 1000) +
                       "; HttpOnly; Secure; SameSite=Strict";
        return reply;
    }

    Reply logOut(const QHttpServerRequest &request) {
        if (Session *s = session(request)) {
            if (sameSecret(header(request, "X-Zil-Anahtar"), s->token))
                s->endsMs = 0;
        }
        Reply reply = json({{QStringLiteral("mesaj"), QStringLiteral("Çıkış yapıldı.")}});
        reply.cookie = cookieName.toLatin1() + "=; Path=/; Max-Age=0; HttpOnly; Secure; "
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
        c.token = s->gateToken;
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
                         std::function<void(const PhoneCommand &)> perform, QObject *parent)
    : QObject(parent)
    , m_snapshot(std::move(snapshot))
    , m_rolesFile(std::move(rolesFile))
    , m_perform(std::move(perform)) {}

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
    if (!m_login) {
        // A server made without a way to the gate keeps one of its own on the roles' folder.
        auto gate = std::make_shared<Gate>(QFileInfo(m_rolesFile).absolutePath());
        m_login = [gate](const QString &pin, const GateClient &client) {
            return gate->login(pin, client);
        };
    }
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
