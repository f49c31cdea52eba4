#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class RoleGate;

class QCheckBox;
class QFileDialog;
class BellStore;

namespace Ui {
class TfrmDuzenleme;
}

// TfrmDuzenleme, the bell editor: a modeless dialog that creates a bell (optionally on every
// working day too) or changes one, and imports music files into Muzikler. Created once and hidden;
// it keeps its fields between showings, and its close box, Esc and "Çıkış" only hide it.
class TfrmDuzenleme : public QDialog {
    Q_OBJECT
public:
    // The gate its changes ask; without one (as in its own tests) nothing is asked.
    void setGate(RoleGate *gate) { m_gate = gate; }

    enum Kip { YeniKayitKipi = 1, DuzenlemeKipi = 2 };

    // store holds the bells; listeyiDoldur refills the main window's list.
    TfrmDuzenleme(BellStore &store, std::function<void()> listeyiDoldur, QWidget *parent = nullptr);
    ~TfrmDuzenleme() override;

    // 1 = new bell, 2 = edit the bell KayitID; any other value leaves the fields alone on
    // showing.
    int EditorKipi() const { return m_editorKipi; }
    void setEditorKipi(int kip) { m_editorKipi = kip; }
    // The id of the bell that edit mode loads and saves.
    int KayitID() const { return m_kayitId; }
    void setKayitID(int id) { m_kayitId = id; }

    // The main window hands over its selected day; a new bell's showing replaces it with today.
    void setGunIndex(int gunIndex);
    // The programme a new bell joins: the one the main window lists.
    void setProgram(int programme) { m_programme = programme; }
    int program() const { return m_programme; }

    // The main window's new, edit and double-click commands: shows the dialog with its fields
    // loaded for the current mode, and reloads them when it is already open.
    void ShowEditor();

    // Loads the fields for the current mode, as every showing does.
    void FormShow();

    // The handlers behind the controls.
    void cmbGunlerChange();
    void btnDosyaAcClick();
    void btnYeniKayitClick();
    void btnCikisClick();

    // Asks the user for a music file; the chosen path, or an empty text when cancelled. Runs
    // odMuzikDosyasi unless replaced.
    std::function<QString()> ChooseMusicFile;

    // The open-file dialog of the import.
    QFileDialog *odMuzikDosyasi();

    std::unique_ptr<Ui::TfrmDuzenleme> ui;

private:
    RoleGate *m_gate = nullptr;
    void showEditorWindow();
    void loadForNewBell();
    void loadBell();
    // A computer ringing a school's shared schedule for one building offers a bell for that
    // building alone; `building` is the bell's.
    void showBuildingChoice(qint64 building);
    // The copy option is offered on working days only, and never left ticked where it is not.
    void followDayWithCopyOption();
    int durationForSave();

    BellStore &m_store;
    std::function<void()> m_listeyiDoldur;
    int m_editorKipi = 0;
    int m_kayitId = 0;
    int m_programme = 0;
    qint64 m_building = 0; // the shared schedule's building of this computer; 0: none
    QCheckBox *cbYalnizBuBina = nullptr;
    QFileDialog *m_odMuzikDosyasi = nullptr;
};
