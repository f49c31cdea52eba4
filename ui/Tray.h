#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class Calendar;
class TfrmMenu;

// TrayIcon, the program's icon in the desktop's tray while its window runs: the tooltip tells
// the next bell and today's trouble, the menu shows the window, stops the music, silences the
// rest of today (after asking) and ends the program. While the icon shows, closing the window
// hides it here. Where the desktop has no tray the icon is simply not shown.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    // Reads the next bell and today's state from `menu`'s lines whenever they change, and
    // "Bugün zil çalmasın" from `calendar`; both must outlive the icon.
    TrayIcon(TfrmMenu &menu, Calendar &calendar, QObject *parent = nullptr);

    // Shows the icon when the desktop has a tray.
    void showWhereTray();
    // Reads the window's lines into the tooltip again.
    void refresh();

    QSystemTrayIcon &icon() { return m_icon; }
    QMenu &menu() { return m_menu; }
    QAction &showAction() { return *m_show; }
    QAction &stopAction() { return *m_stop; }
    QAction &silenceAction() { return *m_silence; }
    QAction &quitAction() { return *m_quit; }

signals:
    void showRequested();
    void stopRequested();

private:
    void silenceClicked(bool on);

    TfrmMenu &m_window;
    Calendar &m_calendar;
    QMenu m_menu;
    QSystemTrayIcon m_icon;
    QAction *m_show;
    QAction *m_stop;
    QAction *m_silence;
    QAction *m_quit;
};
