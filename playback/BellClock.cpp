#include "BellClock.h"

#include "Clock.h"
#include "MediaPlayerDevice.h"
#include "ProgramValues.h"
#include "Schedule.h"

#include <QFileInfo>

namespace {
QDateTime wholeSecond(const QDateTime &t) {
    QDateTime s = t;
    s.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return s;
}

// Ticks land this long after a second begins, so a timer firing a little early still falls
// inside the second it was meant for.
constexpr int TickLagMs = 5;
} // namespace

BellClock::BellClock(BellStore &store, MediaPlayerDevice &player,
                     std::function<void(const QString &message)> reportError, QObject *parent)
    : QObject(parent)
    , ReportError(std::move(reportError))
    , m_store(store)
    , m_player(player) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &BellClock::TimerTimer);
}

void BellClock::Start() {
    armTimer(programClock().now());
}

void BellClock::armTimer(const QDateTime &now) {
    m_timer.start(1000 - now.time().msec() + TickLagMs);
}

void BellClock::TimerTimer() {
    const QDateTime now = programClock().now();
    // Re-armed first: an error box opened below runs its own event loop, and ticks must go on.
    armTimer(now);
    emit SaatChanged(TimeText(now.time()));

    stopCheck();

    const QList<QDateTime> seconds = secondsToHandle(wholeSecond(now));
    QList<Bell> due;
    for (const QDateTime &second : seconds) {
        if (!loadDay(GunIDOf(second.date()))) {
            // Tried again on the next tick, so a store that was only busy loses no bell.
            m_lastHandled = second.addSecs(-1);
            break;
        }
        const QString dueText = TimeText(second.time());
        for (const DayBell &dayBell : std::as_const(m_bells))
            if (dayBell.startText == dueText)
                due.append(dayBell.bell);
    }
    ringDue(due);
}

void BellClock::ringDue(const QList<Bell> &due) {
    // Bells due in one tick replace each other at once: only the last one that can start is
    // opened, since opening the others (a connection to the sound server each) would only
    // hold up the tick. Their music is still checked, so a missing file is reported.
    qsizetype last = -1;
    for (qsizetype i = 0; i < due.size(); ++i)
        if (due[i].duration())
            last = i;
    for (qsizetype i = 0; i < due.size(); ++i) {
        const std::optional<int> sure = due[i].duration();
        if (!sure)
            report(QStringLiteral("'%1' is not a valid integer value").arg(due[i].sure.toString()));
        else if (i == last)
            startBell(due[i], *sure);
        else if (!QFileInfo(musicPath(due[i])).isReadable())
            reportBell(due[i], QStringLiteral("dosya bulunamadı ya da okunamıyor"));
    }
}

QString BellClock::musicPath(const Bell &bell) {
    return musicFolder() + bell.music;
}

QList<QDateTime> BellClock::secondsToHandle(const QDateTime &second) {
    QList<QDateTime> seconds;
    const qint64 gap = m_lastHandled.isValid() ? m_lastHandled.secsTo(second) : 1;
    if (!m_lastHandled.isValid() || gap > CatchUpSeconds || gap < -CatchUpSeconds) {
        // First tick, or a jump (suspend, clock set): only the present second counts.
        seconds.append(second);
    } else {
        // A small step back leaves nothing to do until the clock passes what was handled.
        for (qint64 i = gap - 1; i >= 0; --i)
            seconds.append(second.addSecs(-i));
    }
    if (!seconds.isEmpty())
        m_lastHandled = second;
    return seconds;
}

void BellClock::stopCheck() {
    // The duration is measured by the music's own position, so paused music is not stopped.
    if (CalmaSuresi == 0 || !m_player.IsOpen())
        return;
    if (m_player.Position() / 1000 < CalmaSuresi)
        return;
    try {
        m_player.Stop();
        m_player.Close();
    } catch (const ZilError &) {
        // Nothing more to stop.
    }
}

bool BellClock::loadDay(int gunId) {
    try {
        // Edits, deletes, another program's writes and a restored file all show here, so they
        // still take effect at the next tick.
        const BellStore::ChangeStamp now = m_store.changes();
        if (!(now == m_seen)) {
            m_seen = now;
            m_bellsDay = -1;
        }
        if (gunId != m_bellsDay) {
            m_bellsDay = -1;
            m_bells.clear();
            const QList<Bell> bells = m_store.dayBells(gunId);
            for (const Bell &bell : bells)
                m_bells.append({StartTimeText(bell.start), bell});
            m_bellsDay = gunId;
        }
    } catch (const ZilError &error) {
        m_bellsDay = -1;
        // A store that stays unreachable is reported once, not every second.
        if (!m_storeFailing) {
            m_storeFailing = true;
            report(error.message());
        }
        return false;
    }
    m_storeFailing = false;
    return true;
}

void BellClock::startBell(const Bell &bell, int sure) {
    CalmaSuresi = sure;
    m_player.setFileName(musicPath(bell));
    try {
        m_player.Open();
        m_player.Play();
    } catch (const ZilError &error) {
        reportBell(bell, error.message());
    }
}

void BellClock::report(const QString &message) {
    if (ReportError)
        ReportError(message);
}

void BellClock::reportBell(const Bell &bell, const QString &why) {
    report(QStringLiteral("Zil müziği \"%1\" çalınamadı: %2").arg(bell.music, why));
}
