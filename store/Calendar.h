#pragma once

#include "BellStore.h"
#include "ScheduleQuery.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>
#include <utility>

// What a date is for the bells: which weekday's bells it rings, and from when on none ring.
struct CalendarDay {
    enum class Kind { Ordinary, Holiday, HalfDay, MakeUp, OutsideYear, Silenced };
    Kind kind = Kind::Ordinary;
    QString name;  // the holiday's name, for a holiday or a half day
    int gunId = 0; // the weekday whose bells ring: the date's own, or a make-up day's choice
    bool makeUp = false;
    int programme = 0;     // whose bells ring: Normal's, or a special programme's
    QString programmeName; // the special programme's name
    QTime silentFrom;      // bells at or after it do not ring; invalid: all ring; 00:00: none
    QString reason;        // written in the bell record for a bell that does not ring

    bool rings(const QTime &start) const { return !silentFrom.isValid() || start < silentFrom; }
    // The main window's line about the day; empty on an ordinary day.
    QString line() const;
};

// A day or days the school keeps itself: a holiday (whole days), a half day (from a time on), a
// make-up day (a date that rings a chosen weekday's bells) or a special programme (dates that
// ring another programme's bells in place of Normal's).
struct CalendarEntry {
    enum class Type { Holiday, HalfDay, MakeUp, Programme };
    int id = 0; // not used when adding
    Type type = Type::Holiday;
    QString name;
    QDate from;
    QDate to;      // the same as `from` for a half day and a make-up day
    QTime time;    // a half day's time
    int gunId = 0; // a make-up day's weekday; a special programme's id

    static CalendarEntry holiday(const QString &name, const QDate &from, const QDate &to) {
        return {0, Type::Holiday, name, from, to, {}, 0};
    }
    static CalendarEntry halfDay(const QString &name, const QDate &date, const QTime &from) {
        return {0, Type::HalfDay, name, date, date, from, 0};
    }
    static CalendarEntry makeUp(const QDate &date, int gunId) {
        return {0, Type::MakeUp, {}, date, date, {}, gunId};
    }
    static CalendarEntry special(const QString &programmeName, int programme, const QDate &from,
                                 const QDate &to) {
        return {0, Type::Programme, programmeName, from, to, {}, programme};
    }
};

// A holiday the calendar knows by itself, as it falls in one year.
struct KnownHoliday {
    QString key; // what switches it off, the same every year
    QString name;
    QDate from;
    QDate to;
    QDate eve; // its half day before, from 13:00; invalid when it has none
    bool religious = false;
    bool confirmed = false; // a religious date the user confirmed or corrected
    int hijriYear = 0;      // a religious holiday's year in the Islamic calendar
    bool enabled = true;
};

// The school calendar, kept in database.mdb beside Dersler: the school year, the school's own
// entries, the official holidays (each of which can be switched off), the religious holidays the
// Islamic calendar proposes and the user confirms, and the "Bugün zil çalmasın" switch. It needs
// no window: the bell clock asks it what a date is. Its tables are added, in one transaction, by
// the first write, so merely reading never changes a file; Dersler is never touched. Failures
// are EStoreError.
class Calendar {
public:
    // Reads and writes the file `store` uses, through a connection of its own.
    explicit Calendar(BellStore &store);

    // What `date` is.
    CalendarDay day(const QDate &date);
    // What each date of the Gregorian year is, from 1 January on, read in one go.
    QList<CalendarDay> daysOf(int year);

    // The first and last day of lessons; without one the bells ring all year.
    struct SchoolYear {
        QDate first;
        QDate last;
    };
    std::optional<SchoolYear> schoolYear();
    // Nothing clears it. Refused with ERefused (a Turkish reason), nothing written then.
    void setSchoolYear(const std::optional<SchoolYear> &year);

    // The school's own entries touching the Gregorian year, by date.
    QList<CalendarEntry> entries(int year);
    // Why the entry cannot be kept, in Turkish; nothing when it can. An entry with the id of a
    // stored one is checked as its replacement.
    std::optional<QString> problemWith(const CalendarEntry &entry);
    // Adds or replaces (by id) the entry when problemWith finds nothing; refused with ERefused,
    // which says what it found, otherwise, and nothing is written then.
    void save(const CalendarEntry &entry);
    void remove(int id);

    // The official and religious holidays as they fall in the Gregorian year.
    QList<KnownHoliday> knownHolidays(int year);
    void setEnabled(const QString &key, bool enabled);
    // Whether what `key` names (a holiday, a moment the calendar sounds) is switched on.
    bool isEnabled(const QString &key);

    // 10 Kasım's saygı duruşu at 09:05:00, which the day plan sounds by itself on a school day
    // unless switched off under this key.
    static constexpr const char *SaygiDurusu = "10kasim";
    // The school's recording of the İstiklal Marşı, as a bell names its music; empty when none
    // was chosen.
    QString istiklalMarsi();
    void setIstiklalMarsi(const QString &music);

    // The flag ceremony of a programme: the İstiklal Marşı before the first lesson of the first
    // school day after a weekend, holiday, half day or break, and after the last lesson (on a
    // half day the last that still rings) of the last school day before one. The day plan works
    // the days out from the calendar. A programme without a rule of its own follows Normal's.
    struct CeremonyRule {
        bool on = false;
        int beforeMinutes = 10;
        int afterMinutes = 5;
    };
    CeremonyRule ceremony(int programme);
    void setCeremony(int programme, const CeremonyRule &rule);
    // Keeps the user's date for a religious holiday (key "ramazan" or "kurban") of a hijri year.
    void confirmReligious(const QString &key, int hijriYear, const QDate &firstDay);

    // The first day of the religious holidays ICU's islamic-umalqura calendar puts in the
    // Gregorian year: 1 Şevval (key "ramazan") and 10 Zilhicce ("kurban"), with their hijri years.
    struct Proposal {
        QString key;
        int hijriYear = 0;
        QDate firstDay;
    };
    static QList<Proposal> proposedReligious(int year);

    // "Bugün zil çalmasın": no bell rings from now until midnight; it survives a restart and
    // ends by itself when the date changes. Turning it off lets the rest of today ring again.
    void silenceToday(bool on);
    bool silencedToday();

    ScheduleQuery::ChangeStamp changes() { return query().Changes(); }
    // Adds the calendar's tables to a file that has none yet, as the first write would.
    void ensureTables() { prepareWrite(); }

    // The school's name, for the window's title and the printed week; empty until given.
    QString schoolName();
    // Kept trimmed; an empty name clears it. Refused with ERefused (a Turkish reason) when too
    // long or on more than one line, nothing written then.
    void setSchoolName(const QString &name);
    static constexpr int SchoolNameLength = 100;
    // Settings of other parts of the program that travel with the schedule (the sound levels,
    // the alarm's recordings, the break music), by key ("Ses:Zil"); empty when absent.
    QString namedSetting(const QString &key);
    // Writes them all or none; an empty value removes its key.
    void writeNamedSettings(const QList<QPair<QString, QString>> &values);

    // Whether the first start's way in was gone through (or put aside) on this schedule.
    bool firstStartDone();
    void setFirstStartDone();

private:
    ScheduleQuery &query();
    void load();
    // What the loaded calendar says of the date and of the school year.
    CalendarDay describe(const QDate &date);
    std::optional<SchoolYear> loadedSchoolYear() const;
    void createTables();
    // Loads, and adds the tables when the file has none yet.
    void prepareWrite();
    QString setting(const QString &key) const { return m_settings.value(key); }
    void writeSetting(const QString &key, const QString &value);
    QList<KnownHoliday> holidaysOf(int year);

    BellStore &m_store;
    ScheduleQuery m_query;
    bool m_loaded = false;
    bool m_tablesPresent = false;
    ScheduleQuery::ChangeStamp m_loadedStamp;
    // The calendar's count of changes and the file's schema version when it was read; none when
    // the file keeps no count (tables an earlier version made), so every change reads it again.
    std::optional<std::pair<qint64, qint64>> m_version;
    std::optional<std::pair<qint64, qint64>> readVersion();
    QHash<QString, QString> m_settings;
    QList<CalendarEntry> m_entries;
    QHash<int, QList<KnownHoliday>> m_holidays; // by Gregorian year, from the loaded settings
    QHash<int, QList<Proposal>> m_proposals;    // by Gregorian year; they never change
};

// "13:00'ten", "12:30'dan": a time with the Turkish ablative suffix it is read with.
QString timeFromText(const QTime &time);
