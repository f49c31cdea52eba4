#pragma once

#include "BellStore.h"
#include "Calendar.h"

#include <QWidget>

#include <memory>

class RoleGate;

namespace Ui {
class TfrmTorenler;
}

// TfrmTorenler, "Törenler ve 10 Kasım": the school's İstiklal Marşı recording, the flag
// ceremony's rule (the day plan works out its days from the calendar) and 10 Kasım's saygı
// duruşu. Created once, hidden; read afresh whenever it is shown.
class TfrmTorenler : public QWidget {
    Q_OBJECT
public:
    // The gate its changes ask; without one (as in its own tests) nothing is asked.
    void setGate(RoleGate *gate) { m_gate = gate; }

    // `store` and `calendar` must outlive the window.
    TfrmTorenler(BellStore &store, Calendar &calendar, QWidget *parent = nullptr);
    ~TfrmTorenler() override;

    Ui::TfrmTorenler &controls() { return *ui; }

    void ShowCeremonies();
    // Keeps what the fields say; a ceremony without a recording is refused with a message.
    void btnKaydetClick();

private:
    RoleGate *m_gate = nullptr;
    void followRecording();

    std::unique_ptr<Ui::TfrmTorenler> ui;
    BellStore &m_store;
    Calendar &m_calendar;
};
