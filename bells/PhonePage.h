#pragma once

#include "Commands.h"
#include "PhoneAccess.h"
#include "PhoneServer.h"

#include <QDateTime>
#include <QHostAddress>
#include <QJsonArray>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class Bells;
class PhoneDoor;

// The phone page of a Bells, on the main thread of the process that rings: writes what the page
// shows every second while the settings have it on, serves it itself while this process faces
// the network (else the network service serves it, asking for the same snapshot and giving
// the same commands over the folder's socket), and carries out the phone's commands.
//
// Every command is written as a log line with the phone's address and role; the bells rung and
// announcements made from the phone are also in the bell record, their names carrying the same.
class PhonePage : public QObject {
    Q_OBJECT
public:
    PhonePage(Bells &bells, std::function<void(const QString &)> report, QObject *parent = nullptr);
    ~PhonePage() override;

    // Starts the once-a-second look at the settings and the snapshot; the first is a second on.
    void start();
    // Where the server listens when the settings name no address; every address unless a test
    // says otherwise.
    void setListenAddress(const QHostAddress &address);

    // One look: starts or stops the server as the settings say, and writes the snapshot.
    void tick();
    // The port the server listens on; 0 while it does not.
    quint16 port() const;
    // The fingerprint of the certificate being served; empty while none.
    QString fingerprint() const;
    // What the page shows, as last written.
    std::shared_ptr<PhoneSnapshot> snapshot() const { return m_snapshot; }
    // The snapshot as the network service asks for it over the socket; empty while the page is
    // off or these bells do not ring.
    QJsonObject snapshotJson() const { return m_snapshotJson; }
    // The last commands, newest first, as the page lists them.
    QStringList lastCommands() const { return m_commands; }

    // A command from a phone, served here or by the network service: done through the bells'
    // commands, and listed.
    Commands::Outcome perform(const PhoneCommand &command);

signals:
    void listening(quint16 port);

private:
    void writeSnapshot(const PhoneSettings &settings);
    void note(const PhoneCommand &command, const QString &what);

    Bells &m_bells;
    std::shared_ptr<PhoneSnapshot> m_snapshot = std::make_shared<PhoneSnapshot>();
    std::unique_ptr<PhoneDoor> m_door;
    QTimer m_timer;
    QStringList m_commands;
    QJsonObject m_snapshotJson;
    // The slower parts of the snapshot (the record, the announcements, the silenced day) are
    // read from the schedule every few ticks and after a command, not every second.
    int m_slowTicks = 0;
    QJsonArray m_record;
    QJsonArray m_announcements;
    QSet<int> m_announcementIds;
    bool m_silenced = false;
};
