#pragma once

#include "Gate.h"
#include "SingleInstance.h"

#include <QObject>
#include <QThreadPool>

#include <functional>

class Bells;

// Tries `pin` at the gate of the process that rings the folder, over its socket, as `client`
// (a phone's address is passed on; anyone else is the user the kernel names). A ringer that
// does not answer is a refusal with a Turkish reason.
GateAnswer askGate(const FolderClaim &ringer, const QString &pin, const GateClient &client);

// The folder socket's desk in the process that rings: answers the command vocabulary's requests
// (what the phone page shows, a PIN tried at the gate, a command) for these bells. PINs are
// tried on a pool thread, so nothing a local user or a phone sends can hold up a bell. Every
// command is logged with the role the gate gave and the asking user the kernel names.
class CommandDesk : public QObject {
    Q_OBJECT
public:
    CommandDesk(FolderClaim &claim, Bells &bells, std::function<void(const QString &)> log,
                QObject *parent = nullptr);
    ~CommandDesk() override;

private:
    void handle(const QJsonObject &request, const FolderClaim::Peer &peer,
                const std::function<void(const QJsonObject &)> &answer);
    void logIn(const QJsonObject &request, const FolderClaim::Peer &peer,
               const std::function<void(const QJsonObject &)> &answer);

    Bells &m_bells;
    std::function<void(const QString &)> m_log;
    // PINs are tried here; waited for at the end, so no try outlives the gate it asks.
    QThreadPool m_tries;
};
