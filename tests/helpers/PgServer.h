#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own: a cluster made by initdb in a temporary folder, started
// and stopped by pg_ctl, listening on a socket in that folder and on 127.0.0.1 at a free port.
// Run as root, the server's programs run as the unprivileged `postgres` user, who owns the
// folder. Every login, the owner's included, needs its password.
class PgServer {
public:
    PgServer();
    ~PgServer();

    // Makes the cluster and starts it; false (with why()) when PostgreSQL is not installed or
    // would not start.
    bool start();
    bool stop();
    // Starts it again on the same folder and port.
    bool restart();
    QString why() const { return m_why; }

    QString socketFolder() const { return m_dir.path() + QStringLiteral("/socket"); }
    QString folder() const { return m_dir.path(); }
    int port() const { return m_port; }
    static QString owner() { return QStringLiteral("zil_kurulum"); }
    static QString ownerPassword() { return QStringLiteral("kurulum-parolasi"); }

    // Runs SQL through psql as the owner on database `database`; false (with why()) when psql
    // reports an error. A file name starting with ':' is read from the program's resources.
    bool runSql(const QString &sql, const QString &database = QStringLiteral("postgres"));
    bool runFile(const QString &file, const QString &database);
    // psql's rows of a query, one line each, columns separated by '|'.
    QStringList rows(const QString &sql, const QString &database);

    // The server's process id, for its figures; 0 when not running.
    qint64 pid() const;

    // Extra lines for postgresql.conf before the first start (ssl settings, limits).
    void addConfig(const QString &lines) { m_extraConfig += lines + QLatin1Char('\n'); }
    // Hands a file the server must read (a key, a certificate) to the server's user.
    void giveToServer(const QString &file) const;

private:
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr,
             const QByteArray &input = {}, int timeoutMs = 60000);
    QString m_bin;
    QTemporaryDir m_dir;
    int m_port = 0;
    bool m_running = false;
    QString m_why;
    QString m_extraConfig;
};
