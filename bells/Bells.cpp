#include "Bells.h"

#include "Backup.h"
#include "Clock.h"
#include "GstMediaLayer.h"
#include "PhonePage.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ZilError.h"

#include <QTimer>

namespace {
std::unique_ptr<MediaLayer> orProgramOutput(std::unique_ptr<MediaLayer> layer) {
    if (!layer)
        layer = std::make_unique<GstMediaLayer>(audioSinkDescription());
    return layer;
}
} // namespace

Bells::Bells(std::function<void(const QString &message)> report, std::unique_ptr<MediaLayer> layer)
    : m_report(std::move(report))
    , m_dayCheck(m_store, m_report)
    , m_player(orProgramOutput(std::move(layer)))
    , m_clock(m_store, m_bellPlayer, m_report)
    , m_alarm(m_clock, m_bellPlayer, m_report)
    , m_breakMusic(m_clock, m_musicPlayer, m_bellPlayer, m_calendar, m_report) {
    m_clock.setPrepareAhead(true);
    m_clock.setPlan(m_plan);
    m_plan.setSirenMusic(ProgramSounds::bellName(ProgramSounds::Sound::SabitSiren));
    m_plan.setChimeMusic(ProgramSounds::bellName(ProgramSounds::Sound::AnonsCani));
    QObject::connect(&m_clock, &BellClock::dayBegan, &m_dayCheck, &DayCheck::check);
    QObject::connect(&m_dayCheck, &DayCheck::cannotPlay, &m_clock, &BellClock::setUnplayable);
    for (LayerBellPlayer *player : {&m_bellPlayer, &m_musicPlayer}) {
        // Music someone plays with the player bar gives way to what these start.
        QObject::connect(player, &BellPlayer::started, player, [this, player] {
            if (SoundRules::mayStart(player->kind(), SoundKind::HandMusic) ==
                SoundRules::Verdict::Cut)
                stopDevice();
        });
        player->setStyle([this](SoundKind kind) { return soundStyle(kind); });
        // Told after the tick that played it: a box must not open while a bell is being started.
        QObject::connect(
            player, &LayerBellPlayer::outputMissing, player,
            [this](const QString &sentence) {
                if (m_report)
                    m_report(sentence);
            },
            Qt::QueuedConnection);
    }
    m_player.setStyle([this] { return soundStyle(SoundKind::HandMusic); });
}

SoundStyle Bells::soundStyle(SoundKind kind) {
    try {
        m_soundValues = m_sound.read();
    } catch (const ZilError &) {
        // A schedule that cannot be read now (locked, gone) must not change how loud a bell is:
        // the values last read stand, and the clock tells of the schedule itself.
    }
    return SoundRules::style(kind, m_soundValues);
}

Bells::~Bells() = default;

bool Bells::start() {
    m_clock.Start();
    // Off until the manager turns it on; it looks at its settings every second, and shows what
    // it can even while the schedule cannot be read.
    m_phone = std::make_unique<PhonePage>(*this, m_report);
    m_phone->start();
    // A restore the power cut off half way is undone before the schedule is read.
    if (Backup::recoverInterrupted(dataFolder()) && m_report)
        m_report(QStringLiteral("Yarıda kalmış bir geri yükleme geri alındı; zil programı "
                                "geri yüklemeden önceki haliyle çalışıyor."));
    try {
        m_store.open(DatabaseFile());
    } catch (const ZilError &error) {
        m_clock.StoreFailureReported();
        if (m_report)
            m_report(error.message());
        return false;
    }
    m_copies = std::make_unique<DailyCopies>(dataFolder(), m_report);
    m_copies->start();
    m_shared = std::make_unique<SharedSchedule>(m_store, m_calendar);
    QObject::connect(m_shared.get(), &SharedSchedule::problem, m_shared.get(),
                     [this](const QString &message) {
                         if (m_report)
                             m_report(message);
                     });
    m_sharedLook.setInterval(3000);
    QObject::connect(&m_sharedLook, &QTimer::timeout, m_shared.get(), [this] { followShared(); });
    m_sharedLook.start();
    followShared();
    // Read now, so that whatever shows the day has it before the clock's first tick.
    try {
        m_plan.update(programClock().now().date());
    } catch (const ZilError &) {
        // The clock reads it again at its tick, and tells.
    }
    return true;
}

void Bells::followShared() {
    // The network service, when one runs beside, holds the claim and keeps the link; this
    // process keeps it only in its stead.
    if (m_sharedOn && m_networkAllowed)
        m_network.hold();
    if (!m_sharedOn || !m_network.held()) {
        if (m_shared->running())
            m_shared->stop();
        m_sharedSettings = {};
        return;
    }
    followSharedSettings(*m_shared, m_sharedSettings);
}

void Bells::setSharedOn(bool on) {
    m_sharedOn = on;
    if (!on)
        m_network.release();
    if (!m_shared)
        return;
    if (!on)
        m_shared->stop();
    // Read afresh at the next look.
    m_sharedSettings = {};
    if (on)
        followShared();
}

bool Bells::stopMusic() {
    const bool alarm = m_alarm.stop();
    const bool bell = alarm || m_bellPlayer.playing() || m_musicPlayer.playing();
    m_musicPlayer.stop();
    m_bellPlayer.stop();
    return stopDevice() || bell;
}

void Bells::ringNow(const QString &music, int seconds, const QString &by) {
    const QDateTime now = programClock().now();
    Bell bell;
    bell.date = now.date();
    bell.gunId = GunIDOf(now.date());
    bell.name = by.isEmpty() ? QStringLiteral("Şimdi çalan zil")
                             : QStringLiteral("Şimdi çalan zil (%1)").arg(by);
    bell.start = StoredTimeForm(now.time());
    bell.music = music;
    bell.sure = seconds;
    m_clock.soundNow(bell);
}

QString Bells::louderSound() {
    std::optional<SoundKind> sounding = m_clock.sounding();
    if (!sounding && m_breakMusic.playing())
        sounding = SoundKind::BreakMusic;
    if (SoundRules::mayStart(SoundKind::HandMusic, sounding) == SoundRules::Verdict::Cut)
        return {};
    return QStringLiteral("%1 çalıyor").arg(SoundRules::title(*sounding));
}

bool Bells::stopDevice() {
    if (!m_player.IsOpen())
        return false;
    try {
        m_player.Stop();
        m_player.Close();
    } catch (const ZilError &) {
        // Closed meanwhile: nothing plays.
    }
    return true;
}

std::optional<QString> Bells::announceNow(const Announcement &announcement) {
    const QDateTime now = programClock().now();
    Bell bell;
    bell.date = now.date();
    bell.gunId = GunIDOf(now.date());
    bell.name = QStringLiteral("Anons (şimdi): %1").arg(announcement.name);
    bell.start = StoredTimeForm(now.time());
    bell.music = announcement.sound;
    bell.sure = announcement.sure;
    // Asked now rather than after the chime: what outranks an announcement is not cut for it,
    // and the asker hears so at once.
    if (SoundRules::mayStart(SoundKind::Chime, m_clock.sounding()) != SoundRules::Verdict::Cut)
        return QStringLiteral("Anons şimdi yapılamaz: \"%1\" çalıyor.").arg(m_clock.soundingName());
    // A recording known to be broken would only chime and then say nothing.
    if (const std::optional<QString> broken = m_clock.wontPlay(bell)) {
        m_clock.recordNow(bell, BellOutcome::Failed, *broken);
        return QStringLiteral("Anons çalınamaz: %1").arg(*broken);
    }
    Bell chime = bell;
    chime.name = QStringLiteral("Anons çanı: %1").arg(announcement.name);
    chime.music = ProgramSounds::bellName(ProgramSounds::Sound::AnonsCani);
    chime.sure = DayPlan::ChimeSeconds;
    m_clock.soundNow(chime, {}, SoundKind::Chime);
    QTimer::singleShot(DayPlan::ChimeSeconds * 1000, &m_clock, [this, bell]() mutable {
        bell.start = StoredTimeForm(programClock().now().time());
        // What began meanwhile meets it as the rules say.
        m_clock.soundNow(bell, {}, SoundKind::Announcement);
    });
    return std::nullopt;
}

QString Bells::alarmCommand(int kind) {
    if (kind < 0) {
        return m_alarm.stop() ? QStringLiteral("Alarm durduruldu.")
                              : QStringLiteral("Çalan bir alarm yoktu.");
    }
    if (kind >= int(std::size(Alarm::Kinds)))
        return QStringLiteral("Bilinmeyen alarm türü: %1").arg(kind);
    m_alarm.sound(Alarm::Kinds[kind]);
    return QStringLiteral("Acil durum alarmı çalıyor: %1").arg(Alarm::title(Alarm::Kinds[kind]));
}
