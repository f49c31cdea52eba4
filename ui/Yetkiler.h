#pragma once

#include "Roles.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmYetkiler;
}
class QLabel;
class QLineEdit;
class QPushButton;
class RoleGate;

// TfrmYetkiler, "Yetkiler ve PIN…": sets, changes and clears the manager's and the duty
// teacher's PINs. Opened by a manager, or by anyone while the roles are off.
class TfrmYetkiler : public QDialog {
    Q_OBJECT
public:
    explicit TfrmYetkiler(RoleGate &gate, QWidget *parent = nullptr);
    ~TfrmYetkiler() override;

    // The fields empty and the state line read afresh.
    void ShowRoles();

    struct PinFields {
        QLineEdit *pin;
        QLineEdit *again;
        QPushButton *save;
        QPushButton *clear;
    };
    PinFields &fields(Role role) { return role == Role::Manager ? m_manager : m_duty; }
    QLabel &stateLine() { return *m_state; }
    // Whether a PIN is being hashed and written.
    bool busy() const { return m_busy; }

signals:
    // A PIN was saved or cleared.
    void pinsChanged();

private:
    void setUpFields(const PinFields &fields, Role role);
    void save(Role role);
    void clear(Role role);
    void drawState();

    std::unique_ptr<Ui::TfrmYetkiler> ui;
    RoleGate &m_gate;
    QLabel *m_state;
    PinFields m_manager;
    PinFields m_duty;
    bool m_busy = false;
};
