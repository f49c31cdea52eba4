#include "ScheduleQuery.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <atomic>

#include <sys/stat.h>

ScheduleQuery::ScheduleQuery()
    : m_connectionName(QStringLiteral("zil-") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

ScheduleQuery::~ScheduleQuery() {
    dropConnection();
}

void ScheduleQuery::SetConnection(const QString &databaseFile) {
    dropConnection();
    m_file = databaseFile;
}

QSqlDatabase ScheduleQuery::database() {
    return QSqlDatabase::database(m_connectionName, false);
}

void ScheduleQuery::dropConnection() {
    m_open = false;
    m_dataVersion.reset();
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = database();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

namespace {
// SQLite's primary result codes that a user can do something about.
enum SqliteCode {
    Busy = 5,
    Locked = 6,
    ReadOnly = 8,
    IoError = 10,
    Corrupt = 11,
    Full = 13,
    CantOpen = 14,
    NotADatabase = 26
};

// The driver's text is English and terse; the user is told in Turkish what it means.
QString meaningOf(const QSqlError &error) {
    bool known = false;
    const int code = error.nativeErrorCode().toInt(&known) & 0xff;
    if (!known)
        return {};
    switch (code) {
    case Busy:
    case Locked:
        return QStringLiteral("veritabanı şu anda başka bir program tarafından kullanılıyor, "
                              "biraz sonra yeniden deneyin");
    case ReadOnly:
        return QStringLiteral("veritabanı dosyası salt okunur, değişiklik yazılamıyor");
    case IoError:
        return QStringLiteral("veritabanı dosyası okunurken ya da yazılırken disk hatası oluştu");
    case Corrupt:
        return QStringLiteral("veritabanı dosyası bozuk, yedekten geri yükleyin");
    case Full:
        return QStringLiteral("disk dolu");
    case CantOpen:
        return QStringLiteral("veritabanı dosyası bulunamadı ya da açılamadı");
    case NotADatabase:
        return QStringLiteral("dosya bir veritabanı değil");
    default:
        return {};
    }
}

// A file another program holds locked is a schedule all the same, and the action succeeds later.
bool isBusy(const QSqlError &error) {
    bool known = false;
    const int code = error.nativeErrorCode().toInt(&known) & 0xff;
    return known && (code == Busy || code == Locked);
}

// The thread that rings never waits for a file another connection holds: a wait would hold up
// a bell and the clock. There a busy file fails at once; the bell clock rings from the day it
// holds and keeps its record lines until the file is free. The process's own snapshots are taken
// on that thread too, between its writes, so its saves never meet them. A window whose bells ring
// in the service waits a bounded moment instead, for the service's record lines, shared schedule
// writes and copies, which hold the file for milliseconds.
constexpr int boundedWaitMs = 3000;
std::atomic<bool> g_bellsRingHere{true};

bool onMainThread() {
    const QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}
} // namespace

void ScheduleQuery::setBellsRingHere(bool ring) {
    g_bellsRingHere = ring;
}

int ScheduleQuery::lockWaitMs() {
    return g_bellsRingHere && onMainThread() ? 0 : boundedWaitMs;
}

void ScheduleQuery::fail(const QString &what, const QSqlError &error) {
    // The file is opened afresh at the next use, so a store that was read-only or replaced
    // meanwhile is used as it is now.
    m_open = false;
    const QString meaning = meaningOf(error);
    const QString driverText = error.text();
    throw EStoreError(what + QStringLiteral(": ") +
                      (meaning.isEmpty()
                           ? driverText
                           : meaning + QStringLiteral(" (") + driverText + QLatin1Char(')')));
}

std::optional<ScheduleQuery::FileIdentity> ScheduleQuery::identityOf(const QString &file) {
    struct stat status {};
    if (::stat(QFile::encodeName(file).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

void ScheduleQuery::ensureOpen() {
    if (m_open) {
        // A transaction keeps its connection: opening again would split it in two.
        if (m_inTransaction)
            return;
        // One stat per use. A backup moved over the file, or a deleted file, is opened again
        // below: the new file is read, and a missing one fails as at start-up.
        const std::optional<FileIdentity> now = identityOf(m_file);
        if (now && now == m_openedFile && m_openedWait == lockWaitMs())
            return;
    }
    dropConnection();
    const QString shownName = QFileInfo(m_file).fileName();
    if (m_file.isEmpty())
        throw EStoreError(QStringLiteral("Veritabanı dosyası belirtilmedi"));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    // mode=rw: a missing file is an error, never a new empty schedule.
    db.setDatabaseName(QUrl::fromLocalFile(m_file).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?mode=rw"));
    const int wait = lockWaitMs();
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(wait));
    // Taken before opening: a file swapped in meanwhile then only costs one more reopen.
    const std::optional<FileIdentity> identity = identityOf(m_file);
    if (!db.open())
        fail(shownName + QStringLiteral(" açılamadı"), db.lastError());

    // SQLite opens any file lazily; reading the catalogue proves it is really a database, and
    // the bells' table that it is a schedule: an emptied file is a database without one.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND "
                                   "name='Dersler'"))) {
        const QSqlError error = probe.lastError();
        probe = QSqlQuery();
        db.close();
        if (isBusy(error))
            throw EStoreError(shownName +
                              QStringLiteral(" şu anda başka bir program tarafından kullanılıyor, "
                                             "biraz sonra yeniden deneyin (") +
                              error.text() + QLatin1Char(')'));
        fail(shownName + QStringLiteral(" bir zil veritabanı değil"), error);
    }
    if (!probe.next() || probe.value(0).toInt() == 0) {
        probe = QSqlQuery();
        db.close();
        throw EStoreError(shownName + QStringLiteral(" bir zil veritabanı değil: dosyada zil "
                                                     "listesi yok, yedekten geri yükleyin"));
    }
    probe = QSqlQuery();
    m_open = true;
    ++m_opens;
    m_openedFile = identity;
    m_openedWait = wait;
    // SQLite falls back to reading alone when the file cannot be written.
    m_openedReadOnly = !QFileInfo(m_file).isWritable();
}

void ScheduleQuery::ensureWritable() {
    if (m_openedReadOnly && !m_inTransaction)
        m_open = false;
    ensureOpen();
}

void ScheduleQuery::Close() {
    m_rows.clear();
    m_current = 0;
}

void ScheduleQuery::ClearText() {
    m_text.clear();
    m_bound.clear();
}

void ScheduleQuery::AddLine(const QString &line) {
    m_text.append(line);
}

void ScheduleQuery::Bind(const QVariant &value) {
    m_bound.append(value);
}

namespace {
void bindAll(QSqlQuery &query, const QVariantList &values) {
    for (const QVariant &value : values)
        query.addBindValue(value);
}
} // namespace

void ScheduleQuery::Open() {
    Close();
    ensureOpen();
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(m_text.join(QLatin1Char('\n'))))
        fail(QStringLiteral("Sorgu çalıştırılamadı"), query.lastError());
    bindAll(query, m_bound);
    if (!query.exec())
        fail(QStringLiteral("Sorgu çalıştırılamadı"), query.lastError());
    const int columns = query.record().count();
    while (query.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row.append(query.value(c));
        m_rows.append(std::move(row));
    }
    if (query.lastError().isValid())
        fail(QStringLiteral("Sorgu okunamadı"), query.lastError());
}

int ScheduleQuery::Execute() {
    Close();
    ensureWritable();
    QSqlQuery query(database());
    if (!query.prepare(m_text.join(QLatin1Char('\n'))))
        fail(QStringLiteral("Komut çalıştırılamadı"), query.lastError());
    bindAll(query, m_bound);
    if (!query.exec())
        fail(QStringLiteral("Komut çalıştırılamadı"), query.lastError());
    ++m_writes;
    return query.numRowsAffected();
}

ScheduleQuery::ChangeStamp ScheduleQuery::Changes() {
    ensureOpen();
    if (!m_dataVersion) {
        m_dataVersion = std::make_unique<QSqlQuery>(database());
        m_dataVersion->setForwardOnly(true);
        if (!m_dataVersion->prepare(QStringLiteral("PRAGMA data_version"))) {
            const QSqlError error = m_dataVersion->lastError();
            m_dataVersion.reset();
            fail(QStringLiteral("Sorgu çalıştırılamadı"), error);
        }
    }
    if (!m_dataVersion->exec() || !m_dataVersion->next())
        fail(QStringLiteral("Sorgu okunamadı"), m_dataVersion->lastError());
    const qint64 version = m_dataVersion->value(0).toLongLong();
    // Finished at once, so no read lock is left standing between ticks.
    m_dataVersion->finish();
    return {m_opens, version, m_writes};
}

void ScheduleQuery::OpenStatement(const QString &statement, const QVariantList &values) {
    Close();
    ClearText();
    AddLine(statement);
    m_bound = values;
    Open();
}

int ScheduleQuery::ExecuteStatement(const QString &statement, const QVariantList &values) {
    Close();
    ClearText();
    AddLine(statement);
    m_bound = values;
    return Execute();
}

QVariant ScheduleQuery::Field(int column) const {
    if (Eof())
        throw EStoreError(QStringLiteral("Okunacak kayıt yok"));
    const QVariantList &row = m_rows.at(m_current);
    if (column < 0 || column >= row.size())
        throw EStoreError(QStringLiteral("Kayıtta %1. sütun yok").arg(column));
    return row.at(column);
}

QString ScheduleQuery::FieldAsText(int column) const {
    return Field(column).toString();
}

int ScheduleQuery::FieldAsInteger(int column) const {
    const QVariant value = Field(column);
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError(
            QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
    return number;
}

void ScheduleQuery::Next() {
    if (!Eof())
        ++m_current;
}

ScheduleQuery::Transaction::Transaction(ScheduleQuery &query)
    : m_query(query) {
    // Begun inside another, it joins that one: the outer commits or undoes the whole.
    if (m_query.m_inTransaction) {
        m_joined = true;
        return;
    }
    m_query.ensureWritable();
    // Statements rather than QSqlDatabase::transaction() and commit(): only a statement's error
    // carries SQLite's result code, which tells a busy file from a broken one.
    // A connection that waits takes the write lock first: SQLite gives up at once, without
    // waiting, on a transaction that read before it wrote while another writer was in.
    QSqlQuery begin(m_query.database());
    if (!begin.exec(m_query.m_openedWait > 0 ? QStringLiteral("BEGIN IMMEDIATE")
                                             : QStringLiteral("BEGIN")))
        m_query.fail(QStringLiteral("Kayıt başlatılamadı"), begin.lastError());
    m_query.m_inTransaction = true;
}

ScheduleQuery::Transaction::~Transaction() {
    if (m_joined)
        return;
    if (!m_done)
        QSqlQuery(m_query.database()).exec(QStringLiteral("ROLLBACK"));
    m_query.m_inTransaction = false;
}

void ScheduleQuery::Transaction::Commit() {
    if (m_joined)
        return;
    QSqlQuery commit(m_query.database());
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = commit.lastError();
        // A commit that could not take its lock leaves the transaction open.
        QSqlQuery(m_query.database()).exec(QStringLiteral("ROLLBACK"));
        m_done = true;
        m_query.fail(QStringLiteral("Kayıt tamamlanamadı"), error);
    }
    m_done = true;
}
