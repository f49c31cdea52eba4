#pragma once

#include "Calendar.h"

#include <QWidget>

#include <memory>
#include <optional>

class RoleGate;

namespace Ui {
class TfrmOkulTakvimi;
}
class QTreeWidgetItem;
class BellStore;

// TfrmOkulTakvimi, the school calendar window: a month calendar with the holidays, half days and
// make-up days coloured, the list of the shown year's entries and known holidays with their state,
// the school year, and the "Bugün zil çalmasın" switch. Created once, hidden; it reads the
// calendar afresh whenever it is shown, and its close box only hides it.
class TfrmOkulTakvimi : public QWidget {
    Q_OBJECT
public:
    // The gate its changes ask; without one (as in its own tests) nothing is asked.
    void setGate(RoleGate *gate) { m_gate = gate; }

    // `calendar` must outlive the window.
    // `store`, when given, offers its programmes for "Özel program" entries.
    explicit TfrmOkulTakvimi(Calendar &calendar, BellStore *store = nullptr,
                             QWidget *parent = nullptr);
    ~TfrmOkulTakvimi() override;

    Ui::TfrmOkulTakvimi &controls() { return *ui; }

    // Shows the window read afresh, or brings it to the front read afresh when already open.
    void ShowCalendar();

    // Empties the entry fields for a new entry, dated on the day picked in the calendar.
    void btnEkleClick();
    // Puts the selected entry, or a religious holiday's first day, into the fields.
    void btnDuzenleClick();
    void btnSilClick();
    // Switches the selected official or religious holiday off, or on again.
    void btnAcKapatClick();
    // Keeps the selected religious holiday's proposed date as the confirmed one.
    void btnOnaylaClick();
    // Saves the fields; bad input is told and nothing is saved.
    void btnKaydetClick();
    void btnOkulYiliKaydetClick();
    void cbBugunZilCalmasinClick(bool checked);

private:
    RoleGate *m_gate = nullptr;
    // Reads everything afresh for the year on show.
    void refresh();
    void colourDays(int year);
    void fillList(int year);
    void showTypeFields();
    void followSelection();
    // The selected row; nothing, told to the user, when none is selected.
    QTreeWidgetItem *selectedRow();

    std::unique_ptr<Ui::TfrmOkulTakvimi> ui;
    Calendar &m_calendar;
    BellStore *m_store;
    void fillProgrammes();
    int m_shownYear = 0;
    int m_editId = 0; // the entry in the fields; 0 for a new one
    struct Religious {
        QString key;
        int hijriYear = 0;
        QDate proposed;
    };
    std::optional<Religious> m_editReligious; // a religious holiday's date being corrected
};
