#pragma once

#include <QDialog>

#include <memory>

class RoleGate;

namespace Ui {
class TfrmProgramlar;
}
class BellStore;

// Whether `programme` is still there to write bells to: a window opened for it may outlive it,
// and bells written to a removed programme would never be seen or rung. Tells the user (over
// `window`) when it is gone.
bool programmeStillThere(BellStore &store, int programme, QWidget *window);

// TfrmProgramlar: the school's programmes besides Normal, added, renamed and removed. The name is
// typed in the window's own field rather than in a box of its own, so nothing waits on a
// second dialog. Created once and hidden.
class TfrmProgramlar : public QDialog {
    Q_OBJECT
public:
    // The gate its changes ask; without one (as in its own tests) nothing is asked.
    void setGate(RoleGate *gate) { m_gate = gate; }

    explicit TfrmProgramlar(BellStore &store, QWidget *parent = nullptr);
    ~TfrmProgramlar() override;

    // Shows the window with the programmes read afresh.
    void ShowProgrammes();
    void ListeyiDoldur();

    void btnYeniClick();
    void btnAdDegistirClick();
    // Asks first: a programme's bells go with it.
    void btnSilClick();

    Ui::TfrmProgramlar &controls() { return *ui; }

signals:
    // A programme was added, renamed or removed.
    void programmesChanged();

private:
    RoleGate *m_gate = nullptr;
    // The selected programme's id; nothing chosen, or Normal, is told and answers -1.
    int chosenOther(const QString &what);
    void select(int id);

    std::unique_ptr<Ui::TfrmProgramlar> ui;
    BellStore &m_store;
};
