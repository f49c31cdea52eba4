#include "ClockSync.h"

#include <QProcessEnvironment>
#include <QStandardPaths>

ClockSync::ClockSync(QStringList toolFolders, QObject *parent)
    : QObject(parent)
    , m_folders(std::move(toolFolders)) {
    m_hourly.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_hourly, &QTimer::timeout, this, &ClockSync::ask);
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(10000);
    connect(&m_timeout, &QTimer::timeout, this, &ClockSync::noAnswer);
}

ClockSync::~ClockSync() {
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

QStringList ClockSync::systemToolFolders() {
    return {QStringLiteral("/usr/bin"), QStringLiteral("/bin"), QStringLiteral("/usr/sbin"),
            QStringLiteral("/sbin")};
}

void ClockSync::start(int intervalMs) {
    m_hourly.start(intervalMs);
    ask();
}

void ClockSync::ask() {
    if (m_asking)
        return;
    m_asking = true;
    // Always answered later, never from inside ask(): callers see one order of events.
    QMetaObject::invokeMethod(
        this, [this] { run(Tool::Timedatectl); }, Qt::QueuedConnection);
}

void ClockSync::run(Tool tool) {
    m_tool = tool;
    const QString name =
        tool == Tool::Timedatectl ? QStringLiteral("timedatectl") : QStringLiteral("chronyc");
    const QString path = QStandardPaths::findExecutable(name, m_folders);
    if (path.isEmpty()) {
        noAnswer();
        return;
    }
    m_process = std::make_unique<QProcess>();
    // The answers are read as words: the tools must not translate them.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    m_process->setProcessEnvironment(environment);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(m_process.get(), &QProcess::finished, this, &ClockSync::processEnded);
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A crash or a failed start ends the process without an answer; a finished process
        // has its own signal.
        if (error == QProcess::FailedToStart)
            noAnswer();
    });
    // Started first: a start that fails at once asks the next tool from inside start().
    m_timeout.start();
    m_process->start(path,
                     tool == Tool::Timedatectl
                         ? QStringList{QStringLiteral("show"), QStringLiteral("-p"),
                                       QStringLiteral("NTPSynchronized"), QStringLiteral("--value")}
                         : QStringList{QStringLiteral("-n"), QStringLiteral("tracking")});
}

void ClockSync::processEnded() {
    m_timeout.stop();
    const bool cleanExit =
        m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
    // A few lines at most; anything larger is not the answer we asked for.
    const QString output = QString::fromUtf8(m_process->readAllStandardOutput().left(4096));
    m_process.release()->deleteLater();
    if (cleanExit && m_tool == Tool::Timedatectl) {
        const QString value = output.trimmed();
        if (value == QLatin1String("yes"))
            return settle(State::Synchronised, QStringLiteral("timedatectl"));
        if (value == QLatin1String("no"))
            return settle(State::NotSynchronised, QStringLiteral("timedatectl"));
    }
    if (cleanExit && m_tool == Tool::Chronyc) {
        // "Leap status     : Normal" while chronyd keeps the clock, "Not synchronised" when not.
        for (const QString &row : output.split(QLatin1Char('\n'))) {
            if (!row.startsWith(QLatin1String("Leap status")))
                continue;
            const QString value = row.section(QLatin1Char(':'), 1).trimmed();
            if (value == QLatin1String("Not synchronised"))
                return settle(State::NotSynchronised, QStringLiteral("chronyc"));
            if (!value.isEmpty())
                return settle(State::Synchronised, QStringLiteral("chronyc"));
        }
    }
    // No answer from this tool: the next one is asked.
    if (m_tool == Tool::Timedatectl)
        return run(Tool::Chronyc);
    settle(State::Unknown, {});
}

void ClockSync::noAnswer() {
    m_timeout.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        // Reaped when it has gone; nothing here waits for it.
        QProcess *ended = m_process.release();
        connect(ended, &QProcess::finished, ended, &QObject::deleteLater);
        if (ended->state() == QProcess::NotRunning)
            ended->deleteLater();
    }
    if (m_tool == Tool::Timedatectl)
        return run(Tool::Chronyc);
    settle(State::Unknown, {});
}

void ClockSync::settle(State state, const QString &source) {
    m_asking = false;
    const bool differs = state != m_state;
    m_state = state;
    m_source = source;
    if (differs)
        emit changed();
}

QString ClockSync::line() const {
    switch (m_state) {
    case State::NotSynchronised:
        return QStringLiteral("Bilgisayarın saati ağdan ayarlanmıyor: zil duvardaki saatten "
                              "kayabilir. Ayarlar > Tarih ve saat'ten otomatik saat ayarını "
                              "açın.");
    case State::Unknown:
        return QStringLiteral("Bilgisayarın saatinin ağdan ayarlanıp ayarlanmadığı "
                              "öğrenilemedi: zili duvardaki saatle karşılaştırın ve Ayarlar > "
                              "Tarih ve saat'ten otomatik saat ayarını açık tutun.");
    case State::Unasked:
    case State::Synchronised:
        break;
    }
    return {};
}

QString ClockSync::shortLine() const {
    switch (m_state) {
    case State::NotSynchronised:
        return QStringLiteral("Saat ağdan ayarlanmıyor: Tarih ve saat'te otomatiği açın");
    case State::Unknown:
        return QStringLiteral("Saatin ayarı denetlenemedi: duvar saatiyle karşılaştırın");
    case State::Unasked:
    case State::Synchronised:
        break;
    }
    return {};
}
