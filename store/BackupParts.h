#pragma once

#include "ScheduleQuery.h"

// What the making of a backup and its restoring share: names, limits, SQLite through the system
// library, paths checked inside the data folder, the music pool. Internal to store/.

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QStorageInfo>
#include <QThread>
#include <QUrl>
#include <QUuid>
#include <QVersionNumber>

#include <archive.h>
#include <archive_entry.h>
#include <sqlite3.h>

#include <optional>
#include <utility>

#include <clocale>
#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Backup::detail {

inline QString g_versionOverride;
inline qint64 g_sizeLimit = 0;
inline std::function<bool(const QString &)> g_faultHook;
inline std::function<void()> g_snapshotHook;

inline const QString manifestName = QStringLiteral("manifest.json");
inline const QString databaseName = QStringLiteral("database.mdb");
// The staff's PIN hashes: a school restored elsewhere keeps who may change what.
inline const QString rolesName = QStringLiteral("yetkiler.json");
constexpr qint64 RolesLimit = 1024 * 1024;
inline const QString musicPrefix = QStringLiteral("Muzikler/");
inline const QString stagingPrefix = QStringLiteral(".geri-yukleme-");
inline const QString journalName = QStringLiteral("gunluk.txt");
inline const QString lockName = QStringLiteral("kilit");
inline const QString poolName = QStringLiteral("muzik-havuzu");
inline const QString partialSuffix = QStringLiteral(".yaziliyor");
// Held shared by whoever writes a copy, and alone by whoever deletes leftovers or pool files.
inline const QString copiesLockName = QStringLiteral(".kilit");
// 2: the music is in the pool beside the copy.
constexpr int FormatVersion = 2;
constexpr int PooledFormat = 2;
inline const QDateTime g_started = QDateTime::currentDateTimeUtc();
constexpr qint64 ManifestLimit = 4 * 1024 * 1024;
constexpr int Chunk = 256 * 1024;
// Held while the files are swapped; a writer of the service or the window finishes first.
constexpr int LockWaitMs = 10000;

inline qint64 sizeLimit() {
    return g_sizeLimit > 0 ? g_sizeLimit : DefaultSizeLimit;
}

inline QString folderOf(const QString &dataFolder) {
    return QDir::cleanPath(dataFolder) + QLatin1Char('/');
}

[[noreturn]] inline void refuse(const QString &why) {
    throw EBackupRefused(QStringLiteral("Yedek geri yüklenmedi: ") + why +
                         QStringLiteral(". Hiçbir şey değiştirilmedi."));
}

// Names go into and come out of a backup as UTF-8 whatever the process's locale: libarchive
// converts names through the thread's character set, and in the C locale (a service started
// without a language) a Turkish name cannot be converted, which ends in a crash writing and in a
// refused restore reading. The thread takes C.UTF-8 for the while; other threads are untouched.
class Utf8Names {
public:
    Utf8Names() {
        m_utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (m_utf8)
            m_previous = ::uselocale(m_utf8);
    }
    ~Utf8Names() {
        if (m_utf8) {
            ::uselocale(m_previous);
            ::freelocale(m_utf8);
        }
    }
    Utf8Names(const Utf8Names &) = delete;
    Utf8Names &operator=(const Utf8Names &) = delete;

private:
    locale_t m_utf8 = static_cast<locale_t>(nullptr);
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

// --- SQLite, through the system library Qt's driver also uses ---

struct Sqlite {
    sqlite3 *db = nullptr;
    Sqlite() = default;
    Sqlite(const Sqlite &) = delete;
    Sqlite &operator=(const Sqlite &) = delete;
    ~Sqlite() {
        if (db)
            sqlite3_close_v2(db);
    }
    bool open(const QString &file, int flags) {
        const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, flags, nullptr);
        if (rc == SQLITE_OK)
            sqlite3_busy_timeout(db, ScheduleQuery::lockWaitMs());
        return rc == SQLITE_OK;
    }
    QString error() const { return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString(); }
    // Column 0 of every row as text; nothing on an error.
    std::optional<QStringList> column(const char *sql, const QString &bound = {}) const {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            return std::nullopt;
        const QByteArray value = bound.toUtf8();
        if (!bound.isNull())
            sqlite3_bind_text(stmt, 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        QStringList rows;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
            rows << (text ? QString::fromUtf8(text) : QString());
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            return std::nullopt;
        return rows;
    }
    bool hasTable(const QString &name) const {
        const auto rows =
            column("SELECT name FROM sqlite_master WHERE type='table' AND name=?", name);
        return rows && !rows->isEmpty();
    }
    bool exec(const char *sql) const {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
};

// --- paths ---

// A name a backup may hold: database.mdb, yetkiler.json, or a file under Muzikler/ with no way
// out of it.
inline bool safeEntryName(const QString &name) {
    if (name.isEmpty() || name.size() > 1024 || name.startsWith(QLatin1Char('/')) ||
        name.contains(QLatin1Char('\\')))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString &part : parts)
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    return name == databaseName || name == rolesName ||
           (parts.size() >= 2 && parts.first() == QLatin1String("Muzikler"));
}

// The music file a bell names, when it is a plain file inside Muzikler; else nothing.
inline std::optional<QString> musicInside(const QString &musicFolder, const QString &name) {
    if (name.trimmed().isEmpty())
        return std::nullopt;
    const QString folder = QDir::cleanPath(musicFolder);
    const QString written = QDir::cleanPath(folder + QLatin1Char('/') + name);
    if (!written.startsWith(folder + QLatin1Char('/')))
        return std::nullopt;
    const QFileInfo info(written);
    const QString real = info.canonicalFilePath();
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty() || !real.startsWith(realFolder + QLatin1Char('/')))
        return std::nullopt;
    struct stat status {};
    if (::stat(QFile::encodeName(real).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    // Kept under the name the bell uses, so the restored bell finds it again.
    return written.mid(folder.size() + 1);
}

inline QByteArray sha256Of(const QString &file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f))
        return {};
    return hash.result().toHex();
}

// A lock on the copies' folder, shared among writers, alone for cleaning. Never waits long: a
// cleaner gives up at once, a writer after a short while, and then writes without it.
class CopiesLock {
public:
    CopiesLock(const QString &folder, bool alone) {
        m_fd = ::open(QFile::encodeName(folder + QLatin1Char('/') + copiesLockName).constData(),
                      O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0664);
        if (m_fd < 0)
            return;
        if (alone) {
            m_held = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
            return;
        }
        for (int tries = 0; tries < 100 && !m_held; ++tries) {
            m_held = ::flock(m_fd, LOCK_SH | LOCK_NB) == 0;
            if (!m_held)
                QThread::msleep(20);
        }
    }
    ~CopiesLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CopiesLock(const CopiesLock &) = delete;
    CopiesLock &operator=(const CopiesLock &) = delete;
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

inline bool isSum(const QByteArray &sum) {
    if (sum.size() != 64)
        return false;
    for (const char c : sum)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// A folder made with the permissions of the folder it is in, as Yedekler is.
inline bool makeFolderLike(const QString &folder, const QString &model) {
    if (QFileInfo::exists(folder))
        return true;
    if (!QDir().mkpath(folder))
        return false;
    struct stat status {};
    if (::stat(QFile::encodeName(model).constData(), &status) == 0)
        ::chmod(QFile::encodeName(folder).constData(), status.st_mode & 07777);
    return true;
}

// Copies `source` into the pool under its sum, unless the pool has it already. The copy is
// checked against the sum taken when the backup's list was made.
inline void putInPool(const QString &pool, const QString &source, const QString &name, qint64 size,
                      const QByteArray &sha256) {
    const QString target = pool + QString::fromLatin1(sha256);
    struct stat there {};
    if (::lstat(QFile::encodeName(target).constData(), &there) == 0 && S_ISREG(there.st_mode) &&
        there.st_size == size)
        return;
    const QString partial = pool + QLatin1Char('.') + QString::fromLatin1(sha256.left(16)) +
                            QLatin1Char('.') + QUuid::createUuid().toString(QUuid::Id128).left(8) +
                            partialSuffix;
    struct RemovePartial {
        QString file;
        ~RemovePartial() { QFile::remove(file); }
    } removePartial{partial};
    QFile in(source);
    QFile out(partial);
    if (!in.open(QIODevice::ReadOnly))
        throw ZilError(QStringLiteral("Dosya okunamadı: ") + name);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw ZilError(QStringLiteral("Yedeğin müzik havuzuna yazılamadı: ") + pool);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer(Chunk, Qt::Uninitialized);
    qint64 total = 0;
    while (total < size) {
        const qint64 n = in.read(buffer.data(), qMin<qint64>(Chunk, size - total));
        if (n <= 0)
            break;
        hash.addData(QByteArrayView(buffer.constData(), n));
        if (out.write(buffer.constData(), n) != n)
            throw ZilError(QStringLiteral("Yedeğin müzik havuzuna yazılamadı (disk dolu "
                                          "olabilir): ") +
                           name);
        total += n;
    }
    if (total != size || hash.result().toHex() != sha256)
        throw ZilError(QStringLiteral("Dosya yedek alınırken değişti, yedeği yeniden alın: ") +
                       name);
    if (!out.flush() || ::fsync(out.handle()) != 0)
        throw ZilError(QStringLiteral("Yedeğin müzik havuzuna yazılamadı (disk dolu olabilir): ") +
                       name);
    out.close();
    if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) !=
        0)
        throw ZilError(QStringLiteral("Yedeğin müzik havuzuna yazılamadı: ") + name);
}

// --- making ---

struct Writer {
    archive *a = archive_write_new();
    ~Writer() { archive_write_free(a); }
    [[noreturn]] void fail(const QString &what) {
        throw ZilError(what + QStringLiteral(" (") +
                       QString::fromUtf8(archive_error_string(a) ? archive_error_string(a) : "") +
                       QLatin1Char(')'));
    }
    void header(const QString &name, qint64 size) {
        archive_entry *e = archive_entry_new();
        archive_entry_set_pathname_utf8(e, name.toUtf8().constData());
        archive_entry_set_size(e, size);
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_entry_set_mtime(e, QDateTime::currentSecsSinceEpoch(), 0);
        const int rc = archive_write_header(a, e);
        archive_entry_free(e);
        if (rc != ARCHIVE_OK)
            fail(QStringLiteral("Yedek dosyası yazılamadı"));
    }
    void data(const char *bytes, qint64 size) {
        if (size > 0 && archive_write_data(a, bytes, size_t(size)) != la_ssize_t(size))
            fail(QStringLiteral("Yedek dosyası yazılamadı"));
    }
};

struct Reader {
    archive *a = archive_read_new();
    ~Reader() { archive_read_free(a); }
};

struct Entry {
    QString name;   // in the backup
    QString source; // on disk; empty when the bytes are read already
    qint64 size = 0;
    QByteArray sha256;
    QByteArray bytes;
};

} // namespace Backup::detail
