#pragma once

#include "Gate.h"
#include "PhoneAccess.h"
#include "Roles.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class QThread;
class PhoneWorker;

// What the page shows, as the main thread last wrote it: the server answers from this copy, so
// a page request never waits for the thread that rings. The main thread writes it every second.
class PhoneSnapshot {
public:
    // `state` is the phone page's JSON, `classroom` the classroom screen's; `sounds` and
    // `announcements` are what "Şimdi çal" and "Şimdi anons et" may name, nothing else.
    void set(QJsonObject state, QJsonObject classroom, QSet<QString> sounds,
             QSet<int> announcements, bool classroomOn);
    QJsonObject state() const;
    QJsonObject classroom() const;
    bool classroomOn() const;
    bool offersSound(const QString &music) const;
    bool offersAnnouncement(int id) const;

private:
    mutable QMutex m_mutex;
    QJsonObject m_state;
    QJsonObject m_classroom;
    QSet<QString> m_sounds;
    QSet<int> m_announcements;
    bool m_classroomOn = false;
};

// A command from the phone, checked by the server (session, token, role) and carried out on the
// main thread.
struct PhoneCommand {
    enum class Kind { StopMusic, RingNow, AnnounceNow, Alarm, StopAlarm, SilenceToday };
    Kind kind = Kind::StopMusic;
    QString music;        // RingNow
    int seconds = 0;      // RingNow
    int announcement = 0; // AnnounceNow
    int alarm = 0;        // Alarm: 0 Yangın, 1 Deprem, 2 Tahliye
    bool on = false;      // SilenceToday
    QString address;      // who asked
    Role role = Role::Viewer;
    QByteArray token; // the gate's session token, for the process that acts to check again
};

// The page's HTTPS server. It runs in a thread of its own, with its own event loop; it reads
// only the snapshot, asks `login` about PINs, and hands commands to `perform` on the thread
// that made the server, queued, so nothing it receives can delay a bell.
//
// Limits: at most MaxConnectionsPerGroup open at once from one address group (Gate's: an IPv4
// address, an IPv6 /64), more are closed at once; at most MaxConnections in all: one more then
// closes the connection that has waited longest without an answer, so connections held half
// open cannot keep a phone out. A connection that sends no whole first request within
// FirstRequestSeconds, or then stays IdleSeconds without one, is closed; a request larger than
// MaxRequestBytes is refused with 413. Plain HTTP on the same port gets only a redirect to
// https:// on the address it came to (the first byte tells a TLS handshake from plain text).
class PhoneServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxConnections = 64;
    static constexpr int MaxConnectionsPerGroup = 8;
    static constexpr int FirstRequestSeconds = 5;
    static constexpr int IdleSeconds = 10;
    static constexpr qint64 MaxRequestBytes = 64 * 1024;
    static constexpr int SessionMinutes = Gate::SessionMinutes;
    static constexpr int MaxSessions = 256;

    using Login = std::function<GateAnswer(const QString &pin, const GateClient &client)>;

    // The server of a program whose roles are kept in `rolesFile`. `perform` runs on this
    // object's thread. `login` checks a PIN, in the server's thread; without one, a gate of the
    // roles file's folder does. Made once and started and stopped as the settings say: its
    // destruction waits for the server threads it started.
    PhoneServer(std::shared_ptr<PhoneSnapshot> snapshot, QString rolesFile,
                std::function<void(const PhoneCommand &)> perform, Login login = {},
                QObject *parent = nullptr);
    // Waits for the server's thread.
    ~PhoneServer() override;

    // Starts listening in the server's thread; listening() or failed() tells how it went.
    void start(const QHostAddress &address, quint16 port, const PhoneIdentity &identity);
    // Stops at once; the thread ends by itself, and is waited for only at destruction.
    void stop();
    bool started() const { return m_worker != nullptr; }

signals:
    void listening(quint16 port);
    void failed(const QString &message);

private:
    friend class PhoneWorker;

    std::shared_ptr<PhoneSnapshot> m_snapshot;
    std::function<void(const PhoneCommand &)> m_perform;
    Login m_login;
    QThread *m_thread = nullptr;
    PhoneWorker *m_worker = nullptr;
    QList<QPointer<QThread>> m_ending;
    // Counts the starts and stops, so what an earlier start tells late is not taken for now.
    quint64 m_generation = 0;
};
