#pragma once

#include "Gate.h"
#include "PhoneServer.h"

#include <QJsonObject>
#include <QString>

#include <optional>

class Bells;

// What a window, a phone or the folder's socket may ask the process that rings to do: one
// vocabulary (PhoneCommand's kinds), checked here once against the gate and carried out on the
// bells. Whoever asks, the same command meets the same rule.
class Commands {
public:
    Commands(Bells &bells, Gate &gate);

    struct Outcome {
        bool done = false;
        QString line; // for the asker and the log
    };
    // Checks the role the command's gate session holds (while the roles are on), then does it.
    // `who` names the asker in the log and, for bells rung, in the record.
    Outcome perform(const PhoneCommand &command, const QString &who);

    // What each command is, as the roles' table knows it.
    static Action actionOf(PhoneCommand::Kind kind);

    // The command as it crosses the socket, and back; nullopt for a request that is no command.
    static QJsonObject toJson(const PhoneCommand &command);
    static std::optional<PhoneCommand> fromJson(const QJsonObject &object);

private:
    Outcome carryOut(const PhoneCommand &command, const QString &who);

    Bells &m_bells;
    Gate &m_gate;
};
