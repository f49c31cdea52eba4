#pragma once

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

// The phone page of a Bells: on the main thread, it serves the page while the settings say so
// and these bells ring (so exactly one process of a folder serves it), writes the snapshot the
// server answers from every second, and carries out the commands the server hands over.
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
    void setListenAddress(const QHostAddress &address) { m_address = address; }

    // One look: starts or stops the server as the settings say, and writes the snapshot.
    void tick();
    // The port the server listens on; 0 while it does not.
    quint16 port() const { return m_listening; }
    // The fingerprint of the certificate being served; empty while none.
    QString fingerprint() const { return m_identity.fingerprint; }
    // What the page shows, as last written.
    std::shared_ptr<PhoneSnapshot> snapshot() const { return m_snapshot; }
    // The last commands, newest first, as the page lists them.
    QStringList lastCommands() const { return m_commands; }

    void perform(const PhoneCommand &command);

signals:
    void listening(quint16 port);

private:
    void serve(const PhoneSettings &settings);
    void writeSnapshot(const PhoneSettings &settings);
    void note(const PhoneCommand &command, const QString &what);

    Bells &m_bells;
    std::function<void(const QString &)> m_report;
    std::shared_ptr<PhoneSnapshot> m_snapshot = std::make_shared<PhoneSnapshot>();
    PhoneServer m_server;
    QHostAddress m_address = QHostAddress::Any;
    QTimer m_timer;
    // The settings as last read, and their file's time and size then: the tick looks at the
    // file every second but reads it only when it changed.
    PhoneSettings m_settings;
    std::optional<std::pair<QDateTime, qint64>> m_settingsStamp;
    PhoneSettings m_serving;
    PhoneSettings m_failed;
    bool m_hasFailed = false;
    PhoneIdentity m_identity;
    quint16 m_listening = 0;
    QStringList m_commands;
    // The slower parts of the snapshot (the record, the announcements, the silenced day) are
    // read from the schedule every few ticks and after a command, not every second.
    int m_slowTicks = 0;
    QJsonArray m_record;
    QJsonArray m_announcements;
    QSet<int> m_announcementIds;
    bool m_silenced = false;
};
