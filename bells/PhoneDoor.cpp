#include "PhoneDoor.h"

#include "ProgramValues.h"
#include "Roles.h"
#include "ZilError.h"

#include <QDebug>
#include <QFileInfo>

PhoneDoor::PhoneDoor(std::shared_ptr<PhoneSnapshot> snapshot,
                     std::function<void(const PhoneCommand &)> perform, PhoneServer::Login login,
                     std::function<void(const QString &)> report, QObject *parent)
    : QObject(parent)
    , m_report(std::move(report))
    , m_server(std::move(snapshot), rolesFile(), std::move(perform), std::move(login)) {
    connect(&m_server, &PhoneServer::listening, this, [this](quint16 port) {
        m_listening = port;
        m_hasFailed = false;
        qInfo().noquote() << QStringLiteral("Telefon sayfası açık: https://<adres>:%1 "
                                            "(sertifika SHA-256: %2)")
                                 .arg(port)
                                 .arg(m_identity.fingerprint);
        emit listening(port);
    });
    connect(&m_server, &PhoneServer::failed, this, [this](const QString &message) {
        m_server.stop();
        m_hasFailed = true;
        m_failed = m_serving;
        if (m_report)
            m_report(message);
    });
}

const PhoneSettings &PhoneDoor::settings() {
    const QFileInfo file(PhoneAccess::settingsFile(dataFolder()));
    std::optional<std::pair<QDateTime, qint64>> stamp;
    if (file.exists())
        stamp = std::pair{file.lastModified(), file.size()};
    if (stamp != m_settingsStamp) {
        m_settingsStamp = stamp;
        m_settings = PhoneAccess::readSettings(dataFolder());
    }
    return m_settings;
}

void PhoneDoor::follow(bool wanted) {
    const PhoneSettings &now = settings();
    if (!wanted || !now.on) {
        if (m_server.started()) {
            m_server.stop();
            m_listening = 0;
            qInfo().noquote() << QStringLiteral("Telefon sayfası kapatıldı.");
        }
        m_hasFailed = false;
        return;
    }
    if (!m_server.started() || now.port != m_serving.port || now.address != m_serving.address)
        serve(now);
}

void PhoneDoor::serve(const PhoneSettings &settings) {
    // A failure is told once; it is tried again when the settings change.
    if (m_hasFailed && m_failed == settings)
        return;
    m_server.stop();
    m_listening = 0;
    m_serving = settings;
    try {
        m_identity = PhoneAccess::ensureIdentity(dataFolder());
    } catch (const ZilError &error) {
        m_hasFailed = true;
        m_failed = settings;
        if (m_report)
            m_report(error.message());
        return;
    }
    m_server.start(settings.address.isEmpty() ? m_address : QHostAddress(settings.address),
                   quint16(settings.port), m_identity);
}
