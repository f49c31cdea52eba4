#include "Backup.h"

#include "Schedule.h"
#include "ScheduleQuery.h"

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

namespace Backup {

namespace {
QString g_versionOverride;
qint64 g_sizeLimit = 0;
std::function<bool(const QString &)> g_faultHook;
std::function<void()> g_snapshotHook;

const QString manifestName = QStringLiteral("manifest.json");
const QString databaseName = QStringLiteral("database.mdb");
// The staff's PIN hashes: a school restored elsewhere keeps who may change what.
const QString rolesName = QStringLiteral("yetkiler.json");
constexpr qint64 RolesLimit = 1024 * 1024;
const QString musicPrefix = QStringLiteral("Muzikler/");
const QString stagingPrefix = QStringLiteral(".geri-yukleme-");
const QString journalName = QStringLiteral("gunluk.txt");
const QString lockName = QStringLiteral("kilit");
const QString poolName = QStringLiteral("muzik-havuzu");
const QString partialSuffix = QStringLiteral(".yaziliyor");
// Held shared by whoever writes a copy, and alone by whoever deletes leftovers or pool files.
const QString copiesLockName = QStringLiteral(".kilit");
// 2: the music is in the pool beside the copy.
constexpr int FormatVersion = 2;
constexpr int PooledFormat = 2;
const QDateTime g_started = QDateTime::currentDateTimeUtc();
constexpr qint64 ManifestLimit = 4 * 1024 * 1024;
constexpr int Chunk = 256 * 1024;
// Held while the files are swapped; a writer of the service or the window finishes first.
constexpr int LockWaitMs = 10000;

qint64 sizeLimit() {
    return g_sizeLimit > 0 ? g_sizeLimit : DefaultSizeLimit;
}

QString folderOf(const QString &dataFolder) {
    return QDir::cleanPath(dataFolder) + QLatin1Char('/');
}

[[noreturn]] void refuse(const QString &why) {
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
bool safeEntryName(const QString &name) {
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
std::optional<QString> musicInside(const QString &musicFolder, const QString &name) {
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

QByteArray sha256Of(const QString &file) {
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

bool isSum(const QByteArray &sum) {
    if (sum.size() != 64)
        return false;
    for (const char c : sum)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// A folder made with the permissions of the folder it is in, as Yedekler is.
bool makeFolderLike(const QString &folder, const QString &model) {
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
void putInPool(const QString &pool, const QString &source, const QString &name, qint64 size,
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

struct Entry {
    QString name;   // in the backup
    QString source; // on disk; empty when the bytes are read already
    qint64 size = 0;
    QByteArray sha256;
    QByteArray bytes;
};
} // namespace

QString programVersion() {
    return g_versionOverride.isEmpty() ? QStringLiteral(ZIL_VERSION) : g_versionOverride;
}

void setProgramVersionForTests(const QString &version) {
    g_versionOverride = version;
}

void setSizeLimitForTests(qint64 bytes) {
    g_sizeLimit = bytes;
}

void setFaultHook(std::function<bool(const QString &step)> hook) {
    g_faultHook = std::move(hook);
}

void setSnapshotHook(std::function<void()> hook) {
    g_snapshotHook = std::move(hook);
}

QString copiesFolder(const QString &dataFolder) {
    return folderOf(dataFolder) + QStringLiteral("Yedekler/");
}

namespace {
// Yedekler as the data folder is: the window's user and the service both add and delete copies
// there, whoever made it first.
QString madeCopiesFolder(const QString &dataFolder) {
    const QString folder = copiesFolder(dataFolder);
    if (QFileInfo::exists(folder))
        return folder;
    if (!QDir().mkpath(folder))
        throw ZilError(QStringLiteral("Yedekler klasörü oluşturulamadı: ") + folder);
    struct stat data {};
    if (::stat(QFile::encodeName(folderOf(dataFolder)).constData(), &data) == 0)
        ::chmod(QFile::encodeName(folder).constData(), data.st_mode & 07777);
    return folder;
}
} // namespace

void snapshotDatabase(const QString &databaseFile, const QString &copy) {
    // The source through Qt's own driver, on a connection of this call and thread.
    const QString name = QStringLiteral("yedek-") + QUuid::createUuid().toString(QUuid::Id128);
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QUrl::fromLocalFile(databaseFile).toString(QUrl::FullyEncoded) +
                           QStringLiteral("?mode=ro"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                                 .arg(ScheduleQuery::lockWaitMs()));
        const QVariant handle = db.open() ? db.driver()->handle() : QVariant();
        sqlite3 *source = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
                              ? *static_cast<sqlite3 *const *>(handle.constData())
                              : nullptr;
        if (!source) {
            failure = QStringLiteral("Veritabanı yedek için açılamadı: ") + db.lastError().text();
        } else {
            QFile::remove(copy);
            Sqlite target;
            // A file of the moment, packed and deleted: never worth waiting for the disk.
            if (!target.open(copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) ||
                !target.exec("PRAGMA synchronous=OFF")) {
                failure = QStringLiteral("Yedek için geçici dosya yazılamadı: ") + target.error();
            } else {
                if (g_snapshotHook) {
                    // The read lock a step holds, held while a test acts.
                    sqlite3_exec(source, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr,
                                 nullptr, nullptr);
                    g_snapshotHook();
                    sqlite3_exec(source, "COMMIT", nullptr, nullptr, nullptr);
                }
                sqlite3_backup *b = sqlite3_backup_init(target.db, "main", source, "main");
                if (!b) {
                    failure = QStringLiteral("Veritabanı yedeği başlatılamadı: ") + target.error();
                } else {
                    // Whole, in one step, on the thread that writes the schedule: nothing of
                    // this process writes while the read lock is held, for the milliseconds a
                    // schedule takes to copy. Another process's write is waited for as long as
                    // this thread may wait.
                    const int rc = sqlite3_backup_step(b, -1);
                    sqlite3_backup_finish(b);
                    if (rc != SQLITE_DONE)
                        failure = QStringLiteral("Veritabanı yedeği alınamadı: ") +
                                  QString::fromUtf8(sqlite3_errstr(rc));
                    // A copy that never knew WAL opens wherever it is put back.
                    else if (!target.exec("PRAGMA journal_mode=DELETE"))
                        failure = QStringLiteral("Veritabanı yedeği alınamadı: ") + target.error();
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) {
        QFile::remove(copy);
        throw ZilError(failure);
    }
}

QString poolFolder(const QString &archiveFolder) {
    return QDir::cleanPath(archiveFolder) + QLatin1Char('/') + poolName + QLatin1Char('/');
}

Made pack(const QString &dataFolder, const QString &snapshot, const QString &archiveFile,
          Music where) {
    const bool pooled = where == Music::Pooled;
    const QString archiveFolder = QFileInfo(archiveFile).absolutePath();
    // No cleaner takes this copy's files for leftovers while it is written.
    std::optional<CopiesLock> writing;
    if (pooled)
        writing.emplace(archiveFolder, false);
    struct RemoveSnapshot {
        QString file;
        ~RemoveSnapshot() { QFile::remove(file); }
    } removeSnapshot{snapshot};
    const QString folder = folderOf(dataFolder);
    const QString music = folder + QStringLiteral("Muzikler");
    Made made;

    // What the schedule uses, read from the snapshot so it matches the database that goes in.
    QStringList names;
    {
        Sqlite db;
        if (!db.open(snapshot, SQLITE_OPEN_READONLY))
            throw ZilError(QStringLiteral("Veritabanı yedeği okunamadı: ") + db.error());
        const auto add = [&](const char *table, const char *sql) {
            if (!db.hasTable(QString::fromLatin1(table)))
                return;
            const auto rows = db.column(sql);
            if (!rows)
                throw ZilError(QStringLiteral("Veritabanı yedeği okunamadı: ") + db.error());
            names << *rows;
        };
        add("Dersler", "SELECT DISTINCT Muzik FROM Dersler");
        add("ProgramDersleri", "SELECT DISTINCT Muzik FROM ProgramDersleri");
        add("TekSeferlik", "SELECT DISTINCT Muzik FROM TekSeferlik");
        add("TakvimAyar", "SELECT Deger FROM TakvimAyar WHERE Anahtar='IstiklalMarsi'");
    }
    // The program's own sounds, and whatever the school put beside them, go in whole.
    // So do the spoken announcements the program made from their text.
    for (const char *own : {"Programın sesleri", "Anonslar"}) {
        QDirIterator it(music + QLatin1Char('/') + QString::fromUtf8(own),
                        QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            names << it.next().mid(music.size() + 1);
    }

    QList<Entry> entries;
    QSet<QString> seen;
    {
        Entry db{databaseName, snapshot, QFileInfo(snapshot).size(), sha256Of(snapshot)};
        if (db.sha256.isEmpty())
            throw ZilError(QStringLiteral("Veritabanı yedeği okunamadı"));
        entries << db;
    }
    // Read whole now, so a PIN changed while the music is packed cannot make the sum wrong.
    if (QFile roles(folder + rolesName); roles.exists()) {
        if (!roles.open(QIODevice::ReadOnly) || roles.size() > RolesLimit)
            throw ZilError(QStringLiteral("Yetki dosyası okunamadı: ") + rolesName);
        Entry e{rolesName, QString(), 0, {}, roles.readAll()};
        e.size = e.bytes.size();
        e.sha256 = QCryptographicHash::hash(e.bytes, QCryptographicHash::Sha256).toHex();
        entries << e;
    }
    for (const QString &name : std::as_const(names)) {
        if (name.trimmed().isEmpty())
            continue;
        const std::optional<QString> inside = musicInside(music, name);
        if (!inside) {
            if (!made.missingMusic.contains(name))
                made.missingMusic << name;
            continue;
        }
        const QString entryName = musicPrefix + *inside;
        if (seen.contains(entryName) || !safeEntryName(entryName))
            continue;
        seen.insert(entryName);
        const QString source = music + QLatin1Char('/') + *inside;
        Entry e{entryName, source, QFileInfo(source).size(), sha256Of(source)};
        if (e.sha256.isEmpty()) {
            made.missingMusic << name;
            continue;
        }
        entries << e;
    }

    // Pooled: the music goes into the pool now, before the copy that names it exists.
    const QString pool = poolFolder(archiveFolder);
    if (pooled) {
        if (!makeFolderLike(pool, archiveFolder))
            throw ZilError(QStringLiteral("Yedeğin müzik havuzu oluşturulamadı: ") + pool);
        for (const Entry &e : std::as_const(entries))
            if (e.name.startsWith(musicPrefix))
                putInPool(pool, e.source, e.name, e.size, e.sha256);
    }
    const auto inPool = [&](const Entry &e) { return pooled && e.name.startsWith(musicPrefix); };

    QJsonArray list;
    for (const Entry &e : std::as_const(entries)) {
        QJsonObject o{{QStringLiteral("path"), e.name},
                      {QStringLiteral("size"), double(e.size)},
                      {QStringLiteral("sha256"), QString::fromLatin1(e.sha256)}};
        if (inPool(e))
            o.insert(QStringLiteral("pool"), true);
        list.append(o);
        made.bytes += e.size;
    }
    const QByteArray manifest =
        QJsonDocument(
            QJsonObject{{QStringLiteral("program"), QStringLiteral("Selvanor Zil Sistemi")},
                        {QStringLiteral("format"), pooled ? PooledFormat : 1},
                        {QStringLiteral("version"), programVersion()},
                        {QStringLiteral("created"),
                         QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
                        {QStringLiteral("entries"), list}})
            .toJson();

    // Written under a temporary name beside the final one, then renamed.
    const QFileInfo target(archiveFile);
    // Two processes may make the same day's copy at once: each writes a file of its own.
    const QString partial = target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                            QLatin1Char('.') + QUuid::createUuid().toString(QUuid::Id128).left(8) +
                            partialSuffix;
    struct RemovePartial {
        QString file;
        bool keep = false;
        ~RemovePartial() {
            if (!keep)
                QFile::remove(file);
        }
    } removePartial{partial};
    {
        const Utf8Names utf8;
        Writer w;
        if (!archiveFile.endsWith(QLatin1String(".tar"))) {
            archive_write_add_filter_gzip(w.a);
            // Music is compressed already; the quickest level still shrinks the database well.
            archive_write_set_filter_option(w.a, "gzip", "compression-level", "1");
        }
        archive_write_set_format_pax_restricted(w.a);
        if (archive_write_open_filename(w.a, QFile::encodeName(partial).constData()) != ARCHIVE_OK)
            w.fail(QStringLiteral("Yedek dosyası oluşturulamadı: ") + target.fileName());
        w.header(manifestName, manifest.size());
        w.data(manifest.constData(), manifest.size());
        QByteArray buffer(Chunk, Qt::Uninitialized);
        for (const Entry &e : std::as_const(entries)) {
            if (inPool(e))
                continue;
            if (e.source.isEmpty()) {
                w.header(e.name, e.size);
                w.data(e.bytes.constData(), e.size);
                continue;
            }
            QFile in(e.source);
            if (!in.open(QIODevice::ReadOnly))
                throw ZilError(QStringLiteral("Dosya okunamadı: ") + e.name);
            w.header(e.name, e.size);
            QCryptographicHash hash(QCryptographicHash::Sha256);
            qint64 total = 0;
            while (total < e.size) {
                const qint64 n = in.read(buffer.data(), qMin<qint64>(Chunk, e.size - total));
                if (n <= 0)
                    break;
                hash.addData(QByteArrayView(buffer.constData(), n));
                w.data(buffer.constData(), n);
                total += n;
            }
            // A file changed while it was packed would fail its sum at the restore.
            if (total != e.size || hash.result().toHex() != e.sha256)
                throw ZilError(QStringLiteral("Dosya yedek alınırken değişti, yedeği yeniden "
                                              "alın: ") +
                               e.name);
        }
        if (archive_write_close(w.a) != ARCHIVE_OK)
            w.fail(QStringLiteral("Yedek dosyası tamamlanamadı"));
    }
    {
        // On the disk before it takes the final name.
        QFile done(partial);
        if (done.open(QIODevice::ReadOnly))
            ::fsync(done.handle());
    }
    QFile::remove(archiveFile);
    if (!QFile::rename(partial, archiveFile))
        throw ZilError(QStringLiteral("Yedek dosyası kaydedilemedi: ") + archiveFile);
    removePartial.keep = true;
    made.file = archiveFile;
    made.musicFiles = 0;
    for (const Entry &e : std::as_const(entries))
        made.musicFiles += e.name.startsWith(musicPrefix) ? 1 : 0;
    return made;
}

std::function<Made()> makeAside(const QString &dataFolder, const QString &archiveFile,
                                Music music) {
    const QFileInfo target(archiveFile);
    // Held until the packing ends, so no cleaner takes the snapshot for a leftover meanwhile.
    auto writing = std::make_shared<std::optional<CopiesLock>>();
    if (music == Music::Pooled)
        writing->emplace(target.absolutePath(), false);
    const QString snapshot = target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                             QLatin1Char('.') + QUuid::createUuid().toString(QUuid::Id128).left(8) +
                             QStringLiteral(".mdb");
    snapshotDatabase(folderOf(dataFolder) + databaseName, snapshot);
    return [=] {
        // Let go once packed: the cleaning that follows a copy takes the lock alone.
        const std::unique_ptr<std::optional<CopiesLock>, void (*)(std::optional<CopiesLock> *)>
            release(writing.get(), [](std::optional<CopiesLock> *lock) { lock->reset(); });
        return pack(dataFolder, snapshot, archiveFile, music);
    };
}

Made make(const QString &dataFolder, const QString &archiveFile, Music music) {
    return makeAside(dataFolder, archiveFile, music)();
}

// --- checking and unpacking ---

namespace {
struct Reader {
    archive *a = archive_read_new();
    ~Reader() { archive_read_free(a); }
};

struct Expected {
    qint64 size = 0;
    QByteArray sha256;
    bool seen = false;
    bool pooled = false;
};

bool mkdirs(const QString &path) {
    return QDir().mkpath(path);
}
} // namespace

std::unique_ptr<Restore> Restore::check(const QString &archiveFile, const QString &dataFolder) {
    std::unique_ptr<Restore> r(new Restore);
    r->m_dataFolder = folderOf(dataFolder);

    QFileInfo info(archiveFile);
    if (!info.isFile())
        refuse(QStringLiteral("yedek dosyası bulunamadı"));
    const Utf8Names utf8;
    Reader reader;
    // A backup is a tar, gzipped or not; nothing else is even read.
    archive_read_support_filter_gzip(reader.a);
    archive_read_support_format_tar(reader.a);
    const QString damaged = QStringLiteral("yedek dosyası eksik ya da bozuk (yarım kalmış bir "
                                           "kopya olabilir)");
    // A gzip or a tar that cannot be read is a cut-short or damaged backup, not some other file.
    const QString unreadable = [&] {
        QFile f(archiveFile);
        const QByteArray head = f.open(QIODevice::ReadOnly) ? f.read(262) : QByteArray();
        return head.startsWith("\x1f\x8b") || head.mid(257, 5) == "ustar"
                   ? damaged
                   : QStringLiteral("dosya bir zil yedeği değil");
    }();
    if (archive_read_open_filename(reader.a, QFile::encodeName(archiveFile).constData(), 65536) !=
        ARCHIVE_OK)
        refuse(unreadable);
    archive_entry *entry = nullptr;
    int rc = archive_read_next_header(reader.a, &entry);
    if (rc != ARCHIVE_OK)
        refuse(unreadable);
    if (QString::fromUtf8(archive_entry_pathname(entry)) != manifestName ||
        archive_entry_filetype(entry) != AE_IFREG || archive_entry_size(entry) > ManifestLimit)
        refuse(QStringLiteral("dosya bir zil yedeği değil (içinde yedek listesi yok)"));
    QByteArray manifestBytes;
    {
        QByteArray buffer(65536, Qt::Uninitialized);
        la_ssize_t n;
        while ((n = archive_read_data(reader.a, buffer.data(), size_t(buffer.size()))) > 0) {
            manifestBytes.append(buffer.constData(), n);
            if (manifestBytes.size() > ManifestLimit)
                refuse(QStringLiteral("dosya bir zil yedeği değil"));
        }
        if (n < 0)
            refuse(damaged);
    }
    const QJsonObject manifest = QJsonDocument::fromJson(manifestBytes).object();
    if (manifest.value(QStringLiteral("program")).toString() !=
            QLatin1String("Selvanor Zil Sistemi") ||
        !manifest.value(QStringLiteral("entries")).isArray())
        refuse(QStringLiteral("dosya bir zil yedeği değil"));
    const QString version = manifest.value(QStringLiteral("version")).toString();
    const QVersionNumber theirs = QVersionNumber::fromString(version);
    if (theirs.isNull() || manifest.value(QStringLiteral("format")).toInt() > FormatVersion ||
        QVersionNumber::compare(theirs, QVersionNumber::fromString(programVersion())) > 0)
        refuse(QStringLiteral("yedek bu programdan daha yeni bir sürümle (%1) alınmış; önce "
                              "programı güncelleyin")
                   .arg(version.left(20)));
    r->m_contents.version = version;
    r->m_contents.made =
        QDateTime::fromString(manifest.value(QStringLiteral("created")).toString(), Qt::ISODate);

    QHash<QString, Expected> expected;
    qint64 total = 0;
    for (const QJsonValue &v : manifest.value(QStringLiteral("entries")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString path = o.value(QStringLiteral("path")).toString();
        const double size = o.value(QStringLiteral("size")).toDouble(-1);
        const QByteArray sum = o.value(QStringLiteral("sha256")).toString().toLatin1();
        const bool pooled = o.value(QStringLiteral("pool")).toBool();
        if (!safeEntryName(path))
            refuse(QStringLiteral("yedekte klasörünün dışına yazılacak bir dosya var: %1")
                       .arg(path.left(200)));
        if (size < 0 || size > 1e15 || !isSum(sum) || expected.contains(path) ||
            (pooled && !path.startsWith(musicPrefix)))
            refuse(QStringLiteral("yedeğin dosya listesi bozuk"));
        expected.insert(path, {qint64(size), sum, false, pooled});
        total += qint64(size);
    }
    if (!expected.contains(databaseName))
        refuse(QStringLiteral("yedekte veritabanı yok"));
    if (total > sizeLimit())
        refuse(QStringLiteral("yedek açıldığında %1 MB tutuyor, en çok %2 MB olabilir")
                   .arg(total / (1024 * 1024))
                   .arg(sizeLimit() / (1024 * 1024)));
    // Room for the unpacked files and the safety copy of what is there now.
    const QStorageInfo disk(r->m_dataFolder);
    if (disk.isValid() && disk.bytesAvailable() >= 0 &&
        disk.bytesAvailable() < 2 * total + 8 * 1024 * 1024)
        refuse(QStringLiteral("diskte yeterli boş yer yok (%1 MB gerekiyor)")
                   .arg((2 * total) / (1024 * 1024) + 8));
    r->m_contents.bytes = total;

    // Only now is anything written: into a folder of its own beside the data, same file system.
    r->m_staging = r->m_dataFolder + stagingPrefix +
                   QUuid::createUuid().toString(QUuid::Id128).left(12) + QLatin1Char('/');
    const QString fresh = r->m_staging + QStringLiteral("yeni/");
    if (!mkdirs(fresh))
        refuse(QStringLiteral("veri klasörüne yazılamıyor: ") + r->m_dataFolder);
    // Held while this restore lives: another process starting meanwhile leaves it alone.
    r->m_lock = ::open(QFile::encodeName(r->m_staging + lockName).constData(),
                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (r->m_lock < 0 || ::flock(r->m_lock, LOCK_EX | LOCK_NB) != 0)
        refuse(QStringLiteral("veri klasörüne yazılamıyor: ") + r->m_dataFolder);

    QByteArray buffer(Chunk, Qt::Uninitialized);
    const QString cannotWrite = QStringLiteral("veri klasörüne yazılamıyor: ") + r->m_dataFolder;
    const QString diskFull =
        QStringLiteral("geri yükleme için dosya yazılamadı (disk dolu olabilir)");
    // Each unpacked file is new: O_EXCL and O_NOFOLLOW, so nothing already there is followed or
    // overwritten.
    const auto create = [&](const QString &path, QFile &file) {
        const QString out = fresh + path;
        if (!mkdirs(QFileInfo(out).absolutePath()))
            refuse(cannotWrite);
        const int fd = ::open(QFile::encodeName(out).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            refuse(cannotWrite);
        file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    };
    const auto put = [&](QFile &file, QCryptographicHash &hash, qint64 n) {
        hash.addData(QByteArrayView(buffer.constData(), n));
        if (file.write(buffer.constData(), n) != n)
            refuse(diskFull);
    };
    const auto finish = [&](QFile &file) {
        if (!file.flush() || ::fsync(file.handle()) != 0)
            refuse(diskFull);
        file.close();
    };
    while ((rc = archive_read_next_header(reader.a, &entry)) == ARCHIVE_OK) {
        const QString path = QString::fromUtf8(archive_entry_pathname(entry));
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK || archive_entry_hardlink(entry))
            refuse(QStringLiteral("yedekte bir bağlantı (link) var: %1").arg(path.left(200)));
        if (!safeEntryName(path))
            refuse(QStringLiteral("yedekte klasörünün dışına yazılacak bir dosya var: %1")
                       .arg(path.left(200)));
        if (type != AE_IFREG)
            refuse(QStringLiteral("yedekte sıradan dosya olmayan bir kayıt var: %1")
                       .arg(path.left(200)));
        auto e = expected.find(path);
        if (e == expected.end() || e->seen || e->pooled)
            refuse(QStringLiteral("yedekte listede olmayan ya da iki kez geçen bir dosya var: %1")
                       .arg(path.left(200)));
        e->seen = true;
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) != e->size)
            refuse(QStringLiteral("yedekteki %1 dosyasının boyu listedekinden farklı").arg(path));
        QFile file;
        create(path, file);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        qint64 written = 0;
        la_ssize_t n;
        while ((n = archive_read_data(reader.a, buffer.data(), size_t(buffer.size()))) > 0) {
            written += n;
            // Stops a bomb at its stated size, not when the disk is full.
            if (written > e->size)
                refuse(QStringLiteral("yedekteki %1 dosyası listede yazandan büyük").arg(path));
            put(file, hash, n);
        }
        if (n < 0)
            refuse(damaged);
        finish(file);
        if (written != e->size)
            refuse(damaged);
        if (hash.result().toHex() != e->sha256)
            refuse(QStringLiteral("yedekteki %1 dosyası bozulmuş (denetim toplamı tutmuyor)")
                       .arg(path));
        if (path == rolesName)
            r->m_contents.roles = true;
        else if (path != databaseName)
            r->m_music << path.mid(musicPrefix.size());
    }
    if (rc != ARCHIVE_EOF)
        refuse(damaged);
    // The music of an automatic copy, from the pool beside it, checked as the packed music is.
    const QString pool = poolFolder(info.absolutePath());
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (!it->pooled)
            continue;
        const QString &path = it.key();
        const QString lost = QStringLiteral(
            "bu otomatik yedeğin müziği Yedekler klasöründeki %1 klasöründe bulunamadı (%2); o "
            "klasör silinmiş ya da yedek tek başına başka yere taşınmış olabilir. Başka bir "
            "yedek seçin");
        const int in = ::open(QFile::encodeName(pool + QString::fromLatin1(it->sha256)).constData(),
                              O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        QFile source;
        struct stat status {};
        if (in < 0 || ::fstat(in, &status) != 0 || !S_ISREG(status.st_mode) ||
            !source.open(in, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (in >= 0)
                ::close(in);
            refuse(lost.arg(poolName, path.mid(musicPrefix.size()).left(200)));
        }
        QFile file;
        create(path, file);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        qint64 written = 0;
        qint64 n;
        // One byte past the stated size tells a grown file from a whole one.
        while ((n = source.read(buffer.data(), qMin<qint64>(Chunk, it->size + 1 - written))) > 0) {
            written += n;
            if (written > it->size)
                break;
            put(file, hash, n);
        }
        finish(file);
        if (written != it->size || hash.result().toHex() != it->sha256)
            refuse(QStringLiteral("bu otomatik yedeğin %1 müziği %2 klasöründe bozulmuş "
                                  "(denetim toplamı tutmuyor). Başka bir yedek seçin")
                       .arg(path.mid(musicPrefix.size()).left(200), poolName));
        it->seen = true;
        r->m_music << path.mid(musicPrefix.size());
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        if (!it->seen)
            refuse(damaged);

    // The database itself: whole, and a schedule.
    {
        Sqlite db;
        const QString file = fresh + databaseName;
        if (!db.open(file, SQLITE_OPEN_READWRITE))
            refuse(QStringLiteral("yedekteki veritabanı açılamıyor"));
        const auto check = db.column("PRAGMA integrity_check");
        if (!check || check->value(0) != QLatin1String("ok"))
            refuse(QStringLiteral("yedekteki veritabanı bozuk"));
        const auto columns = db.column("SELECT name FROM pragma_table_info('Dersler')");
        for (const char *c : {"KayitID", "GunID", "DersSaati", "DersBaslama", "Muzik", "Sure"})
            if (!columns || !columns->contains(QLatin1String(c)))
                refuse(QStringLiteral("yedekteki veritabanı bir zil programı değil"));
        db.exec("PRAGMA journal_mode=DELETE");
        Contents &c = r->m_contents;
        c.bells =
            db.column("SELECT count(*) FROM Dersler").value_or(QStringList{}).value(0).toInt();
        if (db.hasTable(QStringLiteral("ProgramDersleri")))
            c.bells += db.column("SELECT count(*) FROM ProgramDersleri")
                           .value_or(QStringList{})
                           .value(0)
                           .toInt();
        if (db.hasTable(QStringLiteral("TekSeferlik")))
            c.bells += db.column("SELECT count(*) FROM TekSeferlik")
                           .value_or(QStringList{})
                           .value(0)
                           .toInt();
        if (db.hasTable(QStringLiteral("Programlar")))
            c.programmes += db.column("SELECT count(*) FROM Programlar")
                                .value_or(QStringList{})
                                .value(0)
                                .toInt();
        for (const QString &d :
             db.column("SELECT DISTINCT GunID FROM Dersler ORDER BY GunID").value_or(QStringList{}))
            c.days << d.toInt();
        c.musicFiles = int(r->m_music.size());
    }
    return r;
}

QString Contents::line() const {
    QStringList days;
    for (int d : this->days)
        days << GunAdlari().value(d);
    return QStringLiteral("Yedeğin tarihi: %1\nProgram sürümü: %2\nZil sayısı: %3 (%4 program)\n"
                          "Zil çalan günler: %5\nMüzik dosyası: %6 (%7 MB)\nYetkiler (PIN'ler): %8")
        .arg(made.isValid() ? made.toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                            : QStringLiteral("?"),
             version)
        .arg(bells)
        .arg(programmes)
        .arg(days.isEmpty() ? QStringLiteral("yok") : days.join(QStringLiteral(", ")))
        .arg(musicFiles)
        .arg(double(bytes) / (1024 * 1024), 0, 'f', 1)
        .arg(roles ? QStringLiteral("yedekteki geri yüklenir")
                   : QStringLiteral("yedekte yok, şimdiki yetkiler kalır"));
}

// --- putting in place ---

namespace {
// A restore stopped dead by the fault hook, as if the process had been killed there.
class Killed : public ZilError {
public:
    using ZilError::ZilError;
};

// One line per rename or new folder, written and synced before it is done, so that a restore
// cut off anywhere can be undone from it.
class Journal {
public:
    explicit Journal(const QString &file)
        : m_file(file) {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw ZilError(
                QStringLiteral("Geri yükleme başlatılamadı: veri klasörüne yazılamıyor"));
    }
    void note(const QString &line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        if (m_file.write(bytes) != bytes.size() || !m_file.flush() || ::fsync(m_file.handle()) != 0)
            throw ZilError(QStringLiteral("Geri yükleme sürdürülemedi: disk yazılamıyor"));
    }

private:
    QFile m_file;
};

bool exists(const QString &path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

bool renameFile(const QString &from, const QString &to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Undoes the journal's steps, newest first; each one only when it is seen to have happened.
void undo(const QString &staging) {
    QFile file(staging + journalName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QStringList f = it->split(QLatin1Char('\t'));
        if (f.value(0) == QLatin1String("move") && f.size() == 3) {
            if (exists(f[2]) && !exists(f[1]))
                renameFile(f[2], f[1]);
        } else if (f.value(0) == QLatin1String("mkdir") && f.size() == 2) {
            QDir().rmdir(f[1]);
        }
    }
}

void removeStaging(const QString &staging) {
    if (!staging.isEmpty())
        QDir(staging).removeRecursively();
}

// Whoever runs the bells must read what is put in place: the new files take the permissions
// of the database they replace, which the installation gave the staff group.
void matchPermissions(const QString &path, bool folder, mode_t model) {
    mode_t mode = model & 0666;
    if (folder)
        mode |= (mode & 0444) >> 2;
    ::chmod(QFile::encodeName(path).constData(), mode);
}
} // namespace

void Restore::apply() {
    const auto step = [](const QString &name) {
        if (g_faultHook && !g_faultHook(name))
            throw Killed(QStringLiteral("Geri yükleme yarıda kesildi"));
    };
    const QString live = m_dataFolder;
    const QString fresh = m_staging + QStringLiteral("yeni/");
    const QString old = m_staging + QStringLiteral("eski/");

    // A folder without a schedule yet (a new computer) has nothing to keep or to lock.
    const bool hadDatabase = exists(live + databaseName);
    step(QStringLiteral("yedek"));
    if (hadDatabase)
        m_safetyCopy = keepBefore(live, QStringLiteral("geri-yukleme"));

    struct stat model {};
    if (::stat(QFile::encodeName(live + databaseName).constData(), &model) != 0)
        model.st_mode = 0660;
    matchPermissions(fresh + databaseName, false, model.st_mode);

    try {
        step(QStringLiteral("kilit"));
        // No writer of this or another process is half way through a change while files move.
        Sqlite lock;
        if (hadDatabase && !lock.open(live + databaseName, SQLITE_OPEN_READWRITE))
            throw ZilError(QStringLiteral("Veritabanı açılamadı: ") + lock.error());
        if (hadDatabase)
            sqlite3_busy_timeout(lock.db, LockWaitMs);
        if (hadDatabase && !lock.exec("BEGIN EXCLUSIVE"))
            throw ZilError(QStringLiteral("Veritabanı şu anda kullanılıyor, biraz sonra yeniden "
                                          "deneyin (") +
                           lock.error() + QLatin1Char(')'));
        Journal journal(m_staging + journalName);
        const auto move = [&](const QString &from, const QString &to) {
            step(QStringLiteral("taşı ") + QFileInfo(to).fileName());
            journal.note(QStringLiteral("move\t%1\t%2").arg(from, to));
            if (!renameFile(from, to))
                throw ZilError(QStringLiteral("Dosya yerine konamadı: ") +
                               QFileInfo(to).fileName());
        };
        const auto makeFolder = [&](const QString &path) {
            QStringList missing;
            for (QString p = QDir::cleanPath(path); !exists(p); p = QFileInfo(p).absolutePath())
                missing.prepend(p);
            for (const QString &p : std::as_const(missing)) {
                step(QStringLiteral("klasör ") + QFileInfo(p).fileName());
                journal.note(QStringLiteral("mkdir\t") + p);
                if (!QDir().mkdir(p))
                    throw ZilError(QStringLiteral("Klasör oluşturulamadı: ") + p);
                matchPermissions(p, true, model.st_mode);
            }
        };
        for (const QString &name : std::as_const(m_music)) {
            const QString target = live + musicPrefix + name;
            matchPermissions(fresh + musicPrefix + name, false, model.st_mode);
            makeFolder(QFileInfo(target).absolutePath());
            if (exists(target)) {
                makeFolder(QFileInfo(old + musicPrefix + name).absolutePath());
                move(target, old + musicPrefix + name);
            }
            move(fresh + musicPrefix + name, target);
        }
        makeFolder(old);
        // A backup without roles (an older one) leaves the PINs as they are.
        if (m_contents.roles) {
            matchPermissions(fresh + rolesName, false, model.st_mode & 0660);
            if (exists(live + rolesName))
                move(live + rolesName, old + rolesName);
            move(fresh + rolesName, live + rolesName);
        }
        // The database last: once it is in place the restore has happened.
        if (hadDatabase)
            move(live + databaseName, old + databaseName);
        move(fresh + databaseName, live + databaseName);
        step(QStringLiteral("bitir"));
        QFile::remove(m_staging + journalName);
    } catch (const Killed &) {
        // The process stopped dead here: what it left is recoverInterrupted's.
        m_staging.clear();
        ::close(std::exchange(m_lock, -1));
        throw;
    } catch (...) {
        undo(m_staging);
        QFile::remove(m_staging + journalName);
        throw;
    }
    ::sync();
}

Restore::~Restore() {
    // The journal is only left by a restore broken off dead; otherwise the staging goes.
    if (!m_staging.isEmpty() && !QFileInfo::exists(m_staging + journalName))
        removeStaging(m_staging);
    if (m_lock >= 0)
        ::close(m_lock);
}

bool recoverInterrupted(const QString &dataFolder) {
    bool undone = false;
    const QDir folder(folderOf(dataFolder));
    for (const QString &name :
         folder.entryList({stagingPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden)) {
        const QString staging = folder.filePath(name) + QLatin1Char('/');
        // A restore another process is doing right now holds its lock.
        const int lock = ::open(QFile::encodeName(staging + lockName).constData(),
                                O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            ::close(lock);
            continue;
        }
        struct CloseLock {
            int fd;
            ~CloseLock() {
                if (fd >= 0)
                    ::close(fd);
            }
        } closeLock{lock};
        if (QFileInfo::exists(staging + journalName)) {
            undo(staging);
            undone = true;
        }
        removeStaging(staging);
    }
    return undone;
}

// --- automatic copies ---
// Plain .tar: the music in them is compressed already, and gzip would double the time a copy
// takes for a file hardly smaller.

namespace {
const QString dailyKey = QStringLiteral("YedekGunluk");
const QString monthlyKey = QStringLiteral("YedekAylik");

// Deletes all but the newest `keep` files matching the pattern; the names sort by date.
void prune(const QString &folder, const QString &pattern, int keep) {
    QStringList files = QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
    while (files.size() > keep)
        QFile::remove(folder + files.takeFirst());
}
} // namespace

Keeping keeping(const QString &databaseFile) {
    Keeping k;
    if (!QFileInfo::exists(databaseFile))
        return k;
    // A file that cannot be read now is no reason to prune with the defaults: the school may
    // keep more.
    Sqlite db;
    const auto read = [&](const char *sql, const QString &bound = {}) {
        std::optional<QStringList> rows;
        if (db.db || db.open(databaseFile, SQLITE_OPEN_READONLY))
            rows = db.column(sql, bound);
        if (!rows)
            throw ZilError(QStringLiteral("Yedek ayarları okunamadı: ") + db.error());
        return *rows;
    };
    if (read("SELECT name FROM sqlite_master WHERE type='table' AND name='TakvimAyar'").isEmpty())
        return k;
    bool ok = false;
    const int daily =
        read("SELECT Deger FROM TakvimAyar WHERE Anahtar=?", dailyKey).value(0).toInt(&ok);
    if (ok && daily >= 1 && daily <= 365)
        k.daily = daily;
    const int monthly =
        read("SELECT Deger FROM TakvimAyar WHERE Anahtar=?", monthlyKey).value(0).toInt(&ok);
    if (ok && monthly >= 0 && monthly <= 120)
        k.monthly = monthly;
    return k;
}

void setKeeping(const QString &databaseFile, const Keeping &keep) {
    if (keep.daily < 1 || keep.daily > 365)
        throw ZilError(QStringLiteral("Günlük yedek sayısı 1 ile 365 arasında olmalı."));
    if (keep.monthly < 0 || keep.monthly > 120)
        throw ZilError(QStringLiteral("Aylık yedek sayısı 0 ile 120 arasında olmalı."));
    Sqlite db;
    if (!db.open(databaseFile, SQLITE_OPEN_READWRITE))
        throw ZilError(QStringLiteral("Veritabanı açılamadı: ") + db.error());
    // The calendar's settings table, as the calendar makes it.
    const QByteArray sql =
        QStringLiteral("BEGIN IMMEDIATE; CREATE TABLE IF NOT EXISTS TakvimAyar (Anahtar TEXT "
                       "PRIMARY KEY, Deger TEXT NOT NULL); INSERT OR REPLACE INTO TakvimAyar "
                       "VALUES('%1','%2'); INSERT OR REPLACE INTO TakvimAyar VALUES('%3','%4'); "
                       "COMMIT;")
            .arg(dailyKey)
            .arg(keep.daily)
            .arg(monthlyKey)
            .arg(keep.monthly)
            .toUtf8();
    if (!db.exec(sql.constData())) {
        const QString error = db.error();
        db.exec("ROLLBACK");
        throw ZilError(QStringLiteral("Yedek ayarları kaydedilemedi: ") + error);
    }
}

namespace {
QString finishDaily(const QString &folder, const QString &daily,
                    const std::function<Made()> &packing, const QDate &today, const Keeping &keep) {
    QString made;
    if (packing) {
        packing();
        made = daily;
    }
    const QString monthly =
        folder + QStringLiteral("aylik-%1.tar").arg(today.toString(QStringLiteral("yyyy-MM")));
    if (keep.monthly > 0 && !QFileInfo::exists(monthly)) {
        // The month's first daily copy, by a second name that costs no space.
        if (::link(QFile::encodeName(daily).constData(), QFile::encodeName(monthly).constData()) !=
            0)
            QFile::copy(daily, monthly);
    }
    prune(folder, QStringLiteral("gunluk-*.tar"), keep.daily);
    prune(folder, QStringLiteral("aylik-*.tar"), keep.monthly);
    prunePool(folder);
    return made;
}
} // namespace

std::function<QString()> keepDailyAside(const QString &dataFolder, const QDate &today) {
    const QString folder = madeCopiesFolder(dataFolder);
    const Keeping keep = keeping(folderOf(dataFolder) + databaseName);
    const QString daily =
        folder + QStringLiteral("gunluk-%1.tar").arg(today.toString(QStringLiteral("yyyy-MM-dd")));
    std::function<Made()> packing;
    if (!QFileInfo::exists(daily))
        packing = makeAside(dataFolder, daily, Music::Pooled);
    return [=] { return finishDaily(folder, daily, packing, today, keep); };
}

QString keepDaily(const QString &dataFolder, const QDate &today) {
    return keepDailyAside(dataFolder, today)();
}

namespace {
QString beforeFile(const QString &dataFolder, const QString &why) {
    const QString folder = madeCopiesFolder(dataFolder);
    return folder +
           QStringLiteral("once-%1-%2.tar")
               .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss-zzz")),
                    why);
}

void pruneBefore(const QString &dataFolder, const Keeping &keep) {
    prune(copiesFolder(dataFolder), QStringLiteral("once-*.tar"), keep.daily);
    prunePool(copiesFolder(dataFolder));
}
} // namespace

void yieldToTheBells() {
    const pid_t thread = ::gettid();
    ::setpriority(PRIO_PROCESS, id_t(thread), 19);
    // Best effort, lowest level (7); honoured by the disk schedulers that know priorities.
    constexpr int WhoProcess = 1, ClassBestEffort = 2, ClassShift = 13;
    ::syscall(SYS_ioprio_set, WhoProcess, thread, (ClassBestEffort << ClassShift) | 7);
}

QDateTime processStarted() {
    return g_started;
}

int removeLeftovers(const QString &dataFolder, const QDateTime &before) {
    const QString folder = copiesFolder(dataFolder);
    if (!QFileInfo::exists(folder))
        return 0;
    CopiesLock cleaning(folder, true);
    if (!cleaning.held())
        return 0;
    int removed = 0;
    // A copy's archive and its database snapshot in Yedekler, a music file in the pool: each
    // written under a hidden name until it is whole.
    for (const QString &where : {folder, poolFolder(folder)}) {
        const QDir dir(where);
        const QFileInfoList files =
            dir.entryInfoList({QLatin1Char('*') + partialSuffix, QStringLiteral(".*.mdb")},
                              QDir::Files | QDir::Hidden | QDir::System);
        for (const QFileInfo &file : files)
            if (file.fileName().startsWith(QLatin1Char('.')) && file.lastModified() < before &&
                QFile::remove(file.filePath()))
                ++removed;
    }
    return removed;
}

namespace {
// The pooled music a copy names; nothing when it is no pooled copy or cannot be read.
QStringList pooledSums(const QString &archiveFile) {
    const Utf8Names utf8;
    Reader reader;
    archive_read_support_filter_gzip(reader.a);
    archive_read_support_format_tar(reader.a);
    archive_entry *entry = nullptr;
    if (archive_read_open_filename(reader.a, QFile::encodeName(archiveFile).constData(), 65536) !=
            ARCHIVE_OK ||
        archive_read_next_header(reader.a, &entry) != ARCHIVE_OK ||
        QString::fromUtf8(archive_entry_pathname(entry)) != manifestName ||
        archive_entry_size(entry) > ManifestLimit)
        return {};
    QByteArray bytes;
    QByteArray buffer(65536, Qt::Uninitialized);
    la_ssize_t n;
    while ((n = archive_read_data(reader.a, buffer.data(), size_t(buffer.size()))) > 0)
        bytes.append(buffer.constData(), n);
    if (n < 0)
        return {};
    QStringList sums;
    const QJsonArray entries =
        QJsonDocument::fromJson(bytes).object().value(QStringLiteral("entries")).toArray();
    for (const QJsonValue &v : entries)
        if (v.toObject().value(QStringLiteral("pool")).toBool())
            sums << v.toObject().value(QStringLiteral("sha256")).toString();
    return sums;
}
} // namespace

int prunePool(const QString &archiveFolder) {
    const QString pool = poolFolder(archiveFolder);
    if (!QFileInfo::exists(pool))
        return 0;
    CopiesLock cleaning(archiveFolder, true);
    if (!cleaning.held())
        return 0;
    QSet<QString> named;
    const QDir copies(archiveFolder);
    for (const QString &copy :
         copies.entryList({QStringLiteral("*.tar"), QStringLiteral("*.tar.gz")}, QDir::Files))
        for (const QString &sum : pooledSums(copies.filePath(copy)))
            named.insert(sum);
    int removed = 0;
    for (const QString &file : QDir(pool).entryList(QDir::Files))
        if (!named.contains(file) && QFile::remove(pool + file))
            ++removed;
    return removed;
}

QString keepBefore(const QString &dataFolder, const QString &why) {
    const QString file = beforeFile(dataFolder, why);
    make(dataFolder, file, Music::Pooled);
    pruneBefore(dataFolder, keeping(folderOf(dataFolder) + databaseName));
    return file;
}

void keepBeforeAside(const QString &dataFolder, const QString &why,
                     std::function<void(const QString &message)> failed) {
    const QString file = beforeFile(dataFolder, why);
    const QFileInfo target(file);
    const QString snapshot =
        target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".mdb");
    snapshotDatabase(folderOf(dataFolder) + databaseName, snapshot);
    // Read here, like the snapshot: the change this copy comes before is written the moment we
    // return, and a read lock the worker took on the live file then would make that save fail,
    // as the store never waits for a lock.
    const Keeping keep = keeping(folderOf(dataFolder) + databaseName);
    QThread *worker = QThread::create([=] {
        yieldToTheBells();
        try {
            pack(dataFolder, snapshot, file, Music::Pooled);
            pruneBefore(dataFolder, keep);
        } catch (const ZilError &error) {
            if (failed)
                failed(QStringLiteral("Değişiklikten önceki yedek alınamadı: ") + error.message());
        }
    });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::LowPriority);
}

} // namespace Backup
