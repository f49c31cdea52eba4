#pragma once

#include "Roles.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QString>

#include <optional>

// Gate: the one place a PIN is checked and wrong PINs are counted, for every road a PIN comes
// by: the PIN dialog of a window, the local command socket and the phone page.
//
// Wrong PINs are counted in budgets kept in one small file of the data folder (giris.json), so
// every process of the folder sees the same counts. A budget lets a few wrong PINs go free;
// each one after that makes the next try wait twice as long as the last, up to MaxWaitSeconds;
// a budget that met no wrong PIN for ForgetMinutes is forgotten. While a budget waits, a try is
// answered at once, without looking at the PIN or counting it. The budgets:
//
// - the common one: every wrong PIN of every road. A wrong PIN names no role, so both roles
//   share it. Phones and the socket wait for it; the window and known devices do not.
// - one per address group of the phone (an IPv4 address, an IPv6 /64) and per user of the
//   socket, at most MaxGroups of them; the longest quiet ones make room, the common one stays.
// - one for the window at the computer, which only it waits for.
// - one per known device: a phone that once gave a right PIN keeps a device cookie, and waits
//   only for its own budget; a device that meets DeviceWrongLimit wrong PINs is forgotten.
//
// A try is counted as wrong before the PIN is checked and given back when the PIN was right, so
// tries sent at once all count and a try cut short stays counted.
struct GateClient {
    enum class Road { Window, Socket, Phone };
    Road road = Road::Window;
    QString peer; // Phone: the peer address as text; Socket: the peer user's name; Window: empty
    QByteArray device; // Phone: the device cookie an earlier right PIN on this device received
};

struct GateAnswer {
    enum class Outcome {
        Granted,
        Wrong,
        Wait,
        NoManagerPin,
        Broken,
        ShortPin, // the manager's PIN, too short for the phone: refused, not counted as wrong
    };
    Outcome outcome = Outcome::Broken;
    Role role = Role::Viewer;
    int waitSeconds = 0; // Wait: how long before the next try is heard
    QByteArray token;    // Granted: a session token (random, hex), valid SessionMinutes
    QByteArray device;   // Granted on the phone road: a device cookie to keep for later logins
    QString message;     // in Turkish, for the user (refusals)
    bool deviceForgotten = false; // Wrong: the client's device cookie names no device any more
};

class Gate {
public:
    static constexpr int SessionMinutes = 15;
    static constexpr int MaxSessions = 256;
    // A budget lets this many wrong PINs go free; the next one waits FirstWaitSeconds, each one
    // after it twice as long as the last, up to MaxWaitSeconds.
    static constexpr int FreeWrongTries = 4;
    static constexpr int CommonFreeWrongTries = 10;
    static constexpr int FirstWaitSeconds = 60;
    static constexpr int MaxWaitSeconds = 15 * 60;
    static constexpr int ForgetMinutes = 60;
    static constexpr int MaxGroups = 512;
    static constexpr int MaxDevices = 64;
    static constexpr int DeviceWrongLimit = 3;
    static constexpr int DeviceDays = 365;
    // The manager logs in from a phone with a PIN of at least this many digits only.
    static constexpr int ShortestPhoneManagerPin = 6;

    // yetkiler.json and the gate's state file in `folder`.
    explicit Gate(QString folder);
    QString stateFile() const;

    // One try of a PIN. Thread-safe; slow (Argon2id), so never called on the ringing thread.
    GateAnswer login(const QString &pin, const GateClient &client);
    // A live session's role.
    std::optional<Role> roleOf(const QByteArray &token);
    void logout(const QByteArray &token);
    // A manager PIN is set (a damaged file counts as on).
    bool rolesOn() const;
    // "1.2.3.4" for IPv4 and IPv4-mapped IPv6; the /64 prefix ("2001:db8:1:2::/64") for IPv6.
    static QString addressGroup(const QHostAddress &address);

private:
    struct Reserved;
    // Under the state file's lock: a wait, or the try counted as wrong.
    GateAnswer reserve(const GateClient &client, Reserved &reserved);
    // Under the lock again: what the check found.
    // `admit` false: a right PIN that is refused all the same (no device cookie is made).
    GateAnswer settle(const GateClient &client, const Reserved &reserved, Role matched, bool admit);
    QByteArray openSession(Role role);

    QString m_folder;
    QMutex m_fileMutex;
    QMutex m_sessionMutex;
    struct Session {
        Role role = Role::Viewer;
        QDateTime ends;
    };
    QHash<QByteArray, Session> m_sessions;
};
