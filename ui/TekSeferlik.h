#pragma once

#include "BellStore.h"

#include <QWidget>

#include <memory>

class RoleGate;

namespace Ui {
class TfrmTekSeferlik;
}

// TfrmTekSeferlik, "Tek Seferlik Ziller": bells of one date at one second (a show, a
// commemoration). Lists the ones from today on; adds and deletes. Created once, hidden; read
// afresh whenever it is shown.
class TfrmTekSeferlik : public QWidget {
    Q_OBJECT
public:
    // The gate its changes ask; without one (as in its own tests) nothing is asked.
    void setGate(RoleGate *gate) { m_gate = gate; }

    // `store` must outlive the window.
    explicit TfrmTekSeferlik(BellStore &store, QWidget *parent = nullptr);
    ~TfrmTekSeferlik() override;

    Ui::TfrmTekSeferlik &controls() { return *ui; }

    void ShowOneOffs();
    // Adds the bell the fields describe; bad input is told and nothing is saved.
    void btnEkleClick();
    // Deletes the selected bell after asking.
    void btnSilClick();

private:
    RoleGate *m_gate = nullptr;
    void fill();

    std::unique_ptr<Ui::TfrmTekSeferlik> ui;
    BellStore &m_store;
};
