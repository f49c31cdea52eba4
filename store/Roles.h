#pragma once

#include "ZilError.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Staff roles and their PINs. Nothing here asks anyone anything: a PIN typed anywhere is
// checked by the gate (bells/Gate), and the clock, the service, the day plan and the record
// never come here at all, so no PIN can stand between the clock and a bell.
//
// The roles are off until the school sets a manager PIN; then a window with nobody logged in
// only shows. The PINs live as salted slow hashes (libsodium's crypto_pwhash_str, Argon2id) in
// one file of the data folder, yetkiler.json (a count of wrong tries that an older program
// wrote there is ignored: the gate keeps its own): whoever may write the data folder can delete
// it (which turns the roles off), nobody else can read or change it.

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
    static constexpr int ShortestPin = 4;
    static constexpr int LongestPin = 8;
    // A manager PIN set from now on; one set before with fewer digits still opens the windows.
    static constexpr int ShortestManagerPin = 6;

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

    // The hashes a PIN is checked against; empty when the file is damaged. Wrong PINs are
    // counted by the gate (bells/Gate), which is the only one to check a PIN the user typed.
    struct Hashes {
        QByteArray manager;
        QByteArray duty;
    };
    Hashes hashes() const;
    // The role `pin` belongs to, or Viewer; slow (Argon2id), and counts nothing.
    static Role match(const Hashes &hashes, const QString &pin);

    // Sets the role's PIN; refused (ERefused) when pinProblem finds one, when a duty PIN is set
    // while the roles are off, or when the two roles would share a PIN.
    void setPin(Role role, const QString &pin);
    // Clears the role's PIN; clearing the manager's turns the roles off and clears the duty PIN.
    void clearPin(Role role);

    // Why a PIN cannot be used, in the user's words; empty when it can. With `role` Manager, a
    // new manager PIN's length is asked too.
    static QString pinProblem(const QString &pin, Role role = Role::Viewer);
    // What a file that cannot be read means for the user.
    static QString damagedMessage();

private:
    struct State {
        bool present = false;
        bool damaged = false;
        QByteArray manager;
        QByteArray duty;
    };
    State read() const;
    void write(const State &state);

    QString m_file;
};

// The roles of a program folder: yetkiler.json in its data folder.
QString rolesFile();
