#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <memory>

// ClockSync: whether the computer's clock is kept right from the network, asked of the system at
// start and every hour. The bells follow the computer's clock; one that nothing corrects drifts
// from the school's wall clocks by seconds a week. It asks systemd's timedatectl
// (NTPSynchronized) and, where that gives no answer, chrony's chronyc; both run as child
// processes, so nothing waits for them. It never sets the clock.
class ClockSync : public QObject {
    Q_OBJECT
public:
    enum class State {
        Unasked,         // no answer has come yet
        Synchronised,    // a time service keeps the clock right
        NotSynchronised, // the system says nothing corrects the clock
        Unknown,         // neither tool is there, or neither answered in time
    };

    // Looks for the tools only in `toolFolders`: the system's own folders by default, never the
    // user's PATH, so nobody can put a tool of their own in its place.
    explicit ClockSync(QStringList toolFolders = systemToolFolders(), QObject *parent = nullptr);
    ~ClockSync() override;

    static QStringList systemToolFolders();
    // Where the next asking looks for the tools.
    void setToolFolders(const QStringList &folders) { m_folders = folders; }

    // Asks now and then every `intervalMs`.
    void start(int intervalMs = 60 * 60 * 1000);
    // Asks once; an asking still under way goes on instead.
    void ask();
    // How long one tool may take to answer before it counts as no answer.
    void setAnswerTimeout(int ms) { m_timeout.setInterval(ms); }

    State state() const { return m_state; }
    // The tool that gave the last answer ("timedatectl", "chronyc"), empty when none did.
    QString source() const { return m_source; }
    // What staff read of the clock, with what to do, in Turkish; empty while all is well or no
    // answer has come yet.
    QString line() const;
    // The same, short enough for one line of the main window.
    QString shortLine() const;

signals:
    // An answer came that differs from the last one.
    void changed();

private:
    enum class Tool { Timedatectl, Chronyc };
    void run(Tool tool);
    void processEnded();
    void noAnswer();
    void settle(State state, const QString &source);

    QStringList m_folders;
    std::unique_ptr<QProcess> m_process;
    Tool m_tool = Tool::Timedatectl;
    bool m_asking = false;
    QTimer m_hourly;
    QTimer m_timeout;
    State m_state = State::Unasked;
    QString m_source;
};
