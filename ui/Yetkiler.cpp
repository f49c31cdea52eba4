#include "Yetkiler.h"

#include "BellStore.h"
#include "ErrorBox.h"
#include "RoleGate.h"
#include "WindowLook.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThreadPool>
#include <QVBoxLayout>

#include <memory>

TfrmYetkiler::TfrmYetkiler(RoleGate &gate, QWidget *parent)
    : QDialog(parent)
    , m_gate(gate)
    , m_state(new QLabel(this)) {
    setObjectName(QStringLiteral("frmYetkiler"));
    setWindowTitle(QStringLiteral("Yetkiler ve PIN"));
    setFont(programFont());
    auto *layout = new QVBoxLayout(this);
    m_state->setObjectName(QStringLiteral("lblDurum"));
    m_state->setWordWrap(true);
    layout->addWidget(m_state);
    m_manager = makeFields(Role::Manager);
    m_duty = makeFields(Role::Duty);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Kapat"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

TfrmYetkiler::PinFields TfrmYetkiler::makeFields(Role role) {
    const bool manager = role == Role::Manager;
    auto *group = new QGroupBox(
        manager ? QStringLiteral("Yönetici PIN'i (her şey)")
                : QStringLiteral("Nöbetçi PIN'i (müziği durdurmak, bugün zil çalmasın)"),
        this);
    auto *form = new QFormLayout(group);
    PinFields f{new QLineEdit(group), new QLineEdit(group),
                new QPushButton(QStringLiteral("Kaydet"), group),
                new QPushButton(manager ? QStringLiteral("Kaldır (yetkileri kapatır)")
                                        : QStringLiteral("Kaldır"),
                                group)};
    const QString prefix = manager ? QStringLiteral("Yonetici") : QStringLiteral("Nobetci");
    f.pin->setObjectName(QStringLiteral("txt%1Pin").arg(prefix));
    f.again->setObjectName(QStringLiteral("txt%1Tekrar").arg(prefix));
    f.save->setObjectName(QStringLiteral("btn%1Kaydet").arg(prefix));
    f.clear->setObjectName(QStringLiteral("btn%1Kaldir").arg(prefix));
    for (QLineEdit *field : {f.pin, f.again}) {
        field->setEchoMode(QLineEdit::Password);
        field->setMaxLength(Roles::LongestPin);
        field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,8}")), field));
    }
    form->addRow(QStringLiteral("Yeni PIN:"), f.pin);
    form->addRow(QStringLiteral("Yeni PIN (tekrar):"), f.again);
    auto *row = new QHBoxLayout;
    row->addWidget(f.save);
    row->addWidget(f.clear);
    form->addRow(row);
    static_cast<QVBoxLayout *>(this->layout())->addWidget(group);
    connect(f.save, &QPushButton::clicked, this, handled([this, role] { save(role); }));
    connect(f.clear, &QPushButton::clicked, this, handled([this, role] { clear(role); }));
    return f;
}

void TfrmYetkiler::ShowRoles() {
    for (PinFields *f : {&m_manager, &m_duty}) {
        f->pin->clear();
        f->again->clear();
    }
    drawState();
    show();
    raise();
    activateWindow();
}

void TfrmYetkiler::drawState() {
    Roles &roles = m_gate.roles();
    const bool on = roles.enabled();
    m_state->setText(
        on ? QStringLiteral("Yetkiler açık: giriş yapmadan yalnız bakılabilir. Nöbetçi PIN'i %1.")
                 .arg(roles.hasPin(Role::Duty) ? QStringLiteral("belirlendi")
                                               : QStringLiteral("yok"))
           : QStringLiteral("Yetkiler kapalı: Yönetici PIN'i belirlenene dek herkes her şeyi "
                            "yapabilir."));
    m_manager.clear->setEnabled(!m_busy && on);
    m_duty.pin->setEnabled(on);
    m_duty.again->setEnabled(on);
    m_duty.save->setEnabled(!m_busy && on);
    m_duty.clear->setEnabled(!m_busy && roles.hasPin(Role::Duty));
    m_manager.save->setEnabled(!m_busy);
}

void TfrmYetkiler::save(Role role) {
    if (m_busy || !m_gate.allowed(Action::ChangeSettings, this))
        return;
    PinFields &f = fields(role);
    const QString pin = f.pin->text();
    if (const QString problem = Roles::pinProblem(pin); !problem.isEmpty()) {
        showMessage(this, problem);
        return;
    }
    if (f.again->text() != pin) {
        showMessage(this, QStringLiteral("İki PIN aynı değil; lütfen yeniden yazın."));
        return;
    }
    // The slow hash runs in the pool, so the clock's ticks go on meanwhile; the fields keep
    // what was typed until it is written.
    m_busy = true;
    drawState();
    auto promise = std::make_shared<QPromise<QString>>();
    auto *watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcher<QString>::finished, this, [this, watcher, role] {
        watcher->deleteLater();
        const QString failure = watcher->result();
        m_busy = false;
        runHandler([&] {
            drawState();
            if (!failure.isEmpty()) {
                showMessage(this, failure);
                return;
            }
            fields(role).pin->clear();
            fields(role).again->clear();
            showMessage(this, QStringLiteral("%1 PIN'i kaydedildi.").arg(roleName(role)));
            emit pinsChanged();
        });
    });
    watcher->setFuture(promise->future());
    // The worker has its own reader of the file: the window may be gone before it ends.
    QThreadPool::globalInstance()->start([promise, file = m_gate.roles().file(), role, pin] {
        promise->start();
        QString failure;
        try {
            Roles(file).setPin(role, pin);
        } catch (const ZilError &error) {
            failure = error.message();
        } catch (...) {
            failure = QStringLiteral("PIN kaydedilemedi.");
        }
        promise->addResult(failure);
        promise->finish();
    });
}

void TfrmYetkiler::clear(Role role) {
    if (m_busy || !m_gate.allowed(Action::ChangeSettings, this))
        return;
    const QString question =
        role == Role::Manager
            ? QStringLiteral("Yönetici PIN'i kaldırılırsa Nöbetçi PIN'i de kalkar ve herkes her "
                             "şeyi yapabilir. Emin misiniz?")
            : QStringLiteral("Nöbetçi PIN'i kaldırılsın mı?");
    if (!askYesNo(this, windowTitle(), question))
        return;
    m_gate.roles().clearPin(role);
    drawState();
    emit pinsChanged();
}
