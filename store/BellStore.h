#pragma once

#include "Announcement.h"
#include "ScheduleQuery.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QTime>
#include <QVariant>

#include <functional>
#include <limits>
#include <optional>

// A named set of bells per weekday that dates can ring: "Normal", the weekly schedule every
// school day rings, or one the school added ("Sınav Haftası", "Kısaltılmış Ders").
struct Programme {
    static constexpr int Normal = 0;
    int id = Normal;
    QString name;
};

// One row of Dersler (or of another programme): a bell on a weekday; or a one-off bell on a date. A
// bell of a programme other than Normal is known by its row id negated, so that its lines in the
// bell record are never taken for a Normal bell's. The start and the duration are kept as stored,
// since a row written by other means may hold a text that is not a time or not a number; the
// readers decide what such a row means for them.
struct Bell {
    int id = 0;                        // KayitID; not used when adding
    int gunId = 0;                     // 0 = Monday .. 6 = Sunday
    QString name;                      // DersSaati, the bell's name
    QVariant start;                    // DersBaslama
    QString music;                     // a file name in Muzikler
    QVariant sure;                     // seconds to play; 0 = the whole music
    int programme = Programme::Normal; // whose bell it is
    QDate date; // a one-off bell's date ("Tek seferlik"); invalid for a weekday's bell
    // The one building of a school sharing its schedule that a weekday's bell rings in (the
    // server's id); 0: every building, as every bell of a school that shares nothing.
    qint64 building = 0;

    // The ids of a programme's bells and of one-off bells, kept apart from Normal's (positive)
    // and from each other, so that a line in the bell record names one bell only.
    static constexpr int OneOffIds = 1000000000;
    static int programmeId(int row) { return -row; }
    static int oneOffId(int row) { return -OneOffIds - row; }
    bool isOneOff() const { return id <= -OneOffIds && id > announcementId(0); }
    // An announcement as the day plan sounds it, and the chime that goes before it.
    static int announcementId(int row) { return -OneOffIds - OneOffIds / 2 - row; }
    static int chimeId(int row) { return -OneOffIds - 3 * (OneOffIds / 4) - row; }
    bool isChime() const { return id <= chimeId(0) && id > -2 * OneOffIds; }
    bool isAnnouncement() const { return id <= announcementId(0) && id > chimeId(0); }
    // An alarm sounded by hand, by its kind.
    static int alarmId(int kind) { return -2 * OneOffIds - 1 - kind; }
    bool isAlarm() const { return id <= alarmId(0) && id > alarmId(100); }

    // The longest duration a row may hold, in seconds: the most the bell editor writes.
    static constexpr int LongestSure = std::numeric_limits<int>::max();

    // The start as a time of day; invalid when the stored text is not one.
    QTime startTime() const;
    // The duration in whole seconds, 0 to LongestSure; nothing when the stored value is not one.
    std::optional<int> duration() const;
    // Why the start or the duration cannot be read, in the user's words; empty when they can.
    QString startProblem() const;
    QString durationProblem() const;
};

// What became of a bell that fell due on a date.
enum class BellOutcome {
    Rang,     // started at its second
    RangLate, // started late, caught up after a stall
    Failed,   // could not play its music
    Replaced, // fell due in the same tick as a later bell, which played instead
    Skipped,  // the clock jumped over it
    Missed,   // the program was not running at its time
    Warning,  // its music could not be opened in the start-of-day check
    Silenced, // the school calendar kept it silent (a holiday, "Bugün zil çalmasın")
};

// The outcome's stored code and its Turkish name for the user.
QString outcomeCode(BellOutcome outcome);
std::optional<BellOutcome> outcomeFromCode(const QString &code);
QString outcomeName(BellOutcome outcome);

// One line of the bell record ("Zil Geçmişi").
struct BellEvent {
    // How much of a name and a music file name a line keeps, and a message shows: enough for any
    // name the editor takes and any file name, so that a row written by other means cannot fill
    // every line of the record with a megabyte.
    static constexpr int NameLength = 100;
    static constexpr int MusicLength = 255;

    QDate date;
    int bellId = 0;
    QString name;
    QString start; // HH:MM:SS
    QString music;
    BellOutcome outcome = BellOutcome::Rang;
    int delayMs = 0; // after its second: when the play started, or how late it was caught up
    QString reason;
    bool fallbackTone = false;
    QDateTime recordedAt;
};

// A change to the schedule that would spoil it, refused before anything was written; the message
// is for the user.
class ERefused : public ZilError {
public:
    using ZilError::ZilError;
};

// The schedule in its own terms: the bells of a day, one bell, and the writes on them. Every
// failure is an EStoreError with the store's reason; the file is opened afresh after a failure
// and when it is replaced, so a store that comes back is used without a restart.
class BellStore {
public:
    // The schedule file to read and write from the next use on; nothing is read yet.
    void setFile(const QString &databaseFile) { m_query.SetConnection(databaseFile); }
    // Uses that file and reads it once, so a missing or foreign file is told at once.
    void open(const QString &databaseFile);
    // The schedule file in use; empty before one is given.
    QString file() const { return m_query.Connection(); }

    // The bells of one weekday of a programme, in stored order.
    QList<Bell> dayBells(int gunId, int programme = Programme::Normal);

    // The one-off bells from `from` to `to`, by date and time.
    QList<Bell> oneOffBells(const QDate &from, const QDate &to);

    // Normal first, then the school's own by name.
    QList<Programme> programmes();
    // Adds a programme; its id. Refused (ERefused) when the name is empty or already used.
    int addProgramme(const QString &name);
    void renameProgramme(int id, const QString &name);
    // Removes the programme and its bells; Normal cannot be removed.
    void removeProgramme(int id);
    // The bell with that id; nothing when it is gone.
    std::optional<Bell> bell(int id);

    // Adds the bells together: all of them are written or none.
    void add(const QList<Bell> &bells);
    // Writes every field of the bell with that id; false when no such bell exists any more.
    bool update(const Bell &bell);
    void remove(int id);

    // The bell record. Its table is added to a schedule that has none at the first write;
    // Dersler is never touched by it, so an older program still opens the file.
    void record(const BellEvent &event);
    // The record from `from` to `to` (whole days), newest first.
    QList<BellEvent> history(const QDate &from, const QDate &to);
    // The bells that had their one chance to ring on `date` (rang, late, failed, replaced, or
    // kept silent by the calendar).
    QSet<int> rungOn(const QDate &date);
    // Whether a bell of `date` could not play or was missed, as the record says.
    bool troubleOn(const QDate &date);
    // The bells with any line in the record of `date`.
    QSet<int> recordedOn(const QDate &date);

    // Changes to whole days of one programme, each in one transaction: all of it is written or
    // nothing is. The bells of `days` are deleted and `bells` are written in their place.
    void replaceDays(const QList<int> &days, const QList<Bell> &bells,
                     int programme = Programme::Normal);
    // Every bell of `days` starts `seconds` later (earlier when negative). Refused with
    // ERefused, nothing changed, when a bell would leave its day or has no readable start.
    void shiftDays(const QList<int> &days, int seconds, int programme = Programme::Normal);
    // The bells of day `from` of `fromProgramme` written to each day of `to` of `programme`
    // (`from` itself skipped within one programme), beside or in place of that day's own.
    void copyDay(int from, const QList<int> &to, bool replace, int programme = Programme::Normal,
                 int fromProgramme = Programme::Normal);
    // Deletes every bell of `days`; the number deleted.
    int removeDays(const QList<int> &days, int programme = Programme::Normal);

    // Called before whole days are replaced or deleted, so a copy of the schedule can be kept
    // first; what it throws stops the change, nothing written.
    void setBeforeWholeDays(std::function<void()> hook) { m_beforeWholeDays = std::move(hook); }
    // Announcements (BellStoreAnnouncements.cpp). Their table is added at the first one, so an
    // older program still opens the file. All of them, those of dates first by date, then those
    // of weekdays by programme, day and time.
    QList<Announcement> announcements();
    // What sounds on `date` when it rings `programme`: the date's own and those of its weekday
    // (`gunId`; by default the date's own, a make-up day rings another's) in that programme, by
    // time.
    QList<Announcement> announcementsOn(const QDate &date, int programme = Programme::Normal,
                                        int gunId = -1);
    std::optional<Announcement> announcement(int id);
    // Adds it; its id. Refused (ERefused), nothing written, when it has no name, no sound, no
    // time, a weekday out of range or a negative duration.
    int addAnnouncement(const Announcement &announcement);
    // Writes every field; false when it is gone. Refused as adding is.
    bool updateAnnouncement(const Announcement &announcement);
    void removeAnnouncement(int id);

    using ChangeStamp = ScheduleQuery::ChangeStamp;
    // Tells cheaply whether anything may have changed since the stamp was taken.
    ChangeStamp changes() { return m_query.Changes(); }

private:
    Bell currentRow() const;
    // The writes the public ones are made of, inside their transaction.
    void insert(const Bell &bell);
    // The building of a weekday's bell, by its id; 0 writes nothing where no bell has one yet.
    void setBuilding(int id, qint64 building);
    int deleteDays(const QList<int> &days, int programme);
    // Whether the file has the table yet: the record's, the programmes' and the one-off bells'
    // are added at their first write.
    bool hasTable(const QString &name);
    Bell oneOffRow() const;
    void makeProgrammeTables();
    // The name as a programme's: trimmed, refused when empty, "Normal" or another's.
    QString programmeName(const QString &name, int id);
    QHash<int, QList<BellOutcome>> outcomesOn(const QDate &date);
    Announcement announcementRow() const;
    QVariantList announcementValues(const Announcement &announcement);

    ScheduleQuery m_query;
    std::function<void()> m_beforeWholeDays;
};
