#pragma once

#include "BellStore.h"
#include "Calendar.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTime>

#include <optional>
#include <utility>

// One thing that sounds, or would sound, at a moment of a date.
struct PlannedSound {
    // Where it comes from. How it meets other sounds, how loud it plays and where is playback's
    // SoundRules, which reads this.
    enum class Kind {
        Bell,     // a weekday's bell of the programme the date rings
        OneOff,   // a bell of this date only: the school's "Tek seferlik", or the calendar's own
        Ceremony, // the anthem: the flag ceremony's, around weekends, holidays and breaks, and 10
                  // Kasım's after the saygı duruşu
        Announcement, // a recorded or spoken announcement, or the chime just before it
    };
    Kind kind = Kind::Bell;
    QTime at;      // invalid when the row's start cannot be read: it never sounds
    Bell bell;     // where it comes from: the bell row and the weekday or date it belongs to
    QString quiet; // why the calendar keeps it quiet; empty when it sounds
    // How a quiet sound is written in the record.
    BellOutcome quietAs = BellOutcome::Silenced;

    bool sounds() const { return at.isValid() && quiet.isEmpty(); }
};

// The day plan: what sounds on a date and what the school calendar says of each sound. The one
// answer to "what sounds today, and next" for the clock that rings, the main window, the tray
// and the service. It is read again only when the date, the schedule or the calendar changed
// (the calendar lives in the schedule's file), and says so with changed().
class DayPlan : public QObject {
    Q_OBJECT
public:
    // `store` and `calendar` must outlive the plan; without a calendar every date rings its own
    // weekday's bells.
    explicit DayPlan(BellStore &store, Calendar *calendar = nullptr, QObject *parent = nullptr);

    // The music of 10 Kasım's saygı duruşu (the program's steady siren); without one the
    // calendar's own moments are not sounded.
    void setSirenMusic(const QString &music) { m_sirenMusic = music; }
    // How long the saygı duruşu's siren sounds, in seconds.
    static constexpr int SaygiDurusuSeconds = 120;
    // The chime that goes before every announcement (the program's own); without one an
    // announcement starts unannounced.
    void setChimeMusic(const QString &music) { m_chimeMusic = music; }
    // How long before its announcement the chime starts, in seconds.
    static constexpr int ChimeSeconds = 2;

    // Brings the plan to `date`; true when it was read again. A schedule that cannot be read
    // throws its error and leaves the plan as it was, whatever date that was for.
    bool update(const QDate &date);

    // The date the plan holds; invalid before the first update that worked.
    QDate date() const { return m_date; }
    // What the calendar said of that date.
    const CalendarDay &day() const { return m_day; }
    // The programme whose bells ring that date: the calendar's, or Normal's when that one was
    // deleted.
    int programme() const { return m_programme; }
    // The date's sounds in time order; rows whose start cannot be read come first, in stored
    // order, as do sounds of the same second.
    const QList<PlannedSound> &sounds() const { return m_sounds; }
    // The announcement the chime `chime` goes before; nullptr when it is none of the plan's.
    const PlannedSound *announcementAfter(const Bell &chime) const;
    // The first sound after `time` that will sound; nullptr when none is left that day.
    const PlannedSound *next(const QTime &time) const;
    // The line that tells the next sound after `time`: "Sıradaki zil: 08:30:00 1. Ders", or
    // that none is left that day.
    QString nextLine(const QTime &time) const;
    // The first sound after `moment` that will sound, looking past midnight into the next day
    // when the plan's date has none left; that next day is read without becoming the plan.
    // Nothing when none is within `withinSecs`, or the next day cannot be read.
    std::optional<std::pair<QDateTime, PlannedSound>> nextAfter(const QDateTime &moment,
                                                                int withinSecs);
    // Whether the record of the plan's date holds a bell that could not play or was missed.
    bool troubled() const { return m_troubled; }
    // Counts the reads, so a reader can tell whether what it took from the plan is still it.
    quint64 generation() const { return m_generation; }

    // Whether nothing has changed the schedule since the plan was read.
    bool current() { return m_store.changes() == m_seen; }
    // A line the clock has just written to the record. While the plan was current before it,
    // it is taken in without reading the day again: the line changes nothing else the plan holds.
    void recorded(const BellEvent &event, bool wasCurrent);

    // The calendar's failure to answer, once per outage, for whoever tells the user; empty
    // when there is nothing new to tell.
    QString takeCalendarProblem() { return std::exchange(m_calendarProblem, {}); }

signals:
    // The plan was read again: its date, its sounds, the calendar's verdicts or the record's
    // trouble may differ.
    void changed();

private:
    // Everything `date` has, ringing `programme`'s bells, in time order: its bells, ceremonies
    // and moments of its own, each with the calendar's verdict. Throws what the schedule throws.
    QList<PlannedSound> soundsOf(const QDate &date, const CalendarDay &day, int programme);
    // The flag ceremonies `date` has by the programme's rule, around its first and last lesson.
    void addCeremonies(const QDate &date, const CalendarDay &day, int programme,
                       QList<PlannedSound> &sounds);
    // Whether lessons ring on `date`: it is no holiday or break and its weekday has bells that
    // ring; a half day counts only when `halfDayCounts`.
    bool schoolDay(const QDate &date, bool halfDayCounts);
    // The programme whose bells the day rings.
    int ringingProgramme(const CalendarDay &day);

    // The announcements `date` has, each after its chime.
    void addAnnouncements(const QDate &date, const CalendarDay &day, int programme,
                          QList<PlannedSound> &sounds);
    // The moments of `date` besides its weekday's bells: the school's one-off bells and the
    // calendar's own.
    void addOneOffs(const QDate &date, const CalendarDay &day, QList<PlannedSound> &sounds);

    BellStore &m_store;
    Calendar *m_calendar;
    QString m_sirenMusic;
    QString m_chimeMusic;
    QDate m_date;
    CalendarDay m_day;
    int m_programme = Programme::Normal;
    QList<PlannedSound> m_sounds;
    bool m_troubled = false;
    quint64 m_generation = 0;
    BellStore::ChangeStamp m_seen;
    // The calendar could not answer: the date is read again at the next update.
    bool m_calendarFailing = false;
    bool m_calendarTold = false;
    QString m_calendarProblem;
    // The next date, read ahead for a sound just after midnight.
    QDate m_aheadDate;
    BellStore::ChangeStamp m_aheadSeen;
    QList<PlannedSound> m_ahead;
};
