#include "Backup.h"

#include "BackupParts.h"
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

using namespace detail;

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
