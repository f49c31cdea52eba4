#pragma once

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class QLocalSocket;

// One ringer per data folder. Two copies on the same schedule would ring every bell twice, a
// little apart, so the copy that holds the folder's lock rings and listens on a local socket in
// that folder; a copy started later asks that one to show its window and ends.
//
// The lock is flock() on `zil.kilit`, which the kernel drops when its holder dies, however it
// died and whichever user it ran as. The socket `zil.soket` lives in the folder itself, which
// only the staff group may write, so nobody else can put a socket of their own in its place.
class FolderClaim : public QObject {
    Q_OBJECT
public:
    // Why claim() failed.
    enum class Error { None, Held, Unavailable };
    // Who holds the folder, as the holder says.
    enum class Holder { Unknown, Window, Service };

    // Bounds of the socket, so that nothing a local user sends can hold up the bells: at most
    // this many askers at once, each dropped unless it sends one line this short in this time,
    // and dropped anyway when its answer is not ready in AnswerTimeoutMs.
    static constexpr int MaxConnections = 8;
    static constexpr int ReadTimeoutMs = 2000;
    static constexpr int MaxLineBytes = 4096;
    static constexpr int AnswerTimeoutMs = 15000;
    // An answer may carry the phone page's whole snapshot.
    static constexpr int MaxAnswerBytes = 4 * 1024 * 1024;

    // Who sent a request, as the kernel says (SO_PEERCRED).
    struct Peer {
        uint uid = 0;
        QString user; // the user's name, or the number when it has none
    };
    // A request of the folder's command vocabulary (a JSON object on one line) and the way to
    // answer it, now or later, on this object's thread.
    using Handler = std::function<void(const QJsonObject &request, const Peer &peer,
                                       std::function<void(const QJsonObject &answer)> answer)>;

    explicit FolderClaim(const QString &folder, QObject *parent = nullptr);
    ~FolderClaim() override;

    // True when this copy is the folder's ringer.
    bool claim();
    // While another copy holds the folder: tries claim() every `intervalMs` and emits claimed()
    // once the folder is this copy's, or once its lock file cannot be used at all (a folder
    // nobody can claim still rings).
    void claimWhenFree(int intervalMs);
    // Why claim() failed: Held while another copy holds the folder, Unavailable when the lock
    // file cannot be opened or locked at all.
    Error claimError() const { return m_error; }
    // Asks the copy holding the folder to show its window; true once it has, or once it has
    // answered that it is the service. Waits up to `timeoutMs`, as that copy may still be
    // starting its server.
    bool askRunningToShow(int timeoutMs = 2000);
    // After askRunningToShow(): the holder is the windowless background service, which has no
    // window to show and rings the bells for everyone.
    bool holderIsService() const { return m_holderIsService; }
    // Asks who holds the folder, without showing any window.
    Holder askHolder(int timeoutMs = 2000);
    // Asks the copy holding the folder to stop the music it plays now; true once it has.
    // `said`, when given, receives the holder's sentence (why it refused, what it did).
    bool askRunningToStop(int timeoutMs = 2000, QString *said = nullptr);
    // Asks the copy holding the folder to carry out `command` with `argument` ("alarm" with a
    // kind or -1 to stop it, "anons" with an announcement's id); true once it did.
    bool askRunningTo(const QByteArray &command, int argument, int timeoutMs = 2000,
                      QString *said = nullptr);
    // The gate's session this copy's requests carry (a window's, once its user gave a PIN).
    void setToken(const QByteArray &token) { m_token = token; }
    // Sends `request` to the copy holding the folder and returns its answer; nullopt when none
    // came in time or it came from someone who could not have claimed the folder. Touches no
    // member but the folder's handle, so any thread may ask.
    std::optional<QJsonObject> askJson(const QJsonObject &request, int timeoutMs = 2000) const;
    // Who answers requests of the command vocabulary on the socket of this copy, once it holds
    // the folder.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // This copy is the background service: a later copy is told so instead of being shown a
    // window, and copies of other users may ask it to stop the music. Set before claim().
    void setService(bool service) { m_service = service; }

    QString lockPath() const;
    // The socket's path as this process reaches it: through /proc/self/fd when the folder's own
    // path is too long for a local socket address (107 bytes).
    QString socketPath() const;

signals:
    // Another copy of the same user was started on this folder.
    void showRequested();
    // claimWhenFree() found the folder free.
    void claimed();

private:
    bool openLockFile();
    void listen();
    void answer();
    void serve(QLocalSocket *socket);
    // Sends `request` to the holder and returns its answer, empty when it gave none in time or
    // the answer came from someone who could not have claimed the folder.
    QByteArray ask(const QByteArray &request, int timeoutMs) const;
    bool peerMayHold(int socket) const;
    void handle(QLocalSocket *socket, const QByteArray &line);

    QString m_folder;
    int m_folderFd = -1;
    int m_lockFd = -1;
    bool m_held = false;
    Error m_error = Error::None;
    QLocalServer m_server;
    QTimer m_retry;
    bool m_service = false;
    bool m_holderIsService = false;
    QByteArray m_token;
    Handler m_handler;
};
