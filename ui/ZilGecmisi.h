#pragma once

#include "BellStore.h"

#include <QDate>
#include <QList>
#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class TfrmZilGecmisi;
}
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;

// TfrmZilGecmisi, the bell record window: what became of each bell that fell due, newest first,
// for a date range and one outcome or all, and the rows shown saved as a CSV file. Created once,
// hidden; it reads the record afresh whenever it is shown, and its close box only hides it.
class TfrmZilGecmisi : public QWidget {
    Q_OBJECT
public:
    // The table's columns, in the order of the CSV file too.
    enum Column { ColTarih, ColSaat, ColZil, ColMuzik, ColSonuc, ColGecikme, ColAciklama };

    // `store` holds the record and must outlive the window.
    explicit TfrmZilGecmisi(BellStore &store, QWidget *parent = nullptr);
    ~TfrmZilGecmisi() override;

    // Shows the window read afresh, or brings it to the front read afresh when already open.
    void ShowHistory();

    // Reads the record of the chosen dates again; an end before the start is told in the window
    // and leaves the list as it was.
    void btnYenileClick();
    // Saves the rows shown to the file ChooseCsvFile names; nothing when it names none.
    void btnCsvKaydetClick();

    // Asks the user where to save the CSV file; the path, or an empty text when cancelled. A
    // save-file dialog unless replaced.
    std::function<QString()> ChooseCsvFile;

    // The rows shown as CSV: a header line, then a line per row, ';' between fields.
    QString csvText() const;

    QDateEdit *dtpBaslangic() const;
    QDateEdit *dtpBitis() const;
    QComboBox *cmbSonuc() const;
    QTableWidget *lvGecmis() const;
    QLabel *lblDurum() const;
    QPushButton *btnYenile() const;
    QPushButton *btnCsvKaydet() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setDefaultRange();
    void fillTable();
    QString runSaveDialog();

    std::unique_ptr<Ui::TfrmZilGecmisi> ui;
    BellStore &m_store;
    QList<BellEvent> m_events; // the last read, before the outcome filter
    // The range last set for the user; a range the user has not touched follows the days on.
    QDate m_defaultFrom;
    QDate m_defaultTo;
    QPalette m_warning; // the status line when it tells of a problem
};
