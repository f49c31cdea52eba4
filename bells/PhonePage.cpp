#include "PhonePage.h"

#include "Bells.h"
#include "Clock.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "ZilError.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonObject>
#include <QLocale>

namespace {
// A slow look at the schedule every this many ticks.
constexpr int SlowEvery = 5;
constexpr int CommandsKept = 10;

QString hhmmss(const QTime &time) {
    return time.isValid() ? time.toString(QStringLiteral("HH:mm:ss")) : QStringLiteral("--:--:--");
}

// The sound that began last at or before `now` and sounded: the lesson or break the school is in.
const PlannedSound *current(const QList<PlannedSound> &sounds, const QTime &now) {
    const PlannedSound *last = nullptr;
    for (const PlannedSound &sound : sounds)
        if (sound.sounds() && sound.kind != PlannedSound::Kind::Announcement && sound.at <= now)
            last = &sound;
    return last;
}
} // namespace

PhonePage::PhonePage(Bells &bells, std::function<void(const QString &)> report, QObject *parent)
    : QObject(parent)
    , m_bells(bells)
    , m_report(std::move(report))
    , m_server(m_snapshot, rolesFile(), [this](const PhoneCommand &command) { perform(command); }) {
    m_timer.setInterval(1000);
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
    connect(&m_timer, &QTimer::timeout, this, &PhonePage::tick);
}

PhonePage::~PhonePage() = default;

void PhonePage::start() {
    m_timer.start();
}

void PhonePage::tick() {
    const QFileInfo file(PhoneAccess::settingsFile(dataFolder()));
    std::optional<std::pair<QDateTime, qint64>> stamp;
    if (file.exists())
        stamp = std::pair{file.lastModified(), file.size()};
    if (stamp != m_settingsStamp) {
        m_settingsStamp = stamp;
        m_settings = PhoneAccess::readSettings(dataFolder());
    }
    const PhoneSettings &settings = m_settings;
    // Only the process that rings the folder serves it, so it answers for the bells that ring.
    const bool wanted = settings.on && m_bells.clock().ringing();
    if (!wanted) {
        if (m_server.started()) {
            m_server.stop();
            m_listening = 0;
            qInfo().noquote() << QStringLiteral("Telefon sayfası kapatıldı.");
        }
        m_hasFailed = false;
        return;
    }
    if (!m_server.started() || settings.port != m_serving.port ||
        settings.address != m_serving.address)
        serve(settings);
    writeSnapshot(settings);
}

void PhonePage::serve(const PhoneSettings &settings) {
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
    m_slowTicks = 0;
    m_server.start(settings.address.isEmpty() ? m_address : QHostAddress(settings.address),
                   quint16(settings.port), m_identity);
}

void PhonePage::writeSnapshot(const PhoneSettings &settings) {
    const QDateTime now = programClock().now();
    const QTime time = now.time();
    DayPlan &plan = m_bells.plan();
    const bool today = plan.date() == now.date();
    if (m_slowTicks-- <= 0) {
        m_slowTicks = SlowEvery;
        try {
            m_record = {};
            for (const BellEvent &event : m_bells.store().history(now.date(), now.date()))
                m_record.append(QJsonObject{{QStringLiteral("saat"), event.start},
                                            {QStringLiteral("ad"), event.name},
                                            {QStringLiteral("sonuc"), outcomeName(event.outcome)}});
            m_announcements = {};
            m_announcementIds.clear();
            for (const Announcement &a : m_bells.store().announcements()) {
                m_announcements.append(
                    QJsonObject{{QStringLiteral("id"), a.id}, {QStringLiteral("ad"), a.name}});
                m_announcementIds.insert(a.id);
            }
            m_silenced = m_bells.calendar().silencedToday();
        } catch (const ZilError &) {
            // The clock tells of a schedule that cannot be read; the page keeps what it had.
        }
    }

    QJsonArray programme;
    QJsonArray lessons;
    QSet<QString> sounds;
    QJsonArray soundChoices;
    for (const ProgramSounds::Sound sound :
         {ProgramSounds::Sound::Ogrenci, ProgramSounds::Sound::Ogretmen,
          ProgramSounds::Sound::Cikis}) {
        const QString music = ProgramSounds::bellName(sound);
        sounds.insert(music);
        soundChoices.append(QJsonObject{{QStringLiteral("ad"), ProgramSounds::title(sound)},
                                        {QStringLiteral("muzik"), music}});
    }
    if (today) {
        for (const PlannedSound &sound : plan.sounds()) {
            const QJsonObject line{
                {QStringLiteral("saat"), hhmmss(sound.at)},
                {QStringLiteral("ad"), sound.bell.name},
                {QStringLiteral("sessiz"), sound.quiet},
                {QStringLiteral("gecti"), sound.at.isValid() && sound.at <= time}};
            programme.append(line);
            if (sound.kind == PlannedSound::Kind::Bell ||
                sound.kind == PlannedSound::Kind::OneOff) {
                lessons.append(line);
                if (!sound.bell.music.isEmpty() && !sounds.contains(sound.bell.music)) {
                    sounds.insert(sound.bell.music);
                    soundChoices.append(QJsonObject{{QStringLiteral("ad"), sound.bell.music},
                                                    {QStringLiteral("muzik"), sound.bell.music}});
                }
            }
        }
    }
    QJsonValue next;
    const PlannedSound *coming = today ? plan.next(time) : nullptr;
    if (coming)
        next = QJsonObject{{QStringLiteral("saat"), hhmmss(coming->at)},
                           {QStringLiteral("ad"), coming->bell.name},
                           {QStringLiteral("kalan"), time.secsTo(coming->at)}};
    const std::optional<Alarm::Kind> alarm = m_bells.alarm().sounding();
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    const QString date = turkish.toString(now.date(), QStringLiteral("d MMMM yyyy, dddd"));
    const QJsonObject state{
        {QStringLiteral("saat"), hhmmss(time)},
        {QStringLiteral("tarih"), date},
        {QStringLiteral("gun"), today ? plan.day().line() : QString()},
        {QStringLiteral("sonrakiSatir"), plan.nextLine(time)},
        {QStringLiteral("sonraki"), next},
        {QStringLiteral("program"), programme},
        {QStringLiteral("kayit"), m_record},
        {QStringLiteral("sesler"), soundChoices},
        {QStringLiteral("anonslar"), m_announcements},
        {QStringLiteral("sessizBugun"), m_silenced},
        {QStringLiteral("alarm"), alarm ? Alarm::title(*alarm) : QString()},
        {QStringLiteral("islemler"), QJsonArray::fromStringList(m_commands)},
    };
    const PlannedSound *now_ = today ? current(plan.sounds(), time) : nullptr;
    QString period;
    if (now_)
        period = now_->bell.name;
    else if (coming)
        period = QStringLiteral("Dersler başlamadı");
    else
        period = QStringLiteral("Bugün zil yok");
    if (!coming && now_)
        period = QStringLiteral("Günün dersleri bitti");
    const QJsonObject classroom{
        {QStringLiteral("saat"), hhmmss(time)}, {QStringLiteral("tarih"), date},
        {QStringLiteral("simdi"), period},      {QStringLiteral("sonraki"), next},
        {QStringLiteral("program"), lessons},
    };
    m_snapshot->set(state, classroom, sounds, m_announcementIds, settings.classroom);
}

void PhonePage::note(const PhoneCommand &command, const QString &what) {
    const QString who = QStringLiteral("%1, %2").arg(roleName(command.role), command.address);
    qInfo().noquote() << QStringLiteral("Telefondan işlem (%1): %2").arg(who, what);
    m_commands.prepend(QStringLiteral("%1 %2 (%3)")
                           .arg(hhmmss(programClock().now().time()), what, roleName(command.role)));
    while (m_commands.size() > CommandsKept)
        m_commands.removeLast();
}

void PhonePage::perform(const PhoneCommand &command) {
    const QString who =
        QStringLiteral("telefondan: %1, %2").arg(roleName(command.role), command.address);
    m_slowTicks = 0;
    try {
        switch (command.kind) {
        case PhoneCommand::Kind::StopMusic:
            note(command, m_bells.stopMusic() ? QStringLiteral("Müzik durduruldu.")
                                              : QStringLiteral("Durdurulacak müzik yoktu."));
            break;
        case PhoneCommand::Kind::RingNow:
            m_bells.ringNow(command.music, command.seconds, who);
            note(command, QStringLiteral("Zil çalındı: %1").arg(command.music));
            break;
        case PhoneCommand::Kind::AnnounceNow: {
            std::optional<Announcement> announcement =
                m_bells.store().announcement(command.announcement);
            if (!announcement) {
                note(command, QStringLiteral("Anons bulunamadı; silinmiş olabilir."));
                break;
            }
            announcement->name += QStringLiteral(" (%1)").arg(who);
            note(command,
                 m_bells.announceNow(*announcement)
                     .value_or(QStringLiteral("Anons yapıldı: %1").arg(announcement->name)));
            break;
        }
        case PhoneCommand::Kind::Alarm:
            note(command, m_bells.alarmCommand(command.alarm));
            break;
        case PhoneCommand::Kind::StopAlarm:
            note(command, m_bells.alarmCommand(-1));
            break;
        case PhoneCommand::Kind::SilenceToday:
            m_bells.calendar().silenceToday(command.on);
            note(command, command.on ? QStringLiteral("Bugün zil çalmayacak.")
                                     : QStringLiteral("Bugünün zilleri yeniden çalacak."));
            break;
        }
    } catch (const ZilError &error) {
        note(command, QStringLiteral("Yapılamadı: %1").arg(error.message()));
    }
    // The phone that asked sees what came of it at its next look.
    if (m_server.started())
        writeSnapshot(m_serving);
}
