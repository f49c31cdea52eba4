#pragma once

#include "ZilError.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Staff roles and their PINs. Nothing here asks anyone anything: the windows ask through the
// gate in ui/, and the clock, the service, the day plan and the record never come here at all,
// so no PIN can stand between the clock and a bell.
//
// The roles are off until the school sets a manager PIN; then a window with nobody logged in
// only shows. The PINs live as salted slow hashes (libsodium's crypto_pwhash_str, Argon2id) in
// one file of the data folder, yetkiler.json, with the count of wrong tries and the lock:
// whoever may write the data folder can delete it (which turns the roles off), nobody else can
// read or change it.

enum class Role {
    Viewer,  // nobody logged in: looks only
    Duty,    // "Nöbetçi"
    Manager, // "Yönetici"
};

// What a command does, as the gate asks it. A new command asks for the kind that fits it.
enum class Action {
    View,           // opening a window to look, printing what is shown
    StopSound,      // stopping or pausing the music that plays
    SilenceToday,   // "Bugün zil çalmasın"
    RingNow,        // a bell rung by hand at once
    Alarm,          // the alarm sound
    AnnounceNow,    // an announcement spoken at once
    PlayMusic,      // any music played by hand from the player bar
    ChangeSchedule, // bells, programmes, one-off bells, the calendar, ceremonies, restoring a
                    // backup
    ChangeSettings, // the program's settings, PINs included, and backups
    EndProgram,     // ending the copy that rings the bells
};

// The Turkish name of a role for the window ("Yönetici").
QString roleName(Role role);

class Roles {
public:
    static constexpr int MaxWrongTries = 5;
    static constexpr int LockSeconds = 60;
    static constexpr int ShortestPin = 4;
    static constexpr int LongestPin = 8;

    // The roles kept in `file`; nothing is read yet.
    explicit Roles(QString file);
    QString file() const { return m_file; }

    // Whether `role` may do `action` once the roles are on.
    static bool permits(Role role, Action action);

    // The roles are on: a manager PIN is set. A file that cannot be read counts as on, so that
    // damage never opens every command to everyone.
    bool enabled() const;
    // Whether a PIN is set for the role.
    bool hasPin(Role role) const;

    // Seconds left of the lock after too many wrong tries; 0 when not locked.
    int lockedSeconds();

    // One try of a PIN: the role it belongs to, or Viewer when it belongs to none. The try is
    // counted before the PIN is looked at, so a try cut short still counts; the fifth wrong one
    // locks for a minute. Refused (ERefused) while locked, and when the try cannot be counted.
    Role tryPin(const QString &pin);

    // tryPin in three steps, for a caller that checks the PIN away from its own thread:
    // begin counts the try and gives the hashes to check against, match is the slow part and
    // touches nothing, end records what came of it.
    struct Hashes {
        QByteArray manager;
        QByteArray duty;
    };
    Hashes beginTry();
    // The hashes as they are, counting no try, for a caller that keeps its own count of wrong
    // tries (the phone page counts them per address); empty when the file is damaged.
    Hashes hashes() const;
    static Role match(const Hashes &hashes, const QString &pin);
    void endTry(Role matched);

    // Sets the role's PIN; refused (ERefused) when it is not 4 to 8 digits, when a duty PIN is
    // set while the roles are off, or when the two roles would share a PIN.
    void setPin(Role role, const QString &pin);
    // Clears the role's PIN; clearing the manager's turns the roles off and clears the duty PIN.
    void clearPin(Role role);

    // Why a PIN cannot be used, in the user's words; empty when it can.
    static QString pinProblem(const QString &pin);

private:
    struct State {
        bool present = false;
        bool damaged = false;
        QByteArray manager;
        QByteArray duty;
        int wrongTries = 0;
        QDateTime lockedAt; // UTC; invalid when not locked
    };
    State read() const;
    void write(const State &state);
    // Seconds left of the state's lock at `now`; a lock that started "in the future" (the clock
    // was set back) is moved to `now`, so that it never lasts more than a minute from here.
    int secondsLeft(State &state, const QDateTime &now, bool &moved) const;

    QString m_file;
};

// The roles of a program folder: yetkiler.json in its data folder.
QString rolesFile();
