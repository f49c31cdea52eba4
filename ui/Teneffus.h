#pragma once

#include "BreakMusic.h"

#include <QDialog>

class QAction;
class RoleGate;
class TfrmMenu;

namespace Ui {
class TfrmTeneffus;
}

// TfrmTeneffus: "Ayarlar" > "Teneffüs müziği…": the folder of music, its order, the days and
// the breaks it plays in.
class TfrmTeneffus : public QDialog {
    Q_OBJECT
public:
    // `music` must outlive the window.
    explicit TfrmTeneffus(BreakMusic &music, QWidget *parent = nullptr);
    ~TfrmTeneffus() override;

    // Fills the fields from what is stored and shows the window.
    void ShowBreakMusic();
    void setGate(RoleGate *gate) { m_gate = gate; }
    Ui::TfrmTeneffus &controls() { return *ui; }

    void btnKaydetClick();
    void btnKlasorClick();

private:
    void showFileCount();

    Ui::TfrmTeneffus *ui;
    BreakMusic &m_music;
    RoleGate *m_gate = nullptr;
};

// "Ayarlar" > "Teneffüs müziği…" in the main window, opening `window` for the manager.
QAction *addBreakMusicCommand(TfrmMenu &menu, TfrmTeneffus &window);
