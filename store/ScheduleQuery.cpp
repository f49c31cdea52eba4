#include "ScheduleQuery.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>

ScheduleQuery::ScheduleQuery()
    : m_connectionName(QStringLiteral("zil-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

ScheduleQuery::~ScheduleQuery()
{
    dropConnection();
}

void ScheduleQuery::SetConnection(const QString &databaseFile)
{
    dropConnection();
    m_file = databaseFile;
}

QSqlDatabase ScheduleQuery::database()
{
    return QSqlDatabase::database(m_connectionName, false);
}

void ScheduleQuery::dropConnection()
{
    m_open = false;
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = database();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

void ScheduleQuery::fail(const QString &what, const QString &driverText)
{
    throw EStoreError(what + QStringLiteral(": ") + driverText);
}

void ScheduleQuery::ensureOpen()
{
    if (m_open)
        return;
    dropConnection();
    const QString shownName = QFileInfo(m_file).fileName();
    if (m_file.isEmpty())
        throw EStoreError(QStringLiteral("Veritabanı dosyası belirtilmedi"));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    // mode=rw: a missing file is an error, never a new empty schedule.
    db.setDatabaseName(QUrl::fromLocalFile(m_file).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=500"));
    if (!db.open())
        fail(shownName + QStringLiteral(" açılamadı"), db.lastError().text());

    // SQLite opens any file lazily; reading the catalogue proves it is really a database.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        const QString text = probe.lastError().text();
        probe = QSqlQuery();
        db.close();
        fail(shownName + QStringLiteral(" bir zil veritabanı değil"), text);
    }
    m_open = true;
}

void ScheduleQuery::Close()
{
    m_rows.clear();
    m_current = 0;
}

void ScheduleQuery::ClearText()
{
    m_text.clear();
    m_bound.clear();
}

void ScheduleQuery::AddLine(const QString &line)
{
    m_text.append(line);
}

void ScheduleQuery::Bind(const QVariant &value)
{
    m_bound.append(value);
}

namespace {
void bindAll(QSqlQuery &query, const QVariantList &values)
{
    for (const QVariant &value : values)
        query.addBindValue(value);
}
} // namespace

void ScheduleQuery::Open()
{
    Close();
    ensureOpen();
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(m_text.join(QLatin1Char('\n'))))
        fail(QStringLiteral("Sorgu çalıştırılamadı"), query.lastError().text());
    bindAll(query, m_bound);
    if (!query.exec())
        fail(QStringLiteral("Sorgu çalıştırılamadı"), query.lastError().text());
    const int columns = query.record().count();
    while (query.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row.append(query.value(c));
        m_rows.append(std::move(row));
    }
    if (query.lastError().isValid())
        fail(QStringLiteral("Sorgu okunamadı"), query.lastError().text());
}

int ScheduleQuery::Execute()
{
    Close();
    ensureOpen();
    QSqlQuery query(database());
    if (!query.prepare(m_text.join(QLatin1Char('\n'))))
        fail(QStringLiteral("Komut çalıştırılamadı"), query.lastError().text());
    bindAll(query, m_bound);
    if (!query.exec())
        fail(QStringLiteral("Komut çalıştırılamadı"), query.lastError().text());
    return query.numRowsAffected();
}

void ScheduleQuery::OpenStatement(const QString &statement, const QVariantList &values)
{
    Close();
    ClearText();
    AddLine(statement);
    m_bound = values;
    Open();
}

int ScheduleQuery::ExecuteStatement(const QString &statement, const QVariantList &values)
{
    Close();
    ClearText();
    AddLine(statement);
    m_bound = values;
    return Execute();
}

QVariant ScheduleQuery::Field(int column) const
{
    if (Eof())
        throw EStoreError(QStringLiteral("Okunacak kayıt yok"));
    const QVariantList &row = m_rows.at(m_current);
    if (column < 0 || column >= row.size())
        throw EStoreError(QStringLiteral("Kayıtta %1. sütun yok").arg(column));
    return row.at(column);
}

QString ScheduleQuery::FieldAsText(int column) const
{
    return Field(column).toString();
}

int ScheduleQuery::FieldAsInteger(int column) const
{
    const QVariant value = Field(column);
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
    return number;
}

void ScheduleQuery::Next()
{
    if (!Eof())
        ++m_current;
}

ScheduleQuery::Transaction::Transaction(ScheduleQuery &query) : m_query(query)
{
    m_query.ensureOpen();
    QSqlDatabase db = m_query.database();
    if (!db.transaction())
        m_query.fail(QStringLiteral("Kayıt başlatılamadı"), db.lastError().text());
}

ScheduleQuery::Transaction::~Transaction()
{
    if (!m_done)
        m_query.database().rollback();
}

void ScheduleQuery::Transaction::Commit()
{
    QSqlDatabase db = m_query.database();
    if (!db.commit()) {
        const QString text = db.lastError().text();
        db.rollback();
        m_done = true;
        m_query.fail(QStringLiteral("Kayıt tamamlanamadı"), text);
    }
    m_done = true;
}
