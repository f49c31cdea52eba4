#include "Alarm.h"

#include "BellClock.h"
#include "BellPlayer.h"
#include "Clock.h"
#include "MusicFile.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "Schedule.h"

namespace {
ProgramSounds::Sound signal(Alarm::Kind kind) {
    switch (kind) {
    case Alarm::Kind::Yangin:
        return ProgramSounds::Sound::KesikSiren;
    case Alarm::Kind::Deprem:
        return ProgramSounds::Sound::DepremSinyali;
    case Alarm::Kind::Tahliye:
        return ProgramSounds::Sound::TahliyeSinyali;
    }
    return ProgramSounds::Sound::KesikSiren;
}

// A pause before trying a sound that would not play again: long enough not to busy the
// program, short enough that an output coming back is used at once.
constexpr int RetryMs = 1000;
} // namespace

Alarm::Alarm(BellClock &clock, BellPlayer &player, std::function<void(const QString &)> report,
             QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_player(player)
    , m_report(std::move(report)) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &Alarm::again);
    // Nothing else plays through the bell player while the bells are held, so its sound ending
    // is the alarm's own end, and it starts over. Queued: the player is done with its notice.
    connect(&m_player, &BellPlayer::finished, this, [this] {
        if (m_kind)
            m_retry.start(0);
    });
    // A sound that broke off (a sound server that went away) is tried again until it plays: an
    // alarm never falls silent by itself.
    connect(&m_player, &BellPlayer::failed, this, [this](const QString &why) {
        if (!m_kind)
            return;
        if (!m_told && m_report)
            m_report(QStringLiteral("Alarm kesildi: %1. Tekrar deneniyor.").arg(why));
        m_told = true;
        m_retry.start(RetryMs);
    });
}

QString Alarm::title(Kind kind) {
    switch (kind) {
    case Kind::Yangin:
        return QStringLiteral("Yangın");
    case Kind::Deprem:
        return QStringLiteral("Deprem tatbikatı");
    case Kind::Tahliye:
        return QStringLiteral("Tahliye");
    }
    return {};
}

QString Alarm::holdReason() {
    return QStringLiteral("acil durum alarmı çalıyordu");
}

QString Alarm::music(Kind kind) {
    return ProgramSounds::bellName(signal(kind));
}

void Alarm::sound(Kind kind) {
    if (m_kind == kind)
        return;
    const QDateTime now = programClock().now();
    Bell bell;
    bell.id = Bell::alarmId(int(kind));
    bell.date = now.date();
    bell.gunId = GunIDOf(now.date());
    bell.name = QStringLiteral("Acil durum: %1").arg(title(kind));
    bell.start = StoredTimeForm(now.time());
    bell.music = music(kind);
    bell.sure = 0;
    m_kind.reset();
    m_told = false;
    // An alarm cuts whatever sounds, another alarm too; a failing recording falls back to the
    // program's tone there, and is recorded as such.
    m_clock.soundNow(bell, {}, SoundKind::Alarm);
    m_kind = kind;
    m_clock.holdFor(holdReason());
    emit changed();
}

bool Alarm::stop() {
    if (!m_kind)
        return false;
    m_kind.reset();
    m_retry.stop();
    m_clock.holdFor({});
    m_player.stop();
    emit changed();
    return true;
}

void Alarm::again() {
    if (!m_kind || m_player.playing())
        return;
    const MusicFile file = MusicFile::of(music(*m_kind));
    const std::optional<QString> failure =
        file.ok() ? m_player.play(file.path, 0, SoundKind::Alarm) : file.refusal;
    if (!failure)
        return;
    if (!m_told && m_report)
        m_report(QStringLiteral("Alarm yeniden çalınamadı: %1. Tekrar deneniyor.").arg(*failure));
    m_told = true;
    m_retry.start(RetryMs);
}
