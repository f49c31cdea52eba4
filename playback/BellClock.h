#pragma once

#include "BellStore.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

class MediaPlayerDevice;

// The bell: on every wall-clock second it starts the music of the bells due in that second and
// stops the music that has played its duration. Every second is handled exactly once, whatever
// the timer's drift: a tick that comes late handles the seconds it missed (up to a minute), a
// clock set back does not handle a second again, and a longer jump forward skips its bells.
class BellClock : public QObject {
    Q_OBJECT
public:
    // The longest stall after which the missed seconds' bells still ring, late.
    static constexpr int CatchUpSeconds = 60;

    // Rings the bells of `store` through `player`; both must outlive the clock. `reportError`
    // is how failures reach the user.
    BellClock(BellStore &store, MediaPlayerDevice &player,
              std::function<void(const QString &message)> reportError = {},
              QObject *parent = nullptr);

    // Arms the timer for the first tick just after the next second begins.
    void Start();

    // One tick: show the time, stop what has played long enough, start what is due.
    void TimerTimer();

    // How failures reach the user; without one they are dropped.
    std::function<void(const QString &message)> ReportError;

    // The store's failure was already shown to the user; the next report waits until the store
    // has worked again.
    void StoreFailureReported() { m_storeFailing = true; }

    QTimer &Timer() { return m_timer; }
    // The last second handled; invalid before the first tick.
    QDateTime LastHandledSecond() const { return m_lastHandled; }

signals:
    // The clock label's new caption.
    void SaatChanged(const QString &caption);

private:
    // A bell of the day with its start as the clock compares it, rendered once per read.
    struct DayBell {
        QString startText;
        Bell bell;
    };

    void armTimer(const QDateTime &now);
    void stopCheck();
    QList<QDateTime> secondsToHandle(const QDateTime &second);
    // Makes m_bells the bells of that day, read again only when the day or the store changed.
    bool loadDay(int gunId);
    void ringDue(const QList<Bell> &due);
    static QString musicPath(const Bell &bell);
    void startBell(const Bell &bell, int sure);
    void report(const QString &message);
    void reportBell(const Bell &bell, const QString &why);

    BellStore &m_store;
    MediaPlayerDevice &m_player;
    QTimer m_timer;
    QDateTime m_lastHandled;
    bool m_storeFailing = false;
    QList<DayBell> m_bells;
    int m_bellsDay = -1; // -1: m_bells must be read again
    BellStore::ChangeStamp m_seen;
};
