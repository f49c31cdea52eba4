#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A PulseAudio server of the test's own (Debian package pulseaudio): two null sinks ("measured",
// the default, and "ikinci", described as "Koridor"), its socket,
// configuration and home in a temporary folder, so nothing outside it is touched and no sound
// card is needed. A test can end it and start it again, as a sound server that crashes and comes
// back.
class PulseServer {
public:
    PulseServer();
    // Ends the server and gives this process's sound settings back.
    ~PulseServer();
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;

    // Points this process's sound outputs at this server and at no other: PulseAudio at its
    // socket (nothing there until start), ALSA at an empty configuration, JACK never started.
    void useInThisProcess();
    // Starts the server and waits until its socket answers; false, with the reason, when not.
    bool start(QString &why);
    // Ends the server at once, as a crash would.
    void kill();

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QStringList m_saved; // NAME=value (or NAME alone when unset) of what useInThisProcess set
};
