#pragma once

#include "ZilError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>
#include <optional>

// A store failure, carrying the database driver's own message.
class EStoreError : public ZilError {
public:
    using ZilError::ZilError;
};

// The one query object every part reads and writes the schedule through. Each use goes
// close, clear text, add line, bind, then open (rows) or execute (commands). A query's rows are
// read whole on open: the record count is then exact, and no read lock outlives the call.
class ScheduleQuery {
public:
    ScheduleQuery();
    ~ScheduleQuery();
    ScheduleQuery(const ScheduleQuery &) = delete;
    ScheduleQuery &operator=(const ScheduleQuery &) = delete;

    // Whether the bells of this process ring on its main thread: true until told otherwise.
    // The window of a computer whose service rings says false.
    static void setBellsRingHere(bool ring);
    // How long a connection of the calling thread waits for another's lock: not at all on the
    // thread that rings, a bounded moment anywhere else.
    static int lockWaitMs();

    // The schedule file to use. The file is opened on the next open or execute, and again after
    // a failure or once the path names another file (replaced or deleted), so a store that comes
    // back is used without a restart.
    void SetConnection(const QString &databaseFile);
    QString Connection() const { return m_file; }

    void Close();
    void ClearText();
    void AddLine(const QString &line);
    // Values go in as bound parameters, one per "?" in order; never into the statement text.
    void Bind(const QVariant &value);

    void Open();
    // Returns the number of rows the command changed.
    int Execute();

    // A whole use in one call: close, the statement as the only line, its values, then open or
    // execute.
    void OpenStatement(const QString &statement, const QVariantList &values = {});
    int ExecuteStatement(const QString &statement, const QVariantList &values = {});

    // What tells a reader whether the schedule may have changed since it last looked: writes
    // through this object, writes by other connections and programs (SQLite's data_version),
    // and the file opened afresh. Cheap enough to ask every second.
    struct ChangeStamp {
        quint64 opened = 0;
        qint64 dataVersion = -1;
        quint64 ownWrites = 0;
        bool operator==(const ChangeStamp &) const = default;
    };
    ChangeStamp Changes();

    int RecordCount() const { return int(m_rows.size()); }
    bool Eof() const { return m_current >= m_rows.size(); }
    QVariant Field(int column) const;
    QString FieldAsText(int column) const;
    int FieldAsInteger(int column) const;
    void Next();

    // Commands between begin and commit are written together or not at all. One begun while
    // another is open is part of it.
    class Transaction {
    public:
        explicit Transaction(ScheduleQuery &query);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        void Commit();

    private:
        ScheduleQuery &m_query;
        bool m_done = false;
        bool m_joined = false;
    };

private:
    QSqlDatabase database();
    void ensureOpen();
    // Before a write: a file that was read-only when opened is opened again, so write access
    // given back meanwhile is used.
    void ensureWritable();
    void dropConnection();
    [[noreturn]] void fail(const QString &what, const QSqlError &error);

    // Which file a path names, so a file replaced or deleted under the open connection is
    // noticed: SQLite keeps reading the file it opened, even after it is gone from the folder.
    struct FileIdentity {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileIdentity &) const = default;
    };
    static std::optional<FileIdentity> identityOf(const QString &file);

    QString m_connectionName;
    std::unique_ptr<QSqlQuery> m_dataVersion; // prepared once per connection
    quint64 m_opens = 0;
    quint64 m_writes = 0;
    QString m_file;
    bool m_open = false;
    std::optional<FileIdentity> m_openedFile;
    bool m_openedReadOnly = false;
    int m_openedWait = 0;
    bool m_inTransaction = false;
    QStringList m_text;
    QVariantList m_bound;
    QVector<QVariantList> m_rows;
    qsizetype m_current = 0;
};
