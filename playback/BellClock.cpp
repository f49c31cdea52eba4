#include "BellClock.h"

#include "BellPlayer.h"
#include "Clock.h"
#include "FallbackTone.h"
#include "MusicFile.h"
#include "ProgramValues.h"
#include "Schedule.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <chrono>
#include <thread>

#include <algorithm>
#include <limits>

namespace {
QDateTime wholeSecond(const QDateTime &t) {
    QDateTime s = t;
    s.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return s;
}

// The timer is armed this long before a second begins, and the tick then waits out the rest to
// the microsecond: the event loop wakes timers up to a few milliseconds late, and a bell would
// carry that lateness into its start.
constexpr int TickLeadMs = 3;

// Waits until the next second begins when that is at most the lead away. The wait is measured
// on the steady clock: waiting for a wall-clock moment would last as long as the wall clock is
// stepped back meanwhile, and the tick after it reads the wall clock afresh anyway.
void waitForTheSecond(const Clock &clock) {
    using namespace std::chrono;
    microseconds rest;
    if (dynamic_cast<const SystemClock *>(&clock)) {
        const auto t = system_clock::now();
        rest = duration_cast<microseconds>(ceil<seconds>(t) - t);
    } else {
        rest = milliseconds(1000 - clock.now().time().msec());
    }
    if (rest <= milliseconds(TickLeadMs + 1))
        std::this_thread::sleep_for(rest);
}

// The record lines kept while the store cannot take them: a day of bells several times over.
constexpr int UnwrittenLimit = 5000;
} // namespace

BellClock::BellClock(BellStore &store, BellPlayer &player,
                     std::function<void(const QString &message)> reportError, QObject *parent)
    : QObject(parent)
    , ReportError(std::move(reportError))
    , m_store(store)
    , m_player(player)
    , m_ownPlan(store) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &BellClock::TimerTimer);
    // A bell stopped at its duration (or by hand) is settled with what is known by then.
    connect(&m_player, &BellPlayer::finished, this, [this] { settleHeard(true); });
    connect(&m_player, &BellPlayer::failed, this, [this] { settleHeard(); });
    m_heardTimer.setSingleShot(true);
    m_heardTimer.setInterval(50);
    connect(&m_heardTimer, &QTimer::timeout, this, [this] { settleHeard(); });
}

BellClock::~BellClock() {
    settleHeard(true);
}

void BellClock::Start() {
    armTimer(programClock().now());
    // A bell due before the first tick's preparing could take effect is prepared at once, once
    // the caller has opened the store.
    QTimer::singleShot(0, this, [this] {
        const QDateTime present = wholeSecond(programClock().now());
        if (m_prepareAhead && m_ringing && loadDay(present.date()))
            prepareNext(present);
    });
}

void BellClock::armTimer(const QDateTime &now) {
    const int toNext = 1000 - now.time().msec();
    m_timer.start(toNext > TickLeadMs ? toNext - TickLeadMs : toNext + 1000 - TickLeadMs);
}

void BellClock::TimerTimer() {
    waitForTheSecond(programClock());
    const QDateTime now = programClock().now();
    armTimer(now);
    tick(now);
    // After the bells: a second's bell does not wait for the clock label.
    emit SaatChanged(TimeText(now.time()));
    emit ticked(wholeSecond(now));
}

void BellClock::tick(const QDateTime &now) {
    const QDateTime present = wholeSecond(now);
    if (!m_ringing) {
        // The plan still follows the day, for the windows that show it; another process rings,
        // records and reports.
        try {
            m_plan->update(present.date());
        } catch (const ZilError &) {
            // Shown as it was until a later second reads it.
        }
        return;
    }

    writeRecord();

    // The first tick is a program starting again, perhaps within a bell's second: like a stall,
    // it catches up the last minute, and what already rang that date is not rung again.
    const bool first = !m_lastHandled.isValid();
    const qint64 gap = first ? CatchUpSeconds : m_lastHandled.secsTo(present);
    // A step back (or a second tick in the same second) handles the present second again.
    QDateTime from = gap >= 1 ? present.addSecs(1 - gap) : present;
    const qint64 slept = programClock().sleptMsecs();
    if (gap > CatchUpSeconds) {
        from = present.addSecs(1 - CatchUpSeconds);
        // The wall clock moved on while the computer was suspended, or was set forward.
        const bool asleep = slept - m_slept >= 1000;
        recordSkipped(m_lastHandled, from,
                      asleep ? QStringLiteral("bilgisayar uykudaydı")
                             : QStringLiteral("saat ileri atladı"));
    }
    m_slept = slept;

    QList<Due> due;
    for (QDateTime second = from; second <= present; second = second.addSecs(1)) {
        if (!loadDay(second.date())) {
            // Tried again on the next tick, so a store that was only busy loses no bell.
            m_lastHandled = second.addSecs(-1);
            ringDue(due, now);
            flushReports();
            return;
        }
        // Only today's: the days the program did not run at all are not told about.
        if (first && second == from && from.date() == present.date())
            recordMissed(from);
        collectDue(second, due);
    }
    m_lastHandled = present;
    // Told before this tick's bells, so a bell of the first second is not reported twice.
    const bool dayBegins = m_dayAnnounced != present.date() && m_plan->date() == present.date();
    if (dayBegins)
        reportUnreadable(present.date());
    ringDue(due, now);
    if (m_prepareAhead)
        prepareNext(present);
    flushReports();
    if (dayBegins) {
        m_dayAnnounced = present.date();
        QList<Bell> bells;
        for (const PlannedSound &sound : m_plan->sounds())
            if (sound.quiet.isEmpty())
                bells.append(sound.bell);
        emit dayBegan(present.date(), bells);
    }
}

void BellClock::prepareNext(const QDateTime &present) {
    for (int ahead = 1; ahead <= PrepareAheadSeconds; ++ahead) {
        const QDateTime second = present.addSecs(ahead);
        if (second.date() != present.date()) {
            // Past midnight the plan reads the next day's first bell ahead, without making it
            // the day the clock rings: the first bell of a day is as ready as any other.
            const auto next = m_plan->nextAfter(present, PrepareAheadSeconds);
            if (next && next->second.bell.duration())
                prepareBell(next->first, next->second.bell);
            return;
        }
        QList<Due> due;
        collectDue(second, due);
        // As in ringDue: of the sounds due together, the one that will be opened.
        if (const qsizetype i = chosen(due); i >= 0) {
            prepareBell(second, due[i].bell);
            return;
        }
    }
}

void BellClock::prepareBell(const QDateTime &second, const Bell &bell) {
    const MusicFile file = MusicFile::of(bell.music);
    // Music refused or not there rings the program's own tone, so the tone is what must start
    // at once.
    const QString music =
        file.ok() && QFileInfo::exists(file.path) && !knownUnplayable(bell.music, file.path)
            ? file.path
            : FallbackTone::file(*bell.duration());
    if (music.isEmpty() || (second == m_preparedSecond && music == m_preparedMusic))
        return;
    m_preparedSecond = second;
    m_preparedMusic = music;
    m_player.prepare(music);
}

void BellClock::collectDue(const QDateTime &second, QList<Due> &due) {
    // Compared as times of day: how a time is shown has no say in which bell rings.
    const QTime time = second.time();
    for (const PlannedSound &sound : m_plan->sounds())
        if (sound.at == time && !m_rung.contains(sound.bell.id))
            due.append({second, sound.bell, sound.quiet, sound.quietAs, SoundRules::kindOf(sound)});
}

void BellClock::recordSkipped(const QDateTime &after, const QDateTime &before,
                              const QString &reason) {
    // Only today's part of a jump is recorded: days the computer slept through are not ours.
    if (!loadDay(before.date()))
        return;
    const QTime from = after.date() == before.date() ? after.time() : QTime();
    recordPassed(before, from, m_rung, BellOutcome::Skipped, reason);
}

void BellClock::recordMissed(const QDateTime &before) {
    QSet<int> recorded;
    try {
        recorded = m_store.recordedOn(before.date());
    } catch (const ZilError &) {
        return; // without the record nothing can be told apart; the bells still ring
    }
    for (const BellEvent &event : std::as_const(m_unwritten))
        if (event.date == before.date())
            recorded.insert(event.bellId);
    recordPassed(before, QTime(), recorded, BellOutcome::Missed,
                 QStringLiteral("program çalışmıyordu"));
}

void BellClock::recordPassed(const QDateTime &before, const QTime &after, const QSet<int> &leave,
                             BellOutcome outcome, const QString &reason) {
    for (const PlannedSound &sound : m_plan->sounds()) {
        const QTime start = sound.at;
        if (start.isValid() && start < before.time() && (!after.isValid() || start > after) &&
            !leave.contains(sound.bell.id))
            record({QDateTime(before.date(), start), sound.bell, {}},
                   sound.quiet.isEmpty() ? outcome : sound.quietAs, 0,
                   sound.quiet.isEmpty() ? reason : sound.quiet);
    }
}

qsizetype BellClock::chosen(const QList<Due> &due) {
    // Of the sounds due together only one is opened, since opening the others (a connection to
    // the sound server each) would only hold up the tick: the strongest that may start over
    // what sounds, the last of equals.
    const std::optional<SoundKind> now = sounding();
    qsizetype best = -1;
    for (qsizetype i = 0; i < due.size(); ++i)
        if (due[i].bell.duration() && due[i].silent.isEmpty() &&
            SoundRules::mayStart(due[i].kind, now) == SoundRules::Verdict::Cut &&
            (best < 0 || due[i].kind <= due[best].kind))
            best = i;
    return best;
}

std::optional<SoundKind> BellClock::sounding() {
    if (!m_heldFor.isEmpty())
        return SoundKind::Alarm;
    if (m_player.playing())
        return m_player.kind();
    return std::nullopt;
}

QString BellClock::givenWayTo() {
    return m_heldFor.isEmpty() ? QStringLiteral("\"%1\" çalarken").arg(m_soundingName) : m_heldFor;
}

void BellClock::ringDue(const QList<Due> &due, const QDateTime &now) {
    const qsizetype last = chosen(due);
    const QDateTime present = wholeSecond(now);
    for (qsizetype i = 0; i < due.size(); ++i) {
        Due d = due[i];
        // What sounds decides, not what was planned to: a siren that never started holds
        // nothing back, and an anthem played whole holds back whatever is due while it sounds.
        // A sound that has to wait for it is not heard either: it would cut into what follows.
        if (d.silent.isEmpty() &&
            SoundRules::mayStart(d.kind, sounding()) != SoundRules::Verdict::Cut) {
            d.silent = givenWayTo();
            d.silentAs = BellOutcome::Replaced;
        }
        // An announcement is one sound with its chime: it does not come without it.
        if (d.kind == SoundKind::Announcement && d.silent.isEmpty() &&
            m_chimeLeftOutAt == d.second) {
            d.silent = m_chimeLeftOutWhy;
            d.silentAs = BellOutcome::Replaced;
        }
        if (d.kind == SoundKind::Chime && d.silent.isEmpty())
            if (const std::optional<QString> broken = brokenAnnouncement(d)) {
                d.silent = QStringLiteral("anons çalınamaz: %1").arg(*broken);
                d.silentAs = BellOutcome::Failed;
            }
        if (d.kind == SoundKind::Chime && !d.silent.isEmpty() &&
            d.silentAs == BellOutcome::Replaced) {
            m_chimeLeftOutAt = d.second.addSecs(DayPlan::ChimeSeconds);
            m_chimeLeftOutWhy = d.silent;
        }
        m_rung.insert(d.bell.id);
        const std::optional<int> sure = d.bell.duration();
        if (!d.silent.isEmpty()) {
            record(d, d.silentAs, 0, d.silent);
        } else if (!sure) {
            const QString why = d.bell.durationProblem();
            if (!m_toldUnreadable.contains(d.bell.id))
                report(why + namedBell(d.bell));
            record(d, BellOutcome::Failed, 0, why);
        } else if (i == last) {
            ringOne(d, *sure, present);
        } else {
            const MusicFile music = MusicFile::of(d.bell.music);
            QString why = music.refusal;
            if (music.ok() && !QFileInfo(music.path).isReadable())
                why = QStringLiteral("dosya bulunamadı ya da okunamıyor");
            if (!why.isEmpty())
                reportBell(d.bell, why);
            record(d, BellOutcome::Replaced, 0, why);
        }
    }
}

void BellClock::ringOne(const Due &d, int sure, const QDateTime &present) {
    QElapsedTimer opening;
    opening.start();
    const std::optional<QString> failure = startBell(d.bell, sure, d.kind);
    // An output that did not answer is not kept waiting for a second time in this tick.
    const bool tone = failure && opening.elapsed() < 1000 && SoundRules::rule(d.kind).toneInPlace &&
                      startFallbackTone(sure, d.kind);
    if (!failure || tone)
        m_soundingName = d.bell.name;
    // When not even the program's own tone plays, the output is at fault rather than the
    // music: that is said once, until a bell plays again, while every bell is recorded.
    const bool outputDown = failure && !tone && SoundRules::rule(d.kind).toneInPlace;
    if (failure && !(outputDown && m_outputFailing))
        reportBell(d.bell, *failure);
    if (outputDown)
        m_outputFailing = true;
    const qint64 delay = d.second.msecsTo(programClock().now());
    if (failure && !tone) {
        record(d, BellOutcome::Failed, delay, *failure);
        return;
    }
    // Recorded once its sound is heard: a play the output accepted may go nowhere.
    Unheard started;
    started.due = d;
    started.outcome = d.second < present ? BellOutcome::RangLate : BellOutcome::Rang;
    if (failure)
        started.outcome = BellOutcome::Failed;
    started.delayMs = delay;
    started.reason = failure.value_or(m_player.playNote());
    started.fallbackTone = tone;
    awaitHeard(std::move(started));
}

std::optional<QString> BellClock::brokenAnnouncement(const Due &chime) const {
    const PlannedSound *announcement = m_plan->announcementAfter(chime.bell);
    return announcement ? wontPlay(announcement->bell) : std::nullopt;
}

std::optional<QString> BellClock::wontPlay(const Bell &bell) const {
    const MusicFile music = MusicFile::of(bell.music);
    if (!music.ok())
        return music.refusal;
    if (!QFileInfo(music.path).isReadable())
        return QStringLiteral("dosya bulunamadı ya da okunamıyor");
    return knownUnplayable(bell.music, music.path);
}

bool BellClock::loadDay(const QDate &date) {
    try {
        m_plan->update(date);
        const QString calendarProblem = m_plan->takeCalendarProblem();
        if (!calendarProblem.isEmpty())
            report(calendarProblem);
        // Read again whenever the plan was: our own record lines show there too.
        if (date != m_rungDate || m_plan->generation() != m_rungGeneration) {
            const QSet<int> rung = m_store.rungOn(date);
            // What rang is kept for the date even when its record could not be written.
            if (date == m_rungDate)
                m_rung.unite(rung);
            else
                m_rung = rung;
            m_rungDate = date;
            m_rungGeneration = m_plan->generation();
        }
    } catch (const ZilError &error) {
        // A store that stays unreachable is reported once, not every second.
        if (!m_storeFailing) {
            m_storeFailing = true;
            report(error.message());
        }
        // Another program holding the file locked, or a moment's failure, must not cost a bell:
        // the day already read rings on, and is read again once the store answers.
        return date == m_plan->date() && date == m_rungDate;
    }
    m_storeFailing = false;
    return true;
}

void BellClock::soundNow(const Bell &bell, const QString &quiet, SoundKind kind) {
    const QDateTime now = programClock().now();
    Due due{wholeSecond(now), bell, quiet, BellOutcome::Replaced, kind};
    ringDue({due}, now);
    writeRecord();
}

void BellClock::recordNow(const Bell &bell, BellOutcome outcome, const QString &reason) {
    record({wholeSecond(programClock().now()), bell, {}, outcome}, outcome, 0, reason);
}

std::optional<QString> BellClock::startBell(const Bell &bell, int sure, SoundKind kind) {
    const MusicFile music = MusicFile::of(bell.music);
    if (!music.ok())
        return music.refusal;
    // Opening a file already known to fail would only hold up the tone.
    if (const auto known = knownUnplayable(bell.music, music.path))
        return known;
    return play(music.path, sure, kind);
}

void BellClock::setUnplayable(const QDate &date, const QHash<QString, QString> &problems) {
    m_unplayableDate = date;
    m_unplayable.clear();
    for (auto it = problems.begin(); it != problems.end(); ++it) {
        const MusicFile music = MusicFile::of(it.key());
        const QFileInfo file(music.path);
        m_unplayable.insert(it.key(),
                            {it.value(), file.exists() ? file.lastModified() : QDateTime()});
    }
}

std::optional<QString> BellClock::knownUnplayable(const QString &music, const QString &path) const {
    if (m_unplayableDate != programClock().now().date())
        return std::nullopt;
    const auto found = m_unplayable.constFind(music);
    if (found == m_unplayable.constEnd())
        return std::nullopt;
    // Replaced or put there since the check: the school may have mended it.
    const QFileInfo file(path);
    if ((file.exists() ? file.lastModified() : QDateTime()) != found->modified)
        return std::nullopt;
    return found->reason;
}

bool BellClock::startFallbackTone(int sure, SoundKind kind) {
    const QString tone = FallbackTone::file(sure);
    // The bell's own failure is already reported; the tone's adds nothing for the user.
    return !tone.isEmpty() && !play(tone, sure, kind);
}

std::optional<QString> BellClock::play(const QString &file, int sure, SoundKind kind) {
    settleHeard(true);
    return m_player.play(file, sure, kind);
}

void BellClock::awaitHeard(Unheard unheard) {
    settleHeard(true);
    unheard.since.start();
    m_unheard = std::move(unheard);
    settleHeard();
}

void BellClock::settleHeard(bool now) {
    if (!m_unheard)
        return;
    QString why;
    const MediaHeard heard = m_player.heard(why);
    if (heard == MediaHeard::NotYet && !now && m_unheard->since.elapsed() < HeardWithinMs) {
        m_heardTimer.start();
        return;
    }
    m_heardTimer.stop();
    const Unheard bell = *std::exchange(m_unheard, std::nullopt);
    if (heard == MediaHeard::Yes) {
        m_outputFailing = false;
        record(bell.due, bell.outcome, bell.delayMs, bell.reason, bell.fallbackTone);
        return;
    }
    // Stopped or replaced sooner than any output could have told: no fault of the output, and
    // no proof of a bell either.
    if (heard == MediaHeard::NotYet && bell.since.elapsed() < HeardWithinMs / 3) {
        record(bell.due, BellOutcome::Failed, bell.delayMs,
               bell.fallbackTone ? bell.reason
                                 : QStringLiteral("duyulduğu anlaşılmadan durduruldu"));
        return;
    }
    if (heard == MediaHeard::NotYet)
        why = QStringLiteral("ses çıkışı yanıt vermiyor");
    // Said once per outage, as for an output that could not be opened at all.
    if (!m_outputFailing)
        reportBell(bell.due.bell, why);
    m_outputFailing = true;
    // The pipeline may hold the lost output; closed, it lets the next bell reach a fresh one.
    m_player.stop();
    record(bell.due, BellOutcome::Failed, bell.delayMs, bell.fallbackTone ? bell.reason : why);
}

void BellClock::record(const Due &due, BellOutcome outcome, qint64 delayMs, const QString &reason,
                       bool fallbackTone) {
    m_unwritten.append({due.second.date(), due.bell.id, due.bell.name,
                        StoredTimeForm(due.second.time()), due.bell.music, outcome,
                        int(std::clamp<qint64>(delayMs, 0, std::numeric_limits<int>::max())),
                        reason, fallbackTone, programClock().now()});
    if (m_unwritten.size() > UnwrittenLimit) {
        m_unwritten.removeFirst();
        ++m_dropped;
    }
    writeRecord();
}

void BellClock::writeRecord() {
    while (!m_unwritten.isEmpty()) {
        try {
            // Our own line is taken into the plan as it is written, so that it does not make
            // the plan read the day again at the next tick, which may be a bell's.
            const bool current = m_plan->current();
            m_store.record(m_unwritten.first());
            m_plan->recorded(m_unwritten.first(), current);
        } catch (const ZilError &error) {
            // The lines wait here and are written, once each, when the store takes them again;
            // the user hears of it once per outage.
            if (!m_recordFailing) {
                m_recordFailing = true;
                report(QStringLiteral("Zil geçmişi yazılamadı, satırlar bekletiliyor: %1")
                           .arg(error.message()));
            }
            return;
        }
        m_unwritten.removeFirst();
        m_recordFailing = false;
    }
    if (m_dropped) {
        report(QStringLiteral("Zil geçmişi uzun süre yazılamadığı için %1 satırı kayboldu.")
                   .arg(m_dropped));
        m_dropped = 0;
    }
}

QString BellClock::namedBell(const Bell &bell) {
    const QTime start = bell.startTime();
    const QString day = GunAdlari().value(bell.gunId);
    const QString when =
        start.isValid() ? day + QLatin1Char(' ') + start.toString(QStringLiteral("HH:mm")) : day;
    return QStringLiteral(" (Zil: %1, %2)").arg(bell.name.left(BellEvent::NameLength), when);
}

void BellClock::reportUnreadable(const QDate &date) {
    if (date != m_toldDate) {
        m_toldDate = date;
        m_toldUnreadable.clear();
    }
    QStringList lines;
    for (const PlannedSound &sound : m_plan->sounds()) {
        const Bell &bell = sound.bell;
        for (const QString &problem : {bell.startProblem(), bell.durationProblem()})
            if (!problem.isEmpty())
                lines.append(problem + namedBell(bell));
        if (!sound.at.isValid() || !bell.duration())
            m_toldUnreadable.insert(bell.id);
    }
    // One message for all of them: such rows never ring, and nothing else would tell.
    if (!lines.isEmpty())
        report(QStringLiteral("Bugünün şu zil kayıtları okunamadığı için çalmayacak:\n") +
               lines.join(QLatin1Char('\n')));
}

void BellClock::report(const QString &message) {
    if (!m_pendingReports.contains(message))
        m_pendingReports.append(message);
}

void BellClock::reportBell(const Bell &bell, const QString &why) {
    // The bell and its time are named too: the same file may serve many bells.
    report(QStringLiteral("Zil müziği \"%1\" çalınamadı: %2")
               .arg(bell.music.left(BellEvent::MusicLength), why) +
           namedBell(bell));
}

void BellClock::flushReports() {
    // After the tick: every bell of it has started (or failed) before anyone is told.
    const QStringList reports = std::exchange(m_pendingReports, {});
    if (ReportError)
        for (const QString &message : reports)
            ReportError(message);
}
