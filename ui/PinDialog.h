#pragma once

#include "Gate.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class PinDialog;
}
class QLabel;
class QLineEdit;
class QPushButton;

// PinDialog: asks for a PIN and tells which role it opened. The gate checks it away from the
// window's thread, so the clock's ticks go on while it is checked.
class PinDialog : public QDialog {
    Q_OBJECT
public:
    // `login` tries a PIN at the gate; it runs on a pool thread, so it must own what it uses.
    using Login = std::function<GateAnswer(const QString &pin)>;
    PinDialog(Login login, const QString &why, QWidget *parent = nullptr);
    ~PinDialog() override;

    // The role of the PIN accepted; Viewer until one is.
    Role role() const { return m_role; }
    // The gate's session token of the PIN accepted.
    QByteArray token() const { return m_token; }

    QLineEdit &pinField() { return *m_pin; }
    QPushButton &okButton() { return *m_ok; }
    QLabel &stateLine() { return *m_state; }

private:
    void tryPin();
    void checked(const GateAnswer &answer);

    std::unique_ptr<Ui::PinDialog> ui;
    Login m_login;
    Role m_role = Role::Viewer;
    QByteArray m_token;
    QLineEdit *m_pin = nullptr;
    QLabel *m_state = nullptr;
    QPushButton *m_ok = nullptr;
    bool m_checking = false;
};
