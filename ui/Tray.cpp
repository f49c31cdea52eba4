#include "Tray.h"

#include "AnaSayfa.h"
#include "Calendar.h"
#include "Clock.h"
#include "DayPlan.h"
#include "ErrorBox.h"
#include "ProgramValues.h"
#include "ui_AnaSayfa.h"

TrayIcon::TrayIcon(TfrmMenu &menu, DayPlan &plan, Calendar &calendar, QObject *parent)
    : QObject(parent)
    , m_window(menu)
    , m_plan(plan)
    , m_calendar(calendar)
    , m_icon(QIcon(QStringLiteral(":/icon.png")))
    , m_show(m_menu.addAction(QStringLiteral("Göster")))
    , m_stop(m_menu.addAction(QStringLiteral("Şimdi durdur")))
    , m_silence(m_menu.addAction(QStringLiteral("Bugün zil çalmasın")))
    , m_quit(m_menu.addAction(QStringLiteral("Çıkış"))) {
    m_icon.setContextMenu(&m_menu);
    connect(m_show, &QAction::triggered, this, &TrayIcon::showRequested);
    connect(m_stop, &QAction::triggered, this, &TrayIcon::stopRequested);
    // The window's "Şimdi durdur" takes the same road, for desktops without a tray.
    connect(m_window.controls().SimdiDurdur1, &QAction::triggered, this, &TrayIcon::stopRequested);
    m_silence->setObjectName(QStringLiteral("BugunZilCalmasin1"));
    m_silence->setCheckable(true);
    // Ticked as the calendar says whenever the menu opens: the window may have changed it.
    connect(&m_menu, &QMenu::aboutToShow, this,
            handled([this] { m_silence->setChecked(m_calendar.silencedToday()); }));
    connect(m_silence, &QAction::triggered, this,
            [this](bool on) { runHandler([&] { silenceClicked(on); }); });
    // The window closes into the tray while the tray shows the icon, and says so the first time.
    m_window.setClosesToTray([this] { return m_icon.isVisible(); });
    connect(&m_window, &TfrmMenu::hiddenToTray, this, [this] {
        m_icon.showMessage(m_window.windowTitle(),
                           QStringLiteral("Program çalışmaya devam ediyor, ziller çalar. "
                                          "Pencereyi bu simgeden açabilirsiniz; programı "
                                          "kapatmak için Dosya > Çıkış."),
                           QSystemTrayIcon::Information);
    });
    connect(&m_window, &TfrmMenu::dayLinesChanged, this, &TrayIcon::refresh);
    connect(m_quit, &QAction::triggered, &m_window, handled([this] { m_window.btnCikisClick(); }));
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) {
                if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
                    emit showRequested();
            });
    refresh();
}

void TrayIcon::silenceClicked(bool on) {
    if (!m_window.allowed(Action::SilenceToday)) {
        m_silence->setChecked(!on);
        return;
    }
    // One click would silence the rest of the school day: asked first, "Hayır" by default.
    if (on && !askYesNo(nullptr, m_window.windowTitle(),
                        QStringLiteral("Bugün bundan sonra hiçbir zil çalmayacak. Emin "
                                       "misiniz?"))) {
        m_silence->setChecked(false);
        return;
    }
    m_calendar.silenceToday(on);
}

void TrayIcon::showWhereTray() {
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_icon.show();
}

void TrayIcon::setServiceRings(bool rings) {
    m_serviceRings = rings;
    refresh();
}

void TrayIcon::setClockLine(const QString &line) {
    m_clockLine = line;
    refresh();
}

void TrayIcon::setSharedLine(const QString &line) {
    m_sharedLine = line;
    refresh();
}

void TrayIcon::refresh() {
    QStringList lines{m_window.windowTitle()};
    const QDateTime now = programClock().now();
    if (m_plan.date() == now.date()) {
        lines.append(m_plan.nextLine(now.time()));
        const QString day = m_plan.day().line();
        if (!day.isEmpty())
            lines.append(day);
        if (m_plan.troubled())
            lines.append(QStringLiteral("Bugün çalınamayan ya da kaçırılan zil var"));
    }
    if (m_serviceRings)
        lines.append(QStringLiteral("Ziller arka plandaki hizmet tarafından çalınıyor"));
    if (!m_clockLine.isEmpty())
        lines.append(m_clockLine);
    if (!m_sharedLine.isEmpty())
        lines.append(m_sharedLine);
    const QString tip = lines.join(QLatin1Char('\n'));
    if (tip != m_icon.toolTip())
        m_icon.setToolTip(tip);
}
