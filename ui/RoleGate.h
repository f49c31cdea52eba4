#pragma once

#include "Gate.h"
#include "Roles.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class PinDialog;

// RoleGate: who is logged in at the window, and the one question every command that changes the
// schedule, the calendar or the settings, or plays or stops sound, asks before it runs:
//
//     if (!gate.allowed(Action::ChangeSchedule, this)) return;
//
// It answers at once while the roles are off or the one logged in may; otherwise it asks for a
// PIN. Only the windows ask it: the clock, the service and the record never do.
class RoleGate : public QObject {
    Q_OBJECT
public:
    // Idle this long, the window goes back to viewing.
    static constexpr int IdleMinutes = 5;

    // The roles of `rolesFile`.
    explicit RoleGate(const QString &rolesFile, QObject *parent = nullptr);

    // True when `action` may run now, after asking for a PIN (over `asking`) when it needs one.
    bool allowed(Action action, QWidget *asking = nullptr);
    // Asks for a PIN without a command in view; true when one was accepted.
    bool logIn(QWidget *asking = nullptr);
    void logOut();

    // Viewer while nobody is logged in.
    Role role() const { return m_role; }
    // A manager PIN is set (or the file is damaged), so commands ask.
    bool enabled() const { return m_roles.enabled(); }
    Roles &roles() { return m_roles; }
    // The gate a PIN typed here is checked by; shared with a check still running.
    const std::shared_ptr<Gate> &pinGate() const { return m_pinGate; }
    // How a PIN typed here is tried: at `pinGate()` by default. While the background service
    // rings, at the service's gate through the folder's socket, so that the session also opens
    // the commands this window passes on to it. Empty: back to the default. Runs on a pool
    // thread. Whoever is logged in is logged out.
    using Login = std::function<GateAnswer(const QString &pin)>;
    void setLogin(Login login);
    // The gate's session of whoever is logged in; empty while nobody is.
    QByteArray token() const { return m_token; }

    // What sounds now that music played by hand must wait for ("Zil çalıyor"); empty: nothing.
    // Asked before PlayMusic, whoever is logged in.
    std::function<QString()> louderSound;
    // Why the schedule cannot be changed at this computer whoever is logged in (it rings a
    // shared schedule that only the school's manager changes); empty: it can. Asked before
    // ChangeSchedule, so a refused edit is never typed only to be undone.
    std::function<QString()> scheduleRefusal;

    // Tests wait less than five minutes.
    void setIdleInterval(int ms) { m_idle.setInterval(ms); }

signals:
    // Someone logged in or out, or the roles were turned on or off.
    void roleChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setRole(Role role);
    // What a PIN dialog let in.
    bool accepted(PinDialog &dialog);

    Roles m_roles;
    std::shared_ptr<Gate> m_pinGate;
    Login m_login;
    Role m_role = Role::Viewer;
    QByteArray m_token;
    QTimer m_idle;
};

// For a window that can also run without a gate, as in its own tests: no gate allows all.
inline bool allowedBy(RoleGate *gate, Action action, QWidget *asking) {
    return !gate || gate->allowed(action, asking);
}
