#include "PhonePage.h"

#include "Bells.h"
#include "Clock.h"
#include "Commands.h"
#include "PhoneDoor.h"
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
    , m_door(std::make_unique<PhoneDoor>(
          m_snapshot, [this](const PhoneCommand &command) { perform(command); },
          [&gate = bells.gate()](const QString &pin, const GateClient &client) {
              return gate.login(pin, client);
          },
          std::move(report))) {
    m_timer.setInterval(1000);
    connect(m_door.get(), &PhoneDoor::listening, this, &PhonePage::listening);
    connect(&m_timer, &QTimer::timeout, this, &PhonePage::tick);
}

PhonePage::~PhonePage() = default;

void PhonePage::start() {
    m_timer.start();
}

void PhonePage::setListenAddress(const QHostAddress &address) {
    m_door->setListenAddress(address);
}

quint16 PhonePage::port() const {
    return m_door->port();
}

QString PhonePage::fingerprint() const {
    return m_door->fingerprint();
}

void PhonePage::tick() {
    const PhoneSettings &settings = m_door->settings();
    // Only the process that rings the folder answers for it, so the page shows the bells that
    // ring; it opens the page itself only while it faces the network.
    const bool ringing = settings.on && m_bells.clock().ringing();
    const bool wasServing = m_door->serving();
    m_door->follow(ringing && m_bells.networkHere());
    if (!ringing) {
        m_snapshotJson = {};
        return;
    }
    if (m_door->serving() && !wasServing)
        m_slowTicks = 0;
    writeSnapshot(settings);
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
    QJsonArray ids;
    for (const int id : std::as_const(m_announcementIds))
        ids.append(id);
    m_snapshotJson = {{QStringLiteral("durum"), state},
                      {QStringLiteral("sinif"), classroom},
                      {QStringLiteral("sesler"),
                       QJsonArray::fromStringList(QStringList(sounds.begin(), sounds.end()))},
                      {QStringLiteral("anonslar"), ids},
                      {QStringLiteral("sinifAcik"), settings.classroom}};
}

void PhonePage::note(const PhoneCommand &command, const QString &what) {
    const QString who = QStringLiteral("%1, %2").arg(roleName(command.role), command.address);
    qInfo().noquote() << QStringLiteral("Telefondan işlem (%1): %2").arg(who, what);
    m_commands.prepend(QStringLiteral("%1 %2 (%3)")
                           .arg(hhmmss(programClock().now().time()), what, roleName(command.role)));
    while (m_commands.size() > CommandsKept)
        m_commands.removeLast();
}

Commands::Outcome PhonePage::perform(const PhoneCommand &command) {
    const QString who =
        QStringLiteral("telefondan: %1, %2").arg(roleName(command.role), command.address);
    m_slowTicks = 0;
    const Commands::Outcome outcome = m_bells.commands().perform(command, who);
    note(command, outcome.line);
    // The phone that asked sees what came of it at its next look.
    if (!m_snapshotJson.isEmpty())
        writeSnapshot(m_door->settings());
    return outcome;
}
