#pragma once

#include "Roles.h"

#include <QDialog>

#include <memory>

namespace Ui {
class PinDialog;
}
class QLabel;
class QLineEdit;
class QPushButton;

// PinDialog: asks for a PIN and tells which role it opened. The PIN is checked away from the
// window's thread, so the clock's ticks go on while it is checked.
class PinDialog : public QDialog {
    Q_OBJECT
public:
    PinDialog(Roles &roles, const QString &why, QWidget *parent = nullptr);
    ~PinDialog() override;

    // The role of the PIN accepted; Viewer until one is.
    Role role() const { return m_role; }

    QLineEdit &pinField() { return *m_pin; }
    QPushButton &okButton() { return *m_ok; }
    QLabel &stateLine() { return *m_state; }

private:
    void tryPin();
    void checked(Role matched);

    std::unique_ptr<Ui::PinDialog> ui;
    Roles &m_roles;
    Role m_role = Role::Viewer;
    QLineEdit *m_pin = nullptr;
    QLabel *m_state = nullptr;
    QPushButton *m_ok = nullptr;
    bool m_checking = false;
};
