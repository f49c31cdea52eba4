#include "BreakMusic.h"

#include "BellClock.h"
#include "BellPlayer.h"
#include "Calendar.h"
#include "Clock.h"
#include "MusicFile.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ZilError.h"

#include <QDir>
#include <QLocale>
#include <QRandomGenerator>

#include <algorithm>

namespace {
const QString acik = QStringLiteral("Teneffus:Acik");
const QString klasor = QStringLiteral("Teneffus:Klasor");
const QString sira = QStringLiteral("Teneffus:Sira");
const QString gunler = QStringLiteral("Teneffus:Gunler");
const QString saatler = QStringLiteral("Teneffus:Saatler");
const QString kapaliGun = QStringLiteral("Teneffus:KapaliGun");

// What a school's break ends with: the exit bell, however its name is written.
bool isExitBell(const PlannedSound &sound) {
    if (sound.kind != PlannedSound::Kind::Bell && sound.kind != PlannedSound::Kind::OneOff)
        return false;
    static const QLocale turkish(QLocale::Turkish);
    const QString name = turkish.toLower(sound.bell.name);
    return name.contains(QStringLiteral("çıkış")) || name.contains(QStringLiteral("cikis"));
}

bool isLesson(const PlannedSound &sound) {
    return sound.kind != PlannedSound::Kind::Announcement;
}

QStringList songsIn(const QString &folder) {
    static const QStringList kinds = {
        QStringLiteral("*.mp3"), QStringLiteral("*.wav"),  QStringLiteral("*.ogg"),
        QStringLiteral("*.oga"), QStringLiteral("*.flac"), QStringLiteral("*.opus"),
        QStringLiteral("*.m4a"), QStringLiteral("*.wma"),  QStringLiteral("*.aac")};
    return QDir(musicFolder() + folder)
        .entryList(kinds, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
}
} // namespace

BreakMusic::BreakMusic(BellClock &clock, BellPlayer &music, BellPlayer &bells, Calendar &settings,
                       std::function<void(const QString &)> report, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_music(music)
    , m_bells(bells)
    , m_settings(settings)
    , m_report(std::move(report)) {
    connect(&m_clock, &BellClock::ticked, this, &BreakMusic::tick);
    // What the bells' player starts may cut the music: it stops at once then, rather than
    // fading under a bell or a voice.
    connect(&m_bells, &BellPlayer::started, this, [this] {
        if (m_state != State::Idle && SoundRules::mayStart(m_bells.kind(), SoundKind::BreakMusic) ==
                                          SoundRules::Verdict::Cut) {
            m_state = State::Idle;
            m_music.stop();
        }
    });
    connect(&m_music, &BellPlayer::finished, this, [this] {
        const bool songEnded = m_state == State::Playing;
        m_state = State::Idle;
        // The next song follows without waiting for the next second, when the break goes on.
        if (songEnded)
            tick(programClock().now());
    });
    connect(&m_music, &BellPlayer::failed, this, [this](const QString &why) {
        if (m_report && !m_queue.isEmpty())
            m_report(QStringLiteral("Teneffüs müziği çalarken kesildi: %1").arg(why));
    });
}

BreakMusic::Settings BreakMusic::settings() const {
    const quint64 generation = m_clock.plan().generation();
    if (generation == m_cachedFor)
        return m_cached;
    Settings s;
    try {
        s.on = m_settings.namedSetting(acik) == QLatin1String("1");
        if (const QString folder = m_settings.namedSetting(klasor); !folder.isEmpty())
            s.folder = folder;
        s.shuffle = m_settings.namedSetting(sira) != QLatin1String("sirali");
        if (const QString days = m_settings.namedSetting(gunler); !days.isEmpty()) {
            s.days.clear();
            // "-": no day at all.
            for (const QString &day : days.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                bool ok = false;
                if (const int gunId = day.toInt(&ok); ok)
                    s.days.append(gunId);
            }
        }
        s.spans =
            readSpans(m_settings.namedSetting(saatler)).value_or(QList<std::pair<QTime, QTime>>{});
        s.offOn = QDate::fromString(m_settings.namedSetting(kapaliGun), Qt::ISODate);
    } catch (const ZilError &) {
        // The schedule's trouble is told where the bells read it; no music meanwhile.
        s.on = false;
        return s;
    }
    m_cached = s;
    m_cachedFor = generation;
    return s;
}

void BreakMusic::setSettings(const Settings &s) {
    for (const auto &[from, to] : s.spans)
        if (!from.isValid() || !to.isValid() || to <= from)
            throw ERefused(QStringLiteral("Teneffüs saatlerinde bitiş başlangıçtan sonra "
                                          "olmalı."));
    const QString folder = QDir::cleanPath(s.folder.trimmed());
    if (folder.isEmpty() || QDir::isAbsolutePath(folder) || folder.startsWith(QLatin1String("..")))
        throw ERefused(QStringLiteral("Teneffüs müziği klasörü Muzikler klasörünün içinde "
                                      "olmalı."));
    QStringList days;
    for (int day : s.days)
        days.append(QString::number(day));
    m_settings.writeNamedSettings(
        {{acik, s.on ? QStringLiteral("1") : QString()},
         {klasor, folder},
         {sira, s.shuffle ? QString() : QStringLiteral("sirali")},
         {gunler, days.isEmpty() ? QStringLiteral("-") : days.join(QLatin1Char(','))},
         {saatler, spansText(s.spans)}});
    m_cachedFor = ~quint64(0);
    m_queue.clear();
    emit changed();
}

bool BreakMusic::offToday() const {
    // From the settings as last read: the tick asks every second, and the file is read again
    // only when it changed.
    return settings().offOn == programClock().now().date();
}

void BreakMusic::setOffToday(bool off) {
    m_settings.writeNamedSettings(
        {{kapaliGun, off ? programClock().now().date().toString(Qt::ISODate) : QString()}});
    m_cachedFor = ~quint64(0);
    if (off && m_state != State::Idle) {
        m_state = State::Fading;
        m_music.fadeOut(FadeMs);
    }
    emit changed();
}

std::optional<QTime> BreakMusic::musicUntil(const QList<PlannedSound> &sounds, const QTime &at,
                                            const QList<std::pair<QTime, QTime>> &spans) {
    // The next planned sound of any kind: nothing else sounds over the music.
    std::optional<QTime> next;
    for (const PlannedSound &s : sounds)
        if (s.sounds() && s.at > at && (!next || s.at < *next))
            next = s.at;
    if (!spans.isEmpty()) {
        for (const auto &[from, to] : spans)
            if (at >= from && at < to)
                return next ? std::min(*next, to) : to;
        return std::nullopt;
    }
    // In a break when the last lesson bell so far was an exit bell and another lesson follows
    // the same day: the music never outlasts the school day.
    const PlannedSound *last = nullptr;
    bool lessonFollows = false;
    for (const PlannedSound &s : sounds) {
        if (!s.sounds() || !isLesson(s))
            continue;
        if (s.at <= at && (!last || s.at >= last->at))
            last = &s;
        if (s.at > at)
            lessonFollows = true;
    }
    if (!last || !isExitBell(*last) || !lessonFollows)
        return std::nullopt;
    return next;
}

std::optional<QList<std::pair<QTime, QTime>>> BreakMusic::readSpans(const QString &text) {
    QList<std::pair<QTime, QTime>> spans;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        if (ends.size() != 2)
            return std::nullopt;
        const QTime from = QTime::fromString(ends[0].trimmed(), QStringLiteral("H:mm"));
        const QTime to = QTime::fromString(ends[1].trimmed(), QStringLiteral("H:mm"));
        if (!from.isValid() || !to.isValid() || to <= from)
            return std::nullopt;
        spans.append({from, to});
    }
    return spans;
}

QString BreakMusic::spansText(const QList<std::pair<QTime, QTime>> &spans) {
    QStringList parts;
    for (const auto &[from, to] : spans)
        parts.append(from.toString(QStringLiteral("HH:mm")) + QLatin1Char('-') +
                     to.toString(QStringLiteral("HH:mm")));
    return parts.join(QStringLiteral(", "));
}

void BreakMusic::tick(const QDateTime &present) {
    const Settings s = settings();
    DayPlan &plan = m_clock.plan();
    std::optional<QTime> until;
    // Only the copy that rings plays music, only on the school's days.
    if (m_clock.ringing() && s.on && plan.date() == present.date() &&
        s.days.contains(GunIDOf(present.date())) && !offToday())
        until = musicUntil(plan.sounds(), present.time(), s.spans);
    const qint64 left = until ? present.time().msecsTo(*until) : 0;
    if (m_state == State::Playing && left <= FadeMs + SilentBeforeMs) {
        // Silent a second before the next sound, however late this tick came.
        m_state = State::Fading;
        m_music.fadeOut(int(std::clamp<qint64>(left - SilentBeforeMs, 0, FadeMs)));
        return;
    }
    // What sounds on the bells' player (held by an alarm included) is waited for.
    if (m_state != State::Idle || left < ShortestPlayMs ||
        SoundRules::mayStart(SoundKind::BreakMusic, m_clock.sounding()) != SoundRules::Verdict::Cut)
        return;
    startNext();
}

void BreakMusic::refill() {
    const Settings s = settings();
    m_queue = songsIn(s.folder);
    if (s.shuffle) {
        auto *random = QRandomGenerator::global();
        for (qsizetype i = m_queue.size() - 1; i > 0; --i)
            m_queue.swapItemsAt(i, random->bounded(i + 1));
    }
    m_next = 0;
}

bool BreakMusic::startNext() {
    const QDate today = programClock().now().date();
    if (m_failedDate != today) {
        m_failedDate = today;
        m_failed.clear();
        m_toldEmpty = false;
    }
    if (m_next >= m_queue.size())
        refill();
    const QString folder = settings().folder;
    // Each song at most once a try, so a folder of broken files costs one pass.
    for (qsizetype tried = 0; tried < m_queue.size(); ++tried) {
        if (m_next >= m_queue.size())
            refill();
        const QString name = folder + QLatin1Char('/') + m_queue.value(m_next++);
        if (m_failed.contains(name))
            continue;
        const MusicFile file = MusicFile::of(name);
        const std::optional<QString> failure =
            file.ok() ? m_music.play(file.path, 0, SoundKind::BreakMusic) : file.refusal;
        if (!failure) {
            m_state = State::Playing;
            return true;
        }
        m_failed.insert(name);
        Bell song;
        song.date = today;
        song.gunId = GunIDOf(today);
        song.name = QStringLiteral("Teneffüs müziği");
        song.music = name;
        song.start = StoredTimeForm(programClock().now().time());
        m_clock.recordNow(song, BellOutcome::Failed, *failure);
    }
    if (m_queue.isEmpty() && !m_toldEmpty && m_report)
        m_report(QStringLiteral("Teneffüs müziği klasöründe çalınacak dosya yok: %1")
                     .arg(QDir::toNativeSeparators(musicFolder() + folder)));
    m_toldEmpty = true;
    return false;
}
