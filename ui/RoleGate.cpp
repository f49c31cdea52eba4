#include "RoleGate.h"

#include "BellStore.h"
#include "ErrorBox.h"
#include "WindowLook.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThreadPool>
#include <QVBoxLayout>

#include <memory>

namespace {
QString whoMay(Action action) {
    return Roles::permits(Role::Duty, action)
               ? QStringLiteral("Bu işlem için Nöbetçi ya da Yönetici PIN'i gerekli.")
               : QStringLiteral("Bu işlem için Yönetici PIN'i gerekli.");
}
} // namespace

RoleGate::RoleGate(const QString &rolesFile, QObject *parent)
    : QObject(parent)
    , m_roles(rolesFile) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleMinutes * 60 * 1000);
    connect(&m_idle, &QTimer::timeout, this, &RoleGate::logOut);
    QCoreApplication::instance()->installEventFilter(this);
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
    if (role == Role::Viewer)
        m_idle.stop();
    else
        m_idle.start();
    if (role == m_role)
        return;
    m_role = role;
    emit roleChanged();
}

bool RoleGate::allowed(Action action, QWidget *asking) {
    if (!m_roles.enabled()) {
        setRole(Role::Viewer);
        return true;
    }
    if (Roles::permits(m_role, action)) {
        m_idle.start();
        return true;
    }
    PinDialog dialog(m_roles, whoMay(action), asking);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setRole(dialog.role());
    if (Roles::permits(m_role, action))
        return true;
    showMessage(
        asking,
        QStringLiteral("%1 olarak giriş yapıldı. %2").arg(roleName(m_role), whoMay(action)));
    return false;
}

bool RoleGate::logIn(QWidget *asking) {
    PinDialog dialog(m_roles, QStringLiteral("Giriş için PIN'inizi yazın."), asking);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setRole(dialog.role());
    return true;
}

void RoleGate::logOut() {
    setRole(Role::Viewer);
}

PinDialog::PinDialog(Roles &roles, const QString &why, QWidget *parent)
    : QDialog(parent)
    , m_roles(roles)
    , m_pin(new QLineEdit(this))
    , m_state(new QLabel(this))
    , m_ok(nullptr) {
    setObjectName(QStringLiteral("frmPin"));
    setWindowTitle(QStringLiteral("PIN"));
    setFont(programFont());
    auto *layout = new QVBoxLayout(this);
    auto *reason = new QLabel(why, this);
    reason->setWordWrap(true);
    layout->addWidget(reason);
    m_pin->setObjectName(QStringLiteral("txtPin"));
    m_pin->setEchoMode(QLineEdit::Password);
    m_pin->setMaxLength(Roles::LongestPin);
    m_pin->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), m_pin));
    m_pin->setPlaceholderText(QStringLiteral("PIN (4-8 rakam)"));
    layout->addWidget(m_pin);
    m_state->setObjectName(QStringLiteral("lblDurum"));
    m_state->setWordWrap(true);
    layout->addWidget(m_state);
    auto *buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("Giriş"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("btnGiris"));
    m_ok->setDefault(true);
    buttons->addButton(QStringLiteral("Vazgeç"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, handled([this] { tryPin(); }));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(280);
}

void PinDialog::tryPin() {
    if (m_checking)
        return;
    const QString pin = m_pin->text();
    if (const QString problem = Roles::pinProblem(pin); !problem.isEmpty()) {
        m_state->setText(problem);
        return;
    }
    Roles::Hashes hashes;
    try {
        hashes = m_roles.beginTry();
    } catch (const ERefused &refused) {
        m_pin->clear();
        m_state->setText(refused.message());
        return;
    }
    m_checking = true;
    m_pin->setEnabled(false);
    m_ok->setEnabled(false);
    m_state->setText(QStringLiteral("Denetleniyor…"));
    // The slow hash runs in the pool; what came of it is recorded here, on the window's
    // thread. A dialog closed meanwhile leaves the try counted as a wrong one.
    auto promise = std::make_shared<QPromise<Role>>();
    auto *watcher = new QFutureWatcher<Role>(this);
    connect(watcher, &QFutureWatcher<Role>::finished, this, [this, watcher] {
        watcher->deleteLater();
        const Role matched = watcher->future().resultCount() ? watcher->result() : Role::Viewer;
        runHandler([&] { checked(matched); });
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, hashes, pin] {
        promise->start();
        Role matched = Role::Viewer;
        try {
            matched = Roles::match(hashes, pin);
        } catch (...) {
            // No answer is a wrong one.
        }
        promise->addResult(matched);
        promise->finish();
    });
}

void PinDialog::checked(Role matched) {
    m_checking = false;
    m_pin->setEnabled(true);
    m_ok->setEnabled(true);
    m_pin->clear();
    m_pin->setFocus();
    try {
        m_roles.endTry(matched);
    } catch (const ZilError &error) {
        // A try that could not be recorded opens nothing.
        m_state->setText(error.message());
        return;
    }
    if (matched == Role::Viewer) {
        const int locked = m_roles.lockedSeconds();
        m_state->setText(locked > 0 ? QStringLiteral("%1 kez yanlış PIN girildi. Lütfen %2 "
                                                     "saniye sonra yeniden deneyin.")
                                          .arg(Roles::MaxWrongTries)
                                          .arg(locked)
                                    : QStringLiteral("PIN yanlış."));
        return;
    }
    m_role = matched;
    accept();
}
