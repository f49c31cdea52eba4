#pragma once

#include "PhoneAccess.h"
#include "PhoneServer.h"

#include <QDateTime>
#include <QHostAddress>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

// The phone page's door: opens and closes the HTTPS server as telefon.json says, with the data
// folder's identity, and tells of a failure once (again only when the settings change). The
// process that rings and the network service both open the page through one.
class PhoneDoor : public QObject {
    Q_OBJECT
public:
    // `login` tries a phone's PIN at the gate of the process that rings.
    PhoneDoor(std::shared_ptr<PhoneSnapshot> snapshot,
              std::function<void(const PhoneCommand &)> perform, PhoneServer::Login login,
              std::function<void(const QString &)> report, QObject *parent = nullptr);

    // Where the server listens when the settings name no address; every address unless a test
    // says otherwise.
    void setListenAddress(const QHostAddress &address) { m_address = address; }

    // The settings, read again only when their file changed.
    const PhoneSettings &settings();
    // Serves while `wanted` and the settings say so; closes otherwise.
    void follow(bool wanted);

    quint16 port() const { return m_listening; }
    QString fingerprint() const { return m_identity.fingerprint; }
    bool serving() const { return m_server.started(); }

signals:
    void listening(quint16 port);

private:
    void serve(const PhoneSettings &settings);

    std::function<void(const QString &)> m_report;
    PhoneServer m_server;
    QHostAddress m_address = QHostAddress::Any;
    PhoneSettings m_settings;
    std::optional<std::pair<QDateTime, qint64>> m_settingsStamp;
    PhoneSettings m_serving;
    PhoneSettings m_failed;
    bool m_hasFailed = false;
    PhoneIdentity m_identity;
    quint16 m_listening = 0;
};
