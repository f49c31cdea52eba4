#pragma once

#include "Roles.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QString>

#include <optional>

// Who tries a PIN: the road it came by and, for the phone, its address and device cookie.
struct GateClient {
    enum class Road { Window, Socket, Phone };
    Road road = Road::Window;
    QString peer;
    QByteArray device;
};

struct GateAnswer {
    enum class Outcome { Granted, Wrong, Wait, NoManagerPin, Broken };
    Outcome outcome = Outcome::Broken;
    Role role = Role::Viewer;
    int waitSeconds = 0;
    QByteArray token;
    QByteArray device;
    QString message;
};

// The one gate: checks PINs and keeps the sessions they open.
class Gate {
public:
    static constexpr int SessionMinutes = 15;
    explicit Gate(QString folder);
    GateAnswer login(const QString &pin, const GateClient &client);
    std::optional<Role> roleOf(const QByteArray &token);
    void logout(const QByteArray &token);
    bool rolesOn() const;
    static QString addressGroup(const QHostAddress &address);

private:
    QString m_folder;
    QMutex m_mutex;
    QHash<QByteArray, std::pair<Role, qint64>> m_sessions;
};
