#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class RoleGate;

namespace Ui {
class TfrmTopluDegisiklik;
}
class BellStore;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

// TfrmTopluDegisiklik, changes to many bells at once: the bells of the chosen days moved earlier
// or later, one day's bells copied to the chosen days, or every bell of the chosen days deleted.
// Each is one write: all of it or nothing. Created once and hidden.
class TfrmTopluDegisiklik : public QDialog {
    Q_OBJECT
public:
    // The gate its changes ask; without one (as in its own tests) nothing is asked.
    void setGate(RoleGate *gate) { m_gate = gate; }

    // store holds the bells; listeyiDoldur refills the main window's list.
    TfrmTopluDegisiklik(BellStore &store, std::function<void()> listeyiDoldur,
                        QWidget *parent = nullptr);
    ~TfrmTopluDegisiklik() override;

    // Shows the window for the bells of `programme`, with `gunIndex` as the one chosen day and
    // the day to copy from.
    void ShowFor(int gunIndex, int programme = 0);
    int programme() const { return m_programme; }

    void btnKaydirClick();
    void btnKopyalaClick();
    void btnSilClick();

    // The form's controls that the program and its tests use; cbGun by day number.
    QCheckBox *cbGun[7] = {};
    QComboBox *cmbYon = nullptr; // "İleri al" or "Geri al"
    QSpinBox *txtDakika = nullptr;
    QSpinBox *txtSaniye = nullptr;
    QComboBox *cmbKaynak = nullptr;        // the day copied from
    QComboBox *cmbKaynakProgram = nullptr; // the programme copied from
    QRadioButton *rbEkle = nullptr;
    QRadioButton *rbDegistir = nullptr;
    QPushButton *btnKaydir = nullptr;
    QPushButton *btnKopyala = nullptr;
    QPushButton *btnSil = nullptr;
    QLabel *lblDurum = nullptr; // what the last change did

private:
    RoleGate *m_gate = nullptr;
    QList<int> chosenDays() const;
    int bellCount(const QList<int> &days, int programme);
    int sourceProgramme() const;
    // The "Her gün kendi gününden" copy: each ticked day takes its own weekday's bells of
    // `fromProgramme`.
    void copyEachOwnDay(int fromProgramme);
    static constexpr int EachOwnDay = 7;
    // Asks before bells are deleted; true on "Evet".
    bool confirm(const QString &text);
    void finish(const QString &what);

    std::unique_ptr<Ui::TfrmTopluDegisiklik> ui;
    BellStore &m_store;
    std::function<void()> m_listeyiDoldur;
    int m_programme = 0;
};
