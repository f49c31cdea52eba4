#include "Gate.h"

#include "ZilError.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>

Gate::Gate(QString folder)
    : m_folder(std::move(folder)) {}

bool Gate::rolesOn() const {
    return Roles(QDir(m_folder).filePath(QStringLiteral("yetkiler.json"))).enabled();
}

GateAnswer Gate::login(const QString &pin, const GateClient &) {
    GateAnswer answer;
    Roles roles(QDir(m_folder).filePath(QStringLiteral("yetkiler.json")));
    if (!roles.enabled()) {
        answer.outcome = GateAnswer::Outcome::NoManagerPin;
        return answer;
    }
    try {
        answer.role = roles.tryPin(pin);
    } catch (const ZilError &error) {
        answer.outcome = GateAnswer::Outcome::Wait;
        answer.message = error.message();
        return answer;
    }
    if (answer.role == Role::Viewer) {
        answer.outcome = GateAnswer::Outcome::Wrong;
        answer.message = QStringLiteral("PIN yanlış.");
        return answer;
    }
    answer.outcome = GateAnswer::Outcome::Granted;
    quint64 words[4];
    QRandomGenerator::system()->fillRange(words);
    answer.token = QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();
    const QMutexLocker lock(&m_mutex);
    m_sessions.insert(answer.token,
                      {answer.role, QDateTime::currentMSecsSinceEpoch() + SessionMinutes * 60000});
    return answer;
}

std::optional<Role> Gate::roleOf(const QByteArray &token) {
    const QMutexLocker lock(&m_mutex);
    const auto found = m_sessions.constFind(token);
    if (token.isEmpty() || found == m_sessions.constEnd() ||
        found->second < QDateTime::currentMSecsSinceEpoch())
        return std::nullopt;
    return found->first;
}

void Gate::logout(const QByteArray &token) {
    const QMutexLocker lock(&m_mutex);
    m_sessions.remove(token);
}

QString Gate::addressGroup(const QHostAddress &address) {
    return address.toString();
}
