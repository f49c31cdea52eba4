#include "CommandDesk.h"

#include "Bells.h"
#include "Commands.h"
#include "PhonePage.h"

#include <QPointer>

namespace {
// A login's outcome as it crosses the socket, both ways.
const std::pair<GateAnswer::Outcome, QLatin1String> OutcomeNames[] = {
    {GateAnswer::Outcome::Granted, QLatin1String("giris")},
    {GateAnswer::Outcome::Wrong, QLatin1String("yanlis")},
    {GateAnswer::Outcome::Wait, QLatin1String("bekle")},
    {GateAnswer::Outcome::NoManagerPin, QLatin1String("yetkiYok")},
    {GateAnswer::Outcome::ShortPin, QLatin1String("kisaPin")},
    {GateAnswer::Outcome::Broken, QLatin1String("bozuk")},
};

QString outcomeName(GateAnswer::Outcome outcome) {
    for (const auto &[known, name] : OutcomeNames)
        if (known == outcome)
            return name;
    return QStringLiteral("bozuk");
}

GateAnswer::Outcome outcomeNamed(const QString &name) {
    for (const auto &[outcome, known] : OutcomeNames)
        if (known == name)
            return outcome;
    return GateAnswer::Outcome::Broken;
}
} // namespace

CommandDesk::CommandDesk(FolderClaim &claim, Bells &bells, std::function<void(const QString &)> log,
                         QObject *parent)
    : QObject(parent)
    , m_bells(bells)
    , m_log(std::move(log)) {
    claim.setHandler(
        [this](const QJsonObject &request, const FolderClaim::Peer &peer,
               std::function<void(const QJsonObject &)> answer) { handle(request, peer, answer); });
}

CommandDesk::~CommandDesk() {
    m_tries.waitForDone();
}

void CommandDesk::handle(const QJsonObject &request, const FolderClaim::Peer &peer,
                         const std::function<void(const QJsonObject &)> &answer) {
    const QString name = request.value(QStringLiteral("islem")).toString();
    if (name == QLatin1String("durum")) {
        const QJsonObject snapshot =
            m_bells.phone() ? m_bells.phone()->snapshotJson() : QJsonObject();
        QJsonObject reply = snapshot;
        reply.insert(QStringLiteral("ok"), !snapshot.isEmpty());
        answer(reply);
        return;
    }
    if (name == QLatin1String("giris")) {
        logIn(request, peer, answer);
        return;
    }
    if (name == QLatin1String("cikis")) {
        m_bells.gate().logout(request.value(QStringLiteral("anahtar")).toString().toLatin1());
        answer({{QStringLiteral("ok"), true}});
        return;
    }
    const std::optional<PhoneCommand> command = Commands::fromJson(request);
    if (!command) {
        answer({{QStringLiteral("ok"), false},
                {QStringLiteral("mesaj"), QStringLiteral("Bilinmeyen işlem.")}});
        return;
    }
    const Role role = m_bells.gate().roleOf(command->token).value_or(Role::Viewer);
    Commands::Outcome outcome;
    // A phone's command, relayed by the network service, is listed on the page as the phone's.
    if (!command->address.isEmpty() && m_bells.phone()) {
        PhoneCommand phone = *command;
        phone.role = role;
        outcome = m_bells.phone()->perform(phone);
    } else {
        outcome = m_bells.commands().perform(*command,
                                             QStringLiteral("%1 kullanıcısından").arg(peer.user));
    }
    const QString &line = outcome.line;
    if (m_log)
        m_log(QStringLiteral("Soketten işlem (%1, kullanıcı %2%3): %4")
                  .arg(roleName(role), peer.user,
                       command->address.isEmpty() ? QString()
                                                  : QStringLiteral(", telefon ") + command->address,
                       line));
    answer({{QStringLiteral("ok"), outcome.done}, {QStringLiteral("mesaj"), line}});
}

void CommandDesk::logIn(const QJsonObject &request, const FolderClaim::Peer &peer,
                        const std::function<void(const QJsonObject &)> &answer) {
    GateClient client;
    const QString address = request.value(QStringLiteral("adres")).toString();
    // A phone's address comes from the network service; whoever relays it is logged, and the
    // gate's budget for every role holds whatever address is named.
    if (!address.isEmpty()) {
        client.road = GateClient::Road::Phone;
        client.peer = address;
        client.device = request.value(QStringLiteral("cihaz")).toString().toLatin1();
    } else {
        client.road = GateClient::Road::Socket;
        client.peer = peer.user;
    }
    const QString pin = request.value(QStringLiteral("pin")).toString();
    QPointer<CommandDesk> desk(this);
    Gate *gate = &m_bells.gate();
    m_tries.start([desk, gate, pin, client, answer] {
        const GateAnswer result = gate->login(pin, client);
        QMetaObject::invokeMethod(
            desk.data(),
            [desk, result, client, answer] {
                if (!desk)
                    return;
                if (desk->m_log)
                    desk->m_log(QStringLiteral("Soketten giriş (%1): %2%3")
                                    .arg(client.peer, outcomeName(result.outcome),
                                         result.outcome == GateAnswer::Outcome::Granted
                                             ? QStringLiteral(", ") + roleName(result.role)
                                             : QString()));
                answer({{QStringLiteral("ok"), result.outcome == GateAnswer::Outcome::Granted},
                        {QStringLiteral("sonuc"), outcomeName(result.outcome)},
                        {QStringLiteral("rol"), int(result.role)},
                        {QStringLiteral("anahtar"), QString::fromLatin1(result.token)},
                        {QStringLiteral("cihaz"), QString::fromLatin1(result.device)},
                        {QStringLiteral("bekle"), result.waitSeconds},
                        {QStringLiteral("cihazUnutuldu"), result.deviceForgotten},
                        {QStringLiteral("mesaj"), result.message}});
            },
            Qt::QueuedConnection);
    });
}

GateAnswer askGate(const FolderClaim &ringer, const QString &pin, const GateClient &client) {
    GateAnswer result;
    const std::optional<QJsonObject> answer =
        ringer.askJson({{QStringLiteral("islem"), QStringLiteral("giris")},
                        {QStringLiteral("pin"), pin},
                        {QStringLiteral("adres"), client.peer},
                        {QStringLiteral("cihaz"), QString::fromLatin1(client.device)}},
                       FolderClaim::AnswerTimeoutMs);
    if (!answer) {
        result.message = QStringLiteral("Zilleri çalan program yanıt vermiyor; biraz sonra "
                                        "yeniden deneyin.");
        return result;
    }
    result.outcome = outcomeNamed(answer->value(QStringLiteral("sonuc")).toString());
    result.role = Role(answer->value(QStringLiteral("rol")).toInt());
    result.token = answer->value(QStringLiteral("anahtar")).toString().toLatin1();
    result.device = answer->value(QStringLiteral("cihaz")).toString().toLatin1();
    result.waitSeconds = answer->value(QStringLiteral("bekle")).toInt();
    result.deviceForgotten = answer->value(QStringLiteral("cihazUnutuldu")).toBool();
    result.message = answer->value(QStringLiteral("mesaj")).toString();
    return result;
}
