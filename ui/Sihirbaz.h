#pragma once

#include "Timetable.h"

#include <QDialog>

#include <functional>
#include <memory>

class BellStore;
class Calendar;
class QFileDialog;
class QLineEdit;

namespace Ui {
class TfrmSihirbaz;
}

// TfrmSihirbaz, the timetable wizard ("Ders Programı Sihirbazı"): makes the bells of whole school
// days from a few numbers, shows them for checking as the fields change, and writes the ticked
// ones beside or in place of those days' bells, all in one go. Created once and hidden; it keeps
// its fields between showings.
class TfrmSihirbaz : public QDialog {
    Q_OBJECT
public:
    // store holds the bells and calendar the ceremony's rule (none: the ceremony part is only
    // checked); listeyiDoldur refills the main window's list.
    TfrmSihirbaz(BellStore &store, Calendar *calendar, std::function<void()> listeyiDoldur,
                 QWidget *parent = nullptr);
    ~TfrmSihirbaz() override;

    // Shows the wizard, or brings it to the front when already open; the preview keeps what was
    // unticked. Its bells are written to `programme`, the one the main window lists, and the
    // ceremony fields show that programme's rule.
    void ShowWizard(int programme = 0);
    int programme() const { return m_programme; }

    // The plan the fields describe.
    TimetablePlan plan() const;
    // Makes the bells afresh and shows them, every one ticked; a refusal shows instead of them.
    void Onizle();
    // The bells of the preview that are ticked.
    QList<Bell> tickedBells() const;

    void btnKaydetClick();
    // A role's "..." button: imports a music file into Muzikler and puts its name in `field`.
    void chooseMusic(QLineEdit *field);

    // Asks the user for a music file; the chosen path, or an empty text when cancelled. The music
    // dialog unless replaced.
    std::function<QString()> ChooseMusicFile;

    std::unique_ptr<Ui::TfrmSihirbaz> ui;

private:
    QList<int> chosenDays() const;
    void followCeremonyMusic();

    BellStore &m_store;
    Calendar *m_calendar;
    std::function<void()> m_listeyiDoldur;
    Timetable m_timetable;
    QFileDialog *m_musicDialog = nullptr;
    int m_programme = 0;
    QString m_title;
};
