#pragma once

#include "DayPlan.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>
#include <optional>
#include <utility>

class BellClock;
class BellPlayer;
class Calendar;

// Break music ("Teneffüs müziği"): a folder of music played between the lessons, at its own
// volume, on the days the school chose. It follows the clock's ticks and the day plan: it starts
// in a break when nothing else sounds, gives way at once to anything the bell player starts, and
// fades out ahead of the next planned sound so that the last second before it is silent. A file
// that cannot play is skipped and recorded once a day.
class BreakMusic : public QObject {
    Q_OBJECT
public:
    struct Settings {
        bool on = false;
        // A folder inside Muzikler, by its name there.
        QString folder = QStringLiteral("Teneffüs");
        bool shuffle = true;
        // The weekdays it plays on (GunID: 0 Monday .. 6 Sunday).
        QList<int> days = {0, 1, 2, 3, 4};
        // Set times; none: each break runs from an exit bell to the next bell.
        QList<std::pair<QTime, QTime>> spans;
        // The date the tray switched it off for; setOffToday() changes it.
        QDate offOn;
    };

    // How long the music takes to fall silent before the next sound...
    static constexpr int FadeMs = 2000;
    // ...and how long before it the music is already silent.
    static constexpr int SilentBeforeMs = 1000;
    // A break with less time than this left does not start a song: a few seconds of music cut
    // short are worse than none.
    static constexpr int ShortestPlayMs = 8000;

    // `clock` says the time and records, `music` plays the songs, and whatever `bells` plays
    // (bells, announcements, an alarm) silences them; `settings` keeps the school's choices.
    // All must outlive the break music.
    BreakMusic(BellClock &clock, BellPlayer &music, BellPlayer &bells, Calendar &settings,
               std::function<void(const QString &)> report = {}, QObject *parent = nullptr);

    Settings settings() const;
    // Stores the choices; refused with ERefused (a Turkish reason) and nothing written when a
    // set time ends before it begins or the folder leaves Muzikler.
    void setSettings(const Settings &settings);
    // The tray's switch: off for the rest of today only.
    bool offToday() const;
    void setOffToday(bool off);
    // Whether music plays (or is fading) now.
    bool playing() const { return m_state != State::Idle; }

    // The end of the stretch of music that `at` falls in: the next planned sound, or the end of
    // a set break, whichever comes first; nothing when `at` is in no break of `sounds`.
    static std::optional<QTime> musicUntil(const QList<PlannedSound> &sounds, const QTime &at,
                                           const QList<std::pair<QTime, QTime>> &spans);
    // Set times as the school writes them: "10:10-10:20, 12:00-12:40"; nothing when one cannot
    // be read.
    static std::optional<QList<std::pair<QTime, QTime>>> readSpans(const QString &text);
    static QString spansText(const QList<std::pair<QTime, QTime>> &spans);

signals:
    // The settings or today's switch changed.
    void changed();

private:
    enum class State { Idle, Playing, Fading };

    void tick(const QDateTime &present);
    // Starts the next song that plays; false when none of the folder's would.
    bool startNext();
    void refill();

    BellClock &m_clock;
    BellPlayer &m_music;
    BellPlayer &m_bells;
    Calendar &m_settings;
    std::function<void(const QString &)> m_report;
    State m_state = State::Idle;
    // The songs in the order they play, and the next one's place.
    QStringList m_queue;
    int m_next = 0;
    // What could not play today, recorded once each; and whether an empty folder was told.
    QSet<QString> m_failed;
    QDate m_failedDate;
    bool m_toldEmpty = false;
    // The settings as last read, and the plan's read they belong to.
    mutable Settings m_cached;
    mutable quint64 m_cachedFor = ~quint64(0);
};
