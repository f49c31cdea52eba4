#pragma once

#include "Alarm.h"

#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QWidget;
class TfrmMenu;

// AlarmCommands: "Acil durum" in the main window's menu bar and in the tray: a click and one
// answer ("Alarmı çal", never the default) sound an alarm of each kind; "Alarmı durdur" stops it
// without asking. Only the duty role and the manager may, when the roles are on.
class AlarmCommands : public QObject {
    Q_OBJECT
public:
    // `sound` sounds a kind, or stops the alarm when given none; `sounding` says what sounds now
    // (nothing while the background service rings and this copy cannot tell). Both are the
    // program's, so the commands reach whichever copy rings.
    AlarmCommands(TfrmMenu &menu, QMenu &trayMenu,
                  std::function<void(std::optional<Alarm::Kind>)> sound,
                  std::function<std::optional<Alarm::Kind>()> sounding);

    // Marks the kind that sounds and enables "Alarmı durdur"; called when the alarm changes.
    void refresh();

    // The window's commands: one per kind in Alarm::Kinds order, then "Alarmı durdur".
    const QList<QAction *> &windowActions() const { return m_window; }
    const QList<QAction *> &trayActions() const { return m_tray; }

private:
    // The box that asks before a kind sounds opens over `asking` (none: the tray's).
    QList<QAction *> fill(QMenu &menu, QWidget *asking);
    bool confirmed(Alarm::Kind kind, QWidget *asking);

    TfrmMenu &m_menu;
    std::function<void(std::optional<Alarm::Kind>)> m_sound;
    std::function<std::optional<Alarm::Kind>()> m_sounding;
    QList<QAction *> m_window;
    QList<QAction *> m_tray;
};
