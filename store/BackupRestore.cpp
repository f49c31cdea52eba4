#include "Backup.h"

#include "BackupParts.h"
#include "Schedule.h"
#include "ScheduleQuery.h"

namespace Backup {

using namespace detail;

// --- checking and unpacking ---

namespace {
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

} // namespace Backup
