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

PinDialog::PinDialog(Login login, const QString &why, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::PinDialog>())
    , m_login(std::move(login)) {
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
    m_checking = true;
    m_pin->setEnabled(false);
    m_ok->setEnabled(false);
    m_state->setText(QStringLiteral("Denetleniyor…"));
    // The gate's slow check runs in the pool; its answer is shown here, on the window's
    // thread. A dialog closed meanwhile leaves the try counted as a wrong one.
    auto promise = std::make_shared<QPromise<GateAnswer>>();
    auto *watcher = new QFutureWatcher<GateAnswer>(this);
    connect(watcher, &QFutureWatcher<GateAnswer>::finished, this, [this, watcher] {
        watcher->deleteLater();
        const GateAnswer answer =
            watcher->future().resultCount() ? watcher->result() : GateAnswer{};
        runHandler([&] { checked(answer); });
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, login = m_login, pin] {
        promise->start();
        GateAnswer answer;
        try {
            answer = login(pin);
        } catch (const ZilError &error) {
            answer.message = error.message();
        } catch (...) {
            // No answer is a refusal.
        }
        promise->addResult(answer);
        promise->finish();
    });
}

void PinDialog::checked(const GateAnswer &answer) {
    m_checking = false;
    m_pin->setEnabled(true);
    m_ok->setEnabled(true);
    m_pin->clear();
    m_pin->setFocus();
    if (answer.outcome != GateAnswer::Outcome::Granted) {
        m_state->setText(answer.message.isEmpty() ? QStringLiteral("PIN denetlenemedi.")
                                                  : answer.message);
        return;
    }
    m_role = answer.role;
    m_token = answer.token;
    accept();
}
