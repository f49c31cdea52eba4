#include "PinDialog.h"
#include "ui_PinDialog.h"

#include "BellStore.h"
#include "ErrorBox.h"
#include "WindowLook.h"

#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThreadPool>

PinDialog::PinDialog(Roles &roles, const QString &why, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::PinDialog>())
    , m_roles(roles) {
    setFont(programFont());
    ui->setupUi(this);
    ui->lblNeden->setText(why);
    m_pin = ui->txtPin;
    m_state = ui->lblDurum;
    m_ok = ui->btnGiris;
    // Digits only, as the PIN itself: a letter typed is refused at the key.
    m_pin->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), m_pin));
    connect(m_ok, &QPushButton::clicked, this, handled([this] { tryPin(); }));
    connect(ui->btnVazgec, &QPushButton::clicked, this, &QDialog::reject);
}

PinDialog::~PinDialog() = default;

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
