#include "PgServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTextStream>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {
// Debian installs each major version's programs in a folder of its own; the newest is taken.
QString serverPrograms() {
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    const QStringList found =
        versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString &v : found) {
        const QString bin = versions.filePath(v + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return {};
}

bool asRoot() {
    return ::geteuid() == 0;
}

// The unprivileged user the server runs as when the test is root.
const passwd *serverUser() {
    return ::getpwnam("postgres");
}
} // namespace

PgServer::PgServer()
    : m_bin(serverPrograms()) {}

PgServer::~PgServer() {
    if (m_running)
        stop();
}

void PgServer::giveToServer(const QString &file) const {
    if (!asRoot())
        return;
    // The server then fails to read it, and says so itself.
    if (const passwd *user = serverUser();
        user && ::chown(QFile::encodeName(file).constData(), user->pw_uid, user->pw_gid) != 0)
        qWarning("PgServer: %s could not be given to the server's user", qPrintable(file));
}

bool PgServer::run(const QString &program, const QStringList &arguments, QString *output,
                   const QByteArray &input, int timeoutMs) {
    QProcess process;
    QString command = program;
    QStringList args = arguments;
    const bool server = !program.endsWith(QLatin1String("psql"));
    if (server && asRoot()) {
        // PostgreSQL refuses to run as root.
        args.prepend(program);
        args.prepend(QStringLiteral("--"));
        args.prepend(QStringLiteral("postgres"));
        args.prepend(QStringLiteral("-u"));
        command = QStringLiteral("runuser");
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), ownerPassword());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_dir.path());
    process.start(command, args);
    if (!process.waitForStarted()) {
        m_why = command + QStringLiteral(" başlatılamadı");
        return false;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        m_why = program + QStringLiteral(": zaman aşımı");
        return false;
    }
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (output)
        *output = out;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_why = program + QStringLiteral(": ") + QString::fromUtf8(process.readAllStandardError()) +
                out;
        return false;
    }
    return true;
}

bool PgServer::start() {
    if (m_bin.isEmpty()) {
        m_why = QStringLiteral("PostgreSQL kurulu değil (scripts/install-deps)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_why = QStringLiteral("geçici klasör yok");
        return false;
    }
    if (asRoot() && !serverUser()) {
        m_why = QStringLiteral("postgres kullanıcısı yok");
        return false;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("socket"));
    QFile passwordFile(m_dir.filePath(QStringLiteral("parola")));
    if (!passwordFile.open(QIODevice::WriteOnly))
        return false;
    passwordFile.write(ownerPassword().toUtf8() + '\n');
    passwordFile.close();
    if (asRoot()) {
        giveToServer(m_dir.path());
        giveToServer(socketFolder());
        giveToServer(passwordFile.fileName());
    }
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            m_why = QStringLiteral("boş bağlantı noktası bulunamadı");
            return false;
        }
        m_port = probe.serverPort();
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    if (!run(m_bin + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), owner(),
              QStringLiteral("--pwfile=") + passwordFile.fileName(),
              QStringLiteral("--auth=scram-sha-256"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")}))
        return false;
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append))
        return false;
    conf.write(QStringLiteral("listen_addresses = '127.0.0.1'\nport = %1\n"
                              "unix_socket_directories = '%2'\nfsync = off\n"
                              "max_connections = 400\n")
                   .arg(m_port)
                   .arg(socketFolder())
                   .toUtf8());
    conf.write(m_extraConfig.toUtf8());
    conf.close();
    return restart();
}

bool PgServer::restart() {
    const QString data = m_dir.filePath(QStringLiteral("data"));
    if (!run(m_bin + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), data, QStringLiteral("-l"),
              m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
              QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")})) {
        QFile log(m_dir.filePath(QStringLiteral("server.log")));
        if (log.open(QIODevice::ReadOnly))
            m_why += QString::fromUtf8(log.readAll().right(2000));
        return false;
    }
    m_running = true;
    return true;
}

bool PgServer::stop() {
    const QString data = m_dir.filePath(QStringLiteral("data"));
    const bool stopped =
        run(m_bin + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), data, QStringLiteral("-m"), QStringLiteral("fast"),
             QStringLiteral("-w"), QStringLiteral("stop")});
    if (stopped)
        m_running = false;
    return stopped;
}

qint64 PgServer::pid() const {
    QFile file(m_dir.filePath(QStringLiteral("data/postmaster.pid")));
    if (!m_running || !file.open(QIODevice::ReadOnly))
        return 0;
    return file.readLine().trimmed().toLongLong();
}

bool PgServer::runSql(const QString &sql, const QString &database) {
    return run(m_bin + QStringLiteral("/psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), socketFolder(),
                QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-U"), owner(),
                QStringLiteral("-d"), database, QStringLiteral("-f"), QStringLiteral("-")},
               nullptr, sql.toUtf8());
}

bool PgServer::runFile(const QString &file, const QString &database) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        m_why = file + QStringLiteral(" okunamadı");
        return false;
    }
    return runSql(QString::fromUtf8(f.readAll()), database);
}

QStringList PgServer::rows(const QString &sql, const QString &database) {
    QString out;
    if (!run(m_bin + QStringLiteral("/psql"),
             {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
              QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
              QStringLiteral("-h"), socketFolder(), QStringLiteral("-p"), QString::number(m_port),
              QStringLiteral("-U"), owner(), QStringLiteral("-d"), database, QStringLiteral("-c"),
              sql},
             &out))
        return {QStringLiteral("HATA: ") + m_why};
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
