#include "Tray.h"

#include "AnaSayfa.h"
#include "ErrorBox.h"
#include "ui_AnaSayfa.h"

TrayIcon::TrayIcon(TfrmMenu &menu, QObject *parent)
    : QObject(parent)
    , m_window(menu)
    , m_icon(QIcon(QStringLiteral(":/icon.png")))
    , m_show(m_menu.addAction(QStringLiteral("Göster")))
    , m_stop(m_menu.addAction(QStringLiteral("Şimdi durdur")))
    , m_quit(m_menu.addAction(QStringLiteral("Çıkış"))) {
    m_icon.setContextMenu(&m_menu);
    connect(m_show, &QAction::triggered, this, &TrayIcon::showRequested);
    connect(m_stop, &QAction::triggered, this, &TrayIcon::stopRequested);
    connect(m_quit, &QAction::triggered, &m_window, handled([this] { m_window.btnCikisClick(); }));
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) {
                if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
                    emit showRequested();
            });
    refresh();
}

void TrayIcon::showWhereTray() {
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_icon.show();
}

void TrayIcon::refresh() {
    Ui::TfrmMenu &ui = m_window.controls();
    QStringList lines{m_window.windowTitle()};
    const QString next = ui.lblSiradakiZil->toolTip();
    if (!next.isEmpty())
        lines.append(next);
    if (!ui.lblTakvim->isHidden())
        lines.append(ui.lblTakvim->toolTip());
    if (!ui.lblUyari->isHidden())
        lines.append(QStringLiteral("Bugün çalınamayan ya da kaçırılan zil var"));
    if (m_window.serviceRings())
        lines.append(QStringLiteral("Ziller arka plandaki hizmet tarafından çalınıyor"));
    const QString tip = lines.join(QLatin1Char('\n'));
    if (tip != m_icon.toolTip())
        m_icon.setToolTip(tip);
}
