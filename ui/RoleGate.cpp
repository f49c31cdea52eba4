#include "RoleGate.h"

#include "ErrorBox.h"
#include "PinDialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>

namespace {
QString whoMay(Action action) {
    return Roles::permits(Role::Duty, action)
               ? QStringLiteral("Bu işlem için Nöbetçi ya da Yönetici PIN'i gerekli.")
               : QStringLiteral("Bu işlem için Yönetici PIN'i gerekli.");
}
} // namespace

RoleGate::RoleGate(const QString &rolesFile, QObject *parent)
    : QObject(parent)
    , m_roles(rolesFile)
    , m_pinGate(std::make_shared<Gate>(QFileInfo(rolesFile).absolutePath())) {
    setLogin({});
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleMinutes * 60 * 1000);
    connect(&m_idle, &QTimer::timeout, this, &RoleGate::logOut);
    QCoreApplication::instance()->installEventFilter(this);
}

void RoleGate::setLogin(Login login) {
    logOut();
    m_login = login ? std::move(login) : [gate = m_pinGate](const QString &pin) {
        return gate->login(pin, {GateClient::Road::Window, {}, {}});
    };
}

bool RoleGate::eventFilter(QObject *watched, QEvent *event) {
    // Any key or click at the program keeps the one logged in there.
    if (m_role != Role::Viewer) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
            m_idle.start();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void RoleGate::setRole(Role role) {
    if (role == Role::Viewer) {
        m_idle.stop();
        m_pinGate->logout(m_token);
        m_token.clear();
    } else {
        m_idle.start();
    }
    if (role == m_role)
        return;
    m_role = role;
    emit roleChanged();
}

bool RoleGate::allowed(Action action, QWidget *asking) {
    if (action == Action::PlayMusic && louderSound) {
        if (const QString louder = louderSound(); !louder.isEmpty()) {
            showMessage(asking, QStringLiteral("%1; elle müzik şimdi çalınamaz.").arg(louder));
            return false;
        }
    }
    if (action == Action::ChangeSchedule && scheduleRefusal) {
        if (const QString why = scheduleRefusal(); !why.isEmpty()) {
            showMessage(asking, why);
            return false;
        }
    }
    if (!m_roles.enabled()) {
        setRole(Role::Viewer);
        return true;
    }
    if (Roles::permits(m_role, action)) {
        m_idle.start();
        return true;
    }
    PinDialog dialog(m_login, whoMay(action), asking);
    if (!accepted(dialog))
        return false;
    if (Roles::permits(m_role, action))
        return true;
    showMessage(
        asking,
        QStringLiteral("%1 olarak giriş yapıldı. %2").arg(roleName(m_role), whoMay(action)));
    return false;
}

bool RoleGate::logIn(QWidget *asking) {
    PinDialog dialog(m_login, QStringLiteral("Giriş için PIN'inizi yazın."), asking);
    return accepted(dialog);
}

bool RoleGate::accepted(PinDialog &dialog) {
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (!m_token.isEmpty())
        m_pinGate->logout(m_token);
    m_token = dialog.token();
    setRole(dialog.role());
    return true;
}

void RoleGate::logOut() {
    setRole(Role::Viewer);
}
