#include "Yetkiler.h"
#include "ui_Yetkiler.h"

#include "BellStore.h"
#include "ErrorBox.h"
#include "RoleGate.h"
#include "WindowLook.h"

#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThreadPool>

#include <memory>

TfrmYetkiler::TfrmYetkiler(RoleGate &gate, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmYetkiler>())
    , m_gate(gate) {
    setFont(programFont());
    ui->setupUi(this);
    m_state = ui->lblDurum;
    m_manager = {ui->txtYoneticiPin, ui->txtYoneticiTekrar, ui->btnYoneticiKaydet,
                 ui->btnYoneticiKaldir};
    m_duty = {ui->txtNobetciPin, ui->txtNobetciTekrar, ui->btnNobetciKaydet, ui->btnNobetciKaldir};
    setUpFields(m_manager, Role::Manager);
    setUpFields(m_duty, Role::Duty);
    connect(ui->btnKapat, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmYetkiler::~TfrmYetkiler() = default;

void TfrmYetkiler::setUpFields(const PinFields &f, Role role) {
    // Digits only, as the PIN itself: a letter typed is refused at the key.
    for (QLineEdit *field : {f.pin, f.again})
        field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,8}")), field));
    connect(f.save, &QPushButton::clicked, this, handled([this, role] { save(role); }));
    connect(f.clear, &QPushButton::clicked, this, handled([this, role] { clear(role); }));
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
    if (const QString problem = Roles::pinProblem(pin, role); !problem.isEmpty()) {
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
