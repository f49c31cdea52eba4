#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class Calendar;
class DayPlan;
class TfrmMenu;

// TrayIcon, the program's icon in the desktop's tray while its window runs: the tooltip tells
// the next bell and today's trouble, the menu shows the window, stops the music, silences the
// rest of today (after asking) and ends the program. While the icon shows, closing the window
// hides it here. Where the desktop has no tray the icon is simply not shown.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    // Draws the next bell and today's state from `plan` whenever the window's lines move on,
    // and "Bugün zil çalmasın" from `calendar`; all three must outlive the icon.
    TrayIcon(TfrmMenu &menu, DayPlan &plan, Calendar &calendar, QObject *parent = nullptr);

    // Shows the icon when the desktop has a tray.
    void showWhereTray();
    // Draws the plan into the tooltip again.
    void refresh();
    // While the background service rings the folder's bells, the tooltip says so.
    void setServiceRings(bool rings);
    // What is wrong with the computer's clock, as a line of the tooltip; empty: nothing.
    void setClockLine(const QString &line);
    // How the shared schedule stands (joined, out of reach), as a line; empty: not joined.
    void setSharedLine(const QString &line);

    QSystemTrayIcon &icon() { return m_icon; }
    QMenu &menu() { return m_menu; }
    QAction &showAction() { return *m_show; }
    QAction &stopAction() { return *m_stop; }
    QAction &silenceAction() { return *m_silence; }
    QAction &quitAction() { return *m_quit; }

signals:
    void showRequested();
    // "Şimdi durdur", from the tray or from the window's menu.
    void stopRequested();

private:
    void silenceClicked(bool on);

    TfrmMenu &m_window;
    DayPlan &m_plan;
    Calendar &m_calendar;
    bool m_serviceRings = false;
    QString m_clockLine;
    QString m_sharedLine;
    QMenu m_menu;
    QSystemTrayIcon m_icon;
    QAction *m_show;
    QAction *m_stop;
    QAction *m_silence;
    QAction *m_quit;
};
