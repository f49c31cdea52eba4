#pragma once

#include "BellPlayer.h"
#include "BellStore.h"
#include "DayPlan.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <optional>

class BellPlayer;

// The bell: on every wall-clock second it starts the music of the bells due in that second, each
// for its duration, through a BellPlayer. A bell rings at most once on a date, whatever
// the clock or the timer does, and every bell that falls due leaves a line in the bell record:
// - a tick that comes late handles the seconds it missed; after a longer stall or a jump forward
//   the bells of the last minute still ring, late, and the ones before are recorded as skipped;
// - a clock set back rings the bells of the re-lived span that have not rung yet that date;
// - a sound due while another sounds starts or gives way as SoundRules says, by what really
//   sounds at that second; of sounds due in one tick the strongest plays (the last of equals)
//   and the others are recorded as replaced;
// - the first tick is a start after a stop: it rings the last minute's bells that have not rung,
//   and records today's earlier bells without a line in the record as missed.
// - a store another program holds locked costs no bell: the day already read rings on, and the
//   record lines wait in memory until the store takes them;
// - the tick never waits for the wall clock, so a clock set back holds nothing up.
// Errors are gathered during a tick and reported after it, so none holds a bell back.
class BellClock : public QObject {
    Q_OBJECT
public:
    // How far back a stall's bells still ring, late.
    static constexpr int CatchUpSeconds = 60;
    // How far ahead a bell's music is prepared, so that at its second it only has to start.
    // Long enough for a slow disk or sound server to preroll, short enough that an edit to the
    // bell rarely finds its music already prepared.
    static constexpr int PrepareAheadSeconds = 3;
    // How long a started bell's sound may take to reach the output before the bell counts as
    // not heard. Its record line waits that long at most; the tick never does.
    static constexpr int HeardWithinMs = 1500;

    // Rings the bells of `store` through `player`, which stops each at its duration; both must
    // outlive the clock. `reportError` is how failures reach the user.
    BellClock(BellStore &store, BellPlayer &player,
              std::function<void(const QString &message)> reportError = {},
              QObject *parent = nullptr);
    // A bell still waiting to be heard is recorded with what is known.
    ~BellClock() override;

    // Arms the timer for the first tick just after the next second begins; with preparing ahead
    // on, a bell due within PrepareAheadSeconds is prepared as soon as the event loop runs.
    void Start();

    // One tick: show the time, start what is due.
    void TimerTimer();

    // How failures reach the user; without one they are dropped.
    std::function<void(const QString &message)> ReportError;

    // The store's failure was already shown to the user; the next report waits until the store
    // has worked again.
    void StoreFailureReported() { m_storeFailing = true; }

    QTimer &Timer() { return m_timer; }
    // What the start-of-day check found cannot be played on `date` (music name -> reason): such
    // a bell goes straight to the program's own tone, which is then the one prepared, unless
    // its file has changed since.
    void setUnplayable(const QDate &date, const QHash<QString, QString> &problems);
    // Whether the next bell's music is prepared a few seconds ahead (off by default; the
    // program turns it on).
    void setPrepareAhead(bool on) { m_prepareAhead = on; }
    // The last second handled; invalid before the first tick.
    QDateTime LastHandledSecond() const { return m_lastHandled; }

    // The plan the clock rings from; it must outlive the clock. Without one the clock keeps a
    // plan of its own, with no calendar: every date rings its own weekday's bells.
    void setPlan(DayPlan &plan) { m_plan = &plan; }
    DayPlan &plan() { return *m_plan; }
    // Off while another process (the background service) rings this folder's bells: the clock
    // then only shows the time, and rings, records and checks nothing. On by default. Turned on
    // again, the next tick is a start: the bells the other process did not ring are caught up.
    void setRinging(bool on) {
        if (on && !m_ringing)
            m_lastHandled = {};
        m_ringing = on;
    }
    bool ringing() const { return m_ringing; }
    // Sounds `bell` at once, outside the plan (an announcement made now), and records it as a
    // bell of this second; with `quiet`, only records it as given way to what sounds.
    void soundNow(const Bell &bell, const QString &quiet = {}, SoundKind kind = SoundKind::Bell);
    // Records `bell` as a line of this second that sounded nothing of the clock's: music
    // between the bells that could not play, say.
    void recordNow(const Bell &bell, BellOutcome outcome, const QString &reason);
    // While `why` is not empty the alarm holds the loudspeakers, also between two plays of its
    // sound: what falls due meanwhile meets it as SoundRules says, and is recorded for `why`.
    void holdFor(const QString &why) { m_heldFor = why; }
    QString heldFor() const { return m_heldFor; }
    // The kind of what the clock's player sounds now (the alarm while it holds); nothing when
    // it is silent.
    std::optional<SoundKind> sounding();
    // The name of what sounds, as the record and the user are told it.
    QString soundingName() const {
        return m_heldFor.isEmpty() ? m_soundingName : SoundRules::title(SoundKind::Alarm);
    }
    // Why `bell`'s music will not play, when that is known before trying: a name Muzikler
    // refuses, a file that is not there, or what the start-of-day check found.
    std::optional<QString> wontPlay(const Bell &bell) const;

signals:
    // The clock label's new caption.
    void SaatChanged(const QString &caption);
    // The bells of a day that has just begun for the clock: at its first tick, and at midnight.
    void dayBegan(const QDate &date, const QList<Bell> &bells);
    // A tick has rung what was due at `present`; what sounds between the bells follows it.
    void ticked(const QDateTime &present);

private:
    struct Due {
        QDateTime second;
        Bell bell;
        QString silent;
        BellOutcome silentAs = BellOutcome::Silenced;
        SoundKind kind = SoundKind::Bell; // how it meets other sounds, how loud, where
    };
    // A bell whose music (or tone) started but is not yet known to be heard.
    struct Unheard {
        Due due;
        BellOutcome outcome;
        qint64 delayMs = 0;
        QString reason;
        bool fallbackTone = false;
        QElapsedTimer since;
    };

    void armTimer(const QDateTime &now);
    // What a tick does after the wait: rings, records and reports what fell due by `now`.
    void tick(const QDateTime &now);
    // Brings the plan to that date and m_rung to what already rang on it; false when neither
    // the plan nor what rang can be had for that date.
    bool loadDay(const QDate &date);
    void collectDue(const QDateTime &second, QList<Due> &due);
    void recordSkipped(const QDateTime &after, const QDateTime &before, const QString &reason);
    // Today's bells before `before` that have no line in the record: the program was not running.
    void recordMissed(const QDateTime &before);
    // Records today's bells before `before` (and after `after` when valid) not in `leave`.
    void recordPassed(const QDateTime &before, const QTime &after, const QSet<int> &leave,
                      BellOutcome outcome, const QString &reason);
    void ringDue(const QList<Due> &due, const QDateTime &now);
    // Of sounds due together, the one that is opened; -1: none may start.
    qsizetype chosen(const QList<Due> &due);
    // Starts `due` and records it, or records why it could not start.
    void ringOne(const Due &due, int sure, const QDateTime &present);
    // What a sound that gives way to what sounds is recorded for.
    QString givenWayTo();
    // Why the announcement `chime` goes before cannot play, when that is already known.
    std::optional<QString> brokenAnnouncement(const Due &chime) const;
    // Has the sound of the next bell of the day prepared, once, if it is due soon: its music,
    // or the program's own tone when the music cannot play.
    void prepareNext(const QDateTime &present);
    // Has what `bell` will sound at `second` prepared: its music, or the tone in its place.
    void prepareBell(const QDateTime &second, const Bell &bell);
    // Opens and plays the bell; the reason when it could not.
    std::optional<QString> startBell(const Bell &bell, int sure, SoundKind kind);
    // Why the music at `path` (named `music` in the schedule) will not play, when the
    // start-of-day check found so and the file has not changed since.
    std::optional<QString> knownUnplayable(const QString &music, const QString &path) const;
    // Rings the program's own tone in place of music that could not be played.
    bool startFallbackTone(int sure, SoundKind kind);
    // Plays `file` for `sure` seconds; the reason when it could not.
    std::optional<QString> play(const QString &file, int sure, SoundKind kind);
    void awaitHeard(Unheard unheard);
    // Records the waiting bell once it is known whether it was heard; `now` settles it with what
    // is known, before its music is stopped or replaced.
    void settleHeard(bool now = false);
    void record(const Due &due, BellOutcome outcome, qint64 delayMs, const QString &reason = {},
                bool fallbackTone = false);
    // Writes the record lines waiting in m_unwritten, oldest first, until the store refuses one.
    void writeRecord();
    void report(const QString &message);
    void reportBell(const Bell &bell, const QString &why);
    // " (Zil: name, day HH:mm)", so a message about a row says which one it is.
    static QString namedBell(const Bell &bell);
    // Today's rows whose start or duration cannot be read, told once in one message.
    void reportUnreadable(const QDate &date);
    void flushReports();

    BellStore &m_store;
    BellPlayer &m_player;
    QTimer m_timer;
    QTimer m_heardTimer;
    std::optional<Unheard> m_unheard;
    QDateTime m_lastHandled;
    bool m_storeFailing = false;
    bool m_recordFailing = false;
    bool m_outputFailing = false;
    bool m_prepareAhead = false;
    bool m_ringing = true;
    QString m_heldFor;
    QString m_soundingName; // of the last sound the clock started
    // The second of the announcement whose chime gave way, and why: it gives way too.
    QDateTime m_chimeLeftOutAt;
    QString m_chimeLeftOutWhy;
    QSet<int> m_rung; // bells of m_rungDate that had their chance
    QDate m_rungDate;
    quint64 m_rungGeneration = 0; // the plan's generation m_rung was last read for
    QDate m_dayAnnounced;
    QStringList m_pendingReports;
    // Record lines the store has not taken yet (another program holds it locked), in order.
    QList<BellEvent> m_unwritten;
    int m_dropped = 0;          // lines let go because too many waited
    qint64 m_slept = 0;         // the clock's sleptMsecs() at the last tick
    QSet<int> m_toldUnreadable; // bells of m_toldDate already reported as unreadable
    QDate m_toldDate;
    QDateTime m_preparedSecond; // the bell last prepared: its second and its sound
    QString m_preparedMusic;
    struct Unplayable {
        QString reason;
        QDateTime modified; // the file's, when the check found it; invalid: it was missing
    };
    QHash<QString, Unplayable> m_unplayable;
    QDate m_unplayableDate;
    DayPlan m_ownPlan;
    DayPlan *m_plan = &m_ownPlan;
};
