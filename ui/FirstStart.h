#pragma once

#include <QFrame>

class BellStore;
class Calendar;
class QAction;
class QLineEdit;
class QPushButton;
class TfrmMenu;

// FirstStartPanel, the way in on a schedule without a single bell: in place of the main window's
// empty list it asks for the school's name and leads to the wizard (whose fields already name the
// program's own sounds) and to the school year in "Okul Takvimi". Once the schedule has bells, or
// the user puts it aside, the calendar remembers it and it is not shown again.
class FirstStartPanel : public QFrame {
    Q_OBJECT
public:
    // Lies over `menu`'s list; `store` and `calendar` must outlive it.
    FirstStartPanel(BellStore &store, Calendar &calendar, TfrmMenu &menu);

    // Shown while the schedule is empty and the way in not yet gone through; bells that have
    // come meanwhile finish it.
    void refresh();
    // Keeps the typed name, showing why when it is refused (the field keeps what was typed).
    bool keepName();
    // "Listeye geç": keeps the name and puts the panel aside for good.
    void finish();

    QLineEdit &nameField() { return *m_name; }
    QPushButton &wizardButton() { return *m_wizard; }
    QPushButton &calendarButton() { return *m_calendar; }
    QPushButton &doneButton() { return *m_done; }

signals:
    void wizardWanted();
    void calendarWanted();

private:
    bool scheduleEmpty();

    BellStore &m_store;
    Calendar &m_calendarStore;
    TfrmMenu &m_menu;
    QLineEdit *m_name;
    QPushButton *m_wizard;
    QPushButton *m_calendar;
    QPushButton *m_done;
};

// "Ayarlar" > "Okulun adı…": changes the name the title and the printed week show.
QAction *addSchoolNameCommand(TfrmMenu &menu, Calendar &calendar);
