#include "PulseServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

namespace {
const char *const kSettings[] = {"PULSE_SERVER", "PULSE_CLIENTCONFIG", "PULSE_COOKIE",
                                 "ALSA_CONFIG_PATH", "JACK_NO_START_SERVER"};

bool writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
} // namespace

PulseServer::PulseServer() {
    writeFile(m_dir.filePath(QStringLiteral("server.pa")),
              "load-module module-null-sink sink_name=measured\n"
              "load-module module-null-sink sink_name=ikinci "
              "sink_properties=device.description=Koridor\n"
              "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                  QFile::encodeName(m_dir.filePath(QStringLiteral("native"))) +
                  "\nset-default-sink measured\n");
    writeFile(m_dir.filePath(QStringLiteral("client.conf")), "autospawn = no\n");
    writeFile(m_dir.filePath(QStringLiteral("asound.conf")), "");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        env.insert(QLatin1String(name), m_dir.path());
    m_server.setProcessEnvironment(env);
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

PulseServer::~PulseServer() {
    kill();
    for (const QString &saved : std::as_const(m_saved)) {
        const QByteArray name = saved.section(QLatin1Char('='), 0, 0).toUtf8();
        if (saved.contains(QLatin1Char('=')))
            qputenv(name, saved.section(QLatin1Char('='), 1).toUtf8());
        else
            qunsetenv(name);
    }
}

void PulseServer::useInThisProcess() {
    const QString values[] = {QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native")),
                              m_dir.filePath(QStringLiteral("client.conf")),
                              m_dir.filePath(QStringLiteral("cookie")),
                              m_dir.filePath(QStringLiteral("asound.conf")), QStringLiteral("1")};
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        if (m_saved.size() < int(std::size(kSettings)))
            m_saved.append(qEnvironmentVariableIsSet(kSettings[i])
                               ? QLatin1String(kSettings[i]) + QLatin1Char('=') +
                                     qEnvironmentVariable(kSettings[i])
                               : QLatin1String(kSettings[i]));
        qputenv(kSettings[i], values[i].toUtf8());
    }
}

bool PulseServer::start(QString &why) {
    if (!m_dir.isValid()) {
        why = QStringLiteral("no temporary folder for the PulseAudio server");
        return false;
    }
    m_server.start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                    QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
                    QStringLiteral("--log-level=error"), QStringLiteral("-n"), QStringLiteral("-F"),
                    m_dir.filePath(QStringLiteral("server.pa"))});
    if (!m_server.waitForStarted(5000)) {
        why = QStringLiteral("pulseaudio could not be started (Debian package pulseaudio): ") +
              m_server.errorString();
        return false;
    }
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && m_server.state() == QProcess::Running) {
        QLocalSocket socket;
        socket.connectToServer(m_dir.filePath(QStringLiteral("native")));
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(20);
    }
    why = QStringLiteral("pulseaudio started but its socket never answered (exit code %1)")
              .arg(m_server.exitCode());
    kill();
    return false;
}

void PulseServer::kill() {
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.kill();
    m_server.waitForFinished(5000);
}
