#pragma once

#include <QDialog>

#include <functional>

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
    // store holds the bells; listeyiDoldur refills the main window's list.
    TfrmTopluDegisiklik(BellStore &store, std::function<void()> listeyiDoldur,
                        QWidget *parent = nullptr);

    // Shows the window with `gunIndex` as the one chosen day and the day to copy from.
    void ShowFor(int gunIndex);

    void btnKaydirClick();
    void btnKopyalaClick();
    void btnSilClick();

    QCheckBox *cbGun[7] = {};
    QComboBox *cmbYon; // "İleri al" or "Geri al"
    QSpinBox *txtDakika;
    QSpinBox *txtSaniye;
    QComboBox *cmbKaynak; // the day copied from
    QRadioButton *rbEkle;
    QRadioButton *rbDegistir;
    QPushButton *btnKaydir;
    QPushButton *btnKopyala;
    QPushButton *btnSil;
    QLabel *lblDurum; // what the last change did

private:
    QList<int> chosenDays() const;
    int bellCount(const QList<int> &days);
    // Asks before bells are deleted; true on "Evet".
    bool confirm(const QString &text);
    void finish(const QString &what);

    BellStore &m_store;
    std::function<void()> m_listeyiDoldur;
};
