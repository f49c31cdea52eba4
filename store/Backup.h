#pragma once

// Backup: the school's data in one file and back. A backup is a .tar.gz that ordinary tools open:
// manifest.json first (each entry's SHA-256 and size, the program version, the date), then
// database.mdb, taken with SQLite's online backup so a program writing meanwhile cannot tear it,
// then the staff's roles (yetkiler.json) when there are any, then the music the schedule names
// under Muzikler/. No windows here: the window and the
// service both call it, off the thread that rings.

#include "ZilError.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// A backup that is not restored, with the reason in the user's words; nothing was changed.
class EBackupRefused : public ZilError {
public:
    using ZilError::ZilError;
};

namespace Backup {

// The program version a backup carries; a backup from a newer one is refused.
QString programVersion();
// Tests stand in an older or newer program; an empty text restores the real one.
void setProgramVersionForTests(const QString &version);

// The most a backup may unpack to, all entries together. A larger one is refused before a byte
// is written, and an entry that grows past its stated size while unpacking is cut off.
inline constexpr qint64 DefaultSizeLimit = qint64(3) * 1024 * 1024 * 1024;
void setSizeLimitForTests(qint64 bytes); // 0 restores the default

// What a backup file holds, read from its own database once every check has passed.
struct Contents {
    QDateTime made;
    QString version;
    int bells = 0;      // weekday bells of every programme, and one-off bells
    QList<int> days;    // the weekdays Normal has bells on
    int programmes = 1; // Normal included
    int musicFiles = 0;
    bool roles = false;   // the PINs (yetkiler.json) come back with it
    qint64 bytes = 0;     // unpacked
    QString line() const; // the summary shown before asking
};

// What a backup made: the file and what went in.
struct Made {
    QString file;
    int musicFiles = 0;
    qint64 bytes = 0;
    QStringList missingMusic; // names the schedule uses that no file answers
};

// Where the music goes: into the backup itself, or into the pool beside it that the automatic
// copies share (one file per content, named by its SHA-256), the backup naming it by its sum.
enum class Music { Inside, Pooled };
// The pool of the copies in `archiveFolder`.
QString poolFolder(const QString &archiveFolder);

// Writes the data folder's schedule, roles and music into `archive` (written beside under a
// temporary name and renamed, so a half-made backup never has the final name). Throws ZilError.
// The database is copied on the calling thread, as with makeAside().
Made make(const QString &dataFolder, const QString &archive, Music music = Music::Inside);
// The same in two parts: the database copied now, on the calling thread, which must be the one
// that writes the schedule in this process (then no save of the process ever meets the copy's
// read lock); the returned work packs it with the music on any thread. Throws ZilError.
std::function<Made()> makeAside(const QString &dataFolder, const QString &archive,
                                Music music = Music::Inside);

// The database alone, copied consistently into `copy` with the online backup, in one step:
// milliseconds for a schedule. Taken on the thread that writes the schedule, between its writes.
void snapshotDatabase(const QString &databaseFile, const QString &copy);
// Packs an already taken snapshot with the data folder's music into `archive`; the snapshot is
// deleted afterwards.
Made pack(const QString &dataFolder, const QString &snapshot, const QString &archive,
          Music music = Music::Inside);

// A backup file checked whole and unpacked into a staging folder beside the data, ready to be
// put in place. Every check runs in check(); the data folder is not touched before apply().
class Restore {
public:
    // Throws EBackupRefused with the reason, leaving nothing behind, when the file is not a
    // backup, is damaged or truncated, fails a sum, holds a path out of its folder, a link or
    // too much, comes from a newer program or holds no sound schedule.
    static std::unique_ptr<Restore> check(const QString &archive, const QString &dataFolder);
    ~Restore();
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

    const Contents &contents() const { return m_contents; }

    // Keeps the present state as a backup in Yedekler, then puts the backup's database, roles
    // and music in place with renames. A failure part way undoes every rename made, so the folder
    // is as it was; the error is thrown.
    void apply();
    // The safety copy apply() made; empty before.
    QString safetyCopy() const { return m_safetyCopy; }

private:
    Restore() = default;
    QString m_dataFolder;
    QString m_staging;
    QStringList m_music; // paths under Muzikler/ the backup holds
    Contents m_contents;
    QString m_safetyCopy;
    int m_lock = -1;
};

// A restore broken off before it finished (the power went): its renames are undone from the
// journal it left. Run at start-up, before the schedule is opened; true when one was undone.
bool recoverInterrupted(const QString &dataFolder);

// Called before each step of apply() with the step's name; a test throws from it to break the
// restore there, or returns false to stop dead as a killed process would (nothing undone).
void setFaultHook(std::function<bool(const QString &step)> hook);
// Called while a snapshot of the database holds its read lock, on the thread taking it.
void setSnapshotHook(std::function<void()> hook);

// Called first on a thread that makes a backup: the thread takes the lowest processor and disk
// priority. A thread's QThread priority changes nothing under Linux's ordinary scheduling, and a
// backup hashing and copying hundreds of megabytes at equal priority delays the tick of the
// thread that rings by whole scheduler ticks on a busy computer. Never call it on that thread.
void yieldToTheBells();

// The automatic copies in Yedekler beside the database.
struct Keeping {
    int daily = 14;
    int monthly = 12;
};
// Read from the schedule's settings; the defaults where none is stored. Throws ZilError when the
// file is there but cannot be read now.
Keeping keeping(const QString &databaseFile);
// Stores the numbers; refused (ERefused-like ZilError) when not 1..365 and 0..120.
void setKeeping(const QString &databaseFile, const Keeping &keep);
QString copiesFolder(const QString &dataFolder);

// When this process started: a temporary file of the copies last written before that belongs to
// a copy that was cut off (the power went) and is never finished.
QDateTime processStarted();
// Deletes such leftovers in Yedekler and its pool, unless a copy is being made right now by any
// process. Quick: one listing and no waiting. The number deleted.
int removeLeftovers(const QString &dataFolder, const QDateTime &before = processStarted());
// Deletes the pool's files that no copy in `archiveFolder` names any more, unless a copy is being
// made right now. The number deleted.
int prunePool(const QString &archiveFolder);

// The automatic copies keep their music in the pool (Music::Pooled): a school's 26 copies hold its
// music once, not 26 times. A copy restores through Restore like any backup, from beside its pool.
//
// Today's daily copy when there is none yet, the month's copy when the month has none, then the
// oldest beyond the numbers kept are deleted, and the pool's music no copy names any more. The
// file made, or empty when today's was there.
QString keepDaily(const QString &dataFolder, const QDate &today);
// The same in two parts, as makeAside(): the database read now, the rest in the returned work.
std::function<QString()> keepDailyAside(const QString &dataFolder, const QDate &today);
// A copy before a restore or a big change, named after `why`; kept with the daily number.
QString keepBefore(const QString &dataFolder, const QString &why);
// The same, with the database taken now, on the caller's thread (a few milliseconds), and the
// music packed on a thread of its own; `failed` is called there with the message should that
// fail. What the database copy throws is thrown here, before anything changes.
void keepBeforeAside(const QString &dataFolder, const QString &why,
                     std::function<void(const QString &message)> failed);

} // namespace Backup
