#include "Commands.h"

#include "Bells.h"
#include "ZilError.h"

namespace {
// The names a command has on the socket; the phone page uses the same.
const std::pair<PhoneCommand::Kind, QLatin1String> Names[] = {
    {PhoneCommand::Kind::StopMusic, QLatin1String("durdur")},
    {PhoneCommand::Kind::RingNow, QLatin1String("zil")},
    {PhoneCommand::Kind::AnnounceNow, QLatin1String("anons")},
    {PhoneCommand::Kind::Alarm, QLatin1String("alarm")},
    {PhoneCommand::Kind::StopAlarm, QLatin1String("alarmDurdur")},
    {PhoneCommand::Kind::SilenceToday, QLatin1String("sessiz")},
};
} // namespace

Commands::Commands(Bells &bells, Gate &gate)
    : m_bells(bells)
    , m_gate(gate) {}

Action Commands::actionOf(PhoneCommand::Kind kind) {
    switch (kind) {
    case PhoneCommand::Kind::StopMusic:
        return Action::StopSound;
    case PhoneCommand::Kind::RingNow:
        return Action::RingNow;
    case PhoneCommand::Kind::AnnounceNow:
        return Action::AnnounceNow;
    case PhoneCommand::Kind::Alarm:
        return Action::Alarm;
    case PhoneCommand::Kind::StopAlarm:
        // Stopping an alarm is stopping a sound: whoever may stop a bell may stop it.
        return Action::StopSound;
    case PhoneCommand::Kind::SilenceToday:
        return Action::SilenceToday;
    }
    return Action::ChangeSettings;
}

QJsonObject Commands::toJson(const PhoneCommand &command) {
    QJsonObject object{{QStringLiteral("islem"), QString()}};
    for (const auto &[kind, name] : Names)
        if (kind == command.kind)
            object.insert(QStringLiteral("islem"), name);
    object.insert(QStringLiteral("muzik"), command.music);
    object.insert(QStringLiteral("sure"), command.seconds);
    object.insert(QStringLiteral("id"), command.announcement);
    object.insert(QStringLiteral("tur"), command.alarm);
    object.insert(QStringLiteral("acik"), command.on);
    object.insert(QStringLiteral("adres"), command.address);
    object.insert(QStringLiteral("anahtar"), QString::fromLatin1(command.token));
    return object;
}

std::optional<PhoneCommand> Commands::fromJson(const QJsonObject &object) {
    const QString name = object.value(QStringLiteral("islem")).toString();
    for (const auto &[kind, known] : Names) {
        if (name != known)
            continue;
        PhoneCommand command;
        command.kind = kind;
        command.music = object.value(QStringLiteral("muzik")).toString();
        command.seconds = object.value(QStringLiteral("sure")).toInt();
        command.announcement = object.value(QStringLiteral("id")).toInt();
        command.alarm = object.value(QStringLiteral("tur")).toInt();
        command.on = object.value(QStringLiteral("acik")).toBool();
        command.address = object.value(QStringLiteral("adres")).toString();
        command.token = object.value(QStringLiteral("anahtar")).toString().toLatin1();
        return command;
    }
    return std::nullopt;
}

Commands::Outcome Commands::perform(const PhoneCommand &asked, const QString &who) {
    PhoneCommand command = asked;
    // The role is the gate's, never what the asker wrote: the phone page's process and the
    // windows hold sessions the gate opened, and nothing else.
    command.role = m_gate.roleOf(command.token).value_or(Role::Viewer);
    if (m_gate.rolesOn() && !Roles::permits(command.role, actionOf(command.kind)))
        return {false, QStringLiteral("Bu işlem için yetki gerekiyor; PIN ile giriş yapın.")};
    try {
        return carryOut(command, who);
    } catch (const ZilError &error) {
        return {false, QStringLiteral("Yapılamadı: %1").arg(error.message())};
    }
}

Commands::Outcome Commands::carryOut(const PhoneCommand &command, const QString &who) {
    switch (command.kind) {
    case PhoneCommand::Kind::StopMusic:
        return {true, m_bells.stopMusic() ? QStringLiteral("Müzik durduruldu.")
                                          : QStringLiteral("Durdurulacak müzik yoktu.")};
    case PhoneCommand::Kind::RingNow:
        if (command.seconds < 1 || command.seconds > 600)
            return {false, QStringLiteral("Süre 1 ile 600 saniye arasında olmalı.")};
        m_bells.ringNow(command.music, command.seconds, who);
        return {true, QStringLiteral("Zil çalındı: %1").arg(command.music)};
    case PhoneCommand::Kind::AnnounceNow: {
        std::optional<Announcement> announcement =
            m_bells.store().announcement(command.announcement);
        if (!announcement)
            return {false, QStringLiteral("Anons bulunamadı; silinmiş olabilir.")};
        const QString name = announcement->name;
        if (!who.isEmpty())
            announcement->name += QStringLiteral(" (%1)").arg(who);
        // Refused while something that outranks it sounds, with what that is.
        if (const std::optional<QString> refused = m_bells.announceNow(*announcement))
            return {false, *refused};
        return {true, QStringLiteral("Anons yapıldı: %1").arg(name)};
    }
    case PhoneCommand::Kind::Alarm:
        return {true, m_bells.alarmCommand(command.alarm)};
    case PhoneCommand::Kind::StopAlarm:
        return {true, m_bells.alarmCommand(-1)};
    case PhoneCommand::Kind::SilenceToday:
        m_bells.calendar().silenceToday(command.on);
        return {true, command.on ? QStringLiteral("Bugün zil çalmayacak.")
                                 : QStringLiteral("Bugünün zilleri yeniden çalacak.")};
    }
    return {false, QStringLiteral("Bilinmeyen işlem.")};
}
