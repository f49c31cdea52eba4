#include "AcilDurum.h"

#include "AnaSayfa.h"
#include "ErrorBox.h"
#include "ui_AnaSayfa.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

AlarmCommands::AlarmCommands(TfrmMenu &menu, QMenu &trayMenu,
                             std::function<void(std::optional<Alarm::Kind>)> sound,
                             std::function<std::optional<Alarm::Kind>()> sounding)
    : QObject(&menu)
    , m_menu(menu)
    , m_sound(std::move(sound))
    , m_sounding(std::move(sounding)) {
    Ui::TfrmMenu &ui = menu.controls();
    auto *windowMenu = new QMenu(QStringLiteral("A&cil durum"), &menu);
    windowMenu->setObjectName(QStringLiteral("AcilDurum1"));
    ui.MainMenu1->insertMenu(ui.Hakkinda1, windowMenu);
    // Six menus in the window's fixed width: a little less room around each keeps "Hakkında"
    // in sight rather than behind the overflow arrow.
    ui.MainMenu1->setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 4px; }"));
    m_window = fill(*windowMenu, &menu);
    auto *trayAlarm = new QMenu(QStringLiteral("Acil durum"), &trayMenu);
    trayMenu.insertMenu(trayMenu.actions().value(2), trayAlarm);
    m_tray = fill(*trayAlarm, nullptr);
    refresh();
}

QList<QAction *> AlarmCommands::fill(QMenu &menu, QWidget *asking) {
    QList<QAction *> actions;
    for (const Alarm::Kind kind : Alarm::Kinds) {
        QAction *a = menu.addAction(Alarm::title(kind));
        a->setCheckable(true);
        connect(a, &QAction::triggered, &m_menu, handled([this, kind, asking] {
                    // A click on the kind that sounds leaves it sounding.
                    refresh();
                    if (m_menu.allowed(Action::Alarm) && confirmed(kind, asking))
                        m_sound(kind);
                    refresh();
                }));
        actions.append(a);
    }
    menu.addSeparator();
    QAction *stop = menu.addAction(QStringLiteral("Alarmı durdur"));
    connect(stop, &QAction::triggered, &m_menu, handled([this] {
                if (m_menu.allowed(Action::Alarm))
                    m_sound(std::nullopt);
                refresh();
            }));
    actions.append(stop);
    // The background service's alarm is known only by asking; the menu asks as it opens.
    connect(&menu, &QMenu::aboutToShow, this, &AlarmCommands::refresh);
    return actions;
}

bool AlarmCommands::confirmed(Alarm::Kind kind, QWidget *asking) {
    if (m_sounding() == kind)
        return true;
    // A menu opened by its letter has its first entry chosen already: Enter and Space answer
    // "Vazgeç", and the alarm sounds only by choosing its button.
    return askYesNo(asking, boxTitle(asking),
                    QStringLiteral("\"%1\" alarmı bütün okulda hemen çalacak. Çalınsın mı?")
                        .arg(Alarm::title(kind)),
                    QStringLiteral("Alarmı çal"), QStringLiteral("Vazgeç"));
}

void AlarmCommands::refresh() {
    const std::optional<Alarm::Kind> now = m_sounding();
    for (const QList<QAction *> *actions : {&m_window, &m_tray}) {
        for (qsizetype i = 0; i + 1 < actions->size(); ++i)
            actions->at(i)->setChecked(now && *now == Alarm::Kinds[i]);
        QAction *stop = actions->last();
        QFont font = stop->font();
        font.setBold(bool(now));
        stop->setFont(font);
    }
}
