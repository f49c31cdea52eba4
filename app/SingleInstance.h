#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>

// One ringer per program folder. Two copies on the same schedule would ring every bell twice, a
// little apart, so the copy that holds the folder's lock file rings and listens on a local server
// named after the folder; a copy started later asks that one to show its window and ends.
class FolderClaim : public QObject {
    Q_OBJECT
public:
    explicit FolderClaim(const QString &folder, QObject *parent = nullptr);

    // True when this copy is the folder's ringer. A lock left by a copy that died is taken over.
    bool claim();
    // While another copy holds the folder: tries claim() every `intervalMs` and emits claimed()
    // once the folder is this copy's, or once its lock file cannot be written at all (a folder
    // nobody can claim still rings).
    void claimWhenFree(int intervalMs);
    // Why claim() failed: LockFailedError while another copy holds the folder, anything else
    // when the lock file cannot be written at all.
    QLockFile::LockError lockError() const { return m_lock.error(); }
    // Asks the copy holding the folder to show its window; true once it has answered. Waits up
    // to `timeoutMs`, as that copy may still be starting its server.
    bool askRunningToShow(int timeoutMs = 2000);
    // After askRunningToShow(): the holder is the windowless background service, which has no
    // window to show and rings the bells for everyone.
    bool holderIsService() const { return m_holderIsService; }
    // Asks the copy holding the folder to stop the music it plays now; true once it has.
    bool askRunningToStop(int timeoutMs = 2000);
    // This copy is the background service: a later copy is told so instead of being shown a
    // window, and copies of other users may ask (the service often runs as a user of its own).
    // Set before claim().
    void setService(bool service) { m_service = service; }

    // The local server's name: a hash of the folder's canonical path, so it stays short and
    // valid however the folder is spelled or linked.
    static QString serverName(const QString &folder);

signals:
    // Another copy was started on this folder.
    void showRequested();
    // Another copy asks to stop the music playing now.
    void stopRequested();
    // claimWhenFree() found the folder free.
    void claimed();

private:
    void answer();
    // Sends `request` to the holder and returns its answer, empty when it gave none in time.
    QByteArray ask(const QByteArray &request, int timeoutMs);

    QString m_folder;
    QLockFile m_lock;
    QLocalServer m_server;
    QTimer m_retry;
    bool m_service = false;
    bool m_holderIsService = false;
};
