// TfrmMenu's staff roles: the gate, its menu items, the line that tells who is logged in and
// the player bar's buttons. Kept apart from AnaSayfa.cpp, which lays the window out.

#include "AnaSayfa.h"
#include "ui_AnaSayfa.h"

#include "MPlayer.h"
#include "Yetkiler.h"

#include <QLabel>

void TfrmMenu::setUpRoles() {
    m_gate = new RoleGate(rolesFile(), this);

    QAction *roles = ui->Ayarlar1->addAction(QStringLiteral("&Yetkiler ve PIN…"));
    roles->setObjectName(QStringLiteral("YetkilerVePin1"));
    connect(roles, &QAction::triggered, this, handled([this] { showRolesWindow(); }));
    QAction *logIn = ui->Ayarlar1->addAction(QString());
    logIn->setObjectName(QStringLiteral("GirisCikis1"));
    connect(logIn, &QAction::triggered, this, handled([this] {
                if (m_gate->role() == Role::Viewer)
                    m_gate->logIn(this);
                else
                    m_gate->logOut();
            }));
    // The menu tells the state as it opens: the roles may have been turned on meanwhile.
    connect(ui->Ayarlar1, &QMenu::aboutToShow, this, handled([this, logIn] {
                logIn->setVisible(m_gate->enabled());
                logIn->setText(m_gate->role() == Role::Viewer ? QStringLiteral("&Giriş yap…")
                                                              : QStringLiteral("Ç&ıkış yap"));
            }));

    // Who is logged in, at the top right over the logo, with the way out of it.
    m_roleLine = new QLabel(ui->centralwidget);
    m_roleLine->setObjectName(QStringLiteral("lblYetki"));
    m_roleLine->setTextFormat(Qt::RichText);
    m_roleLine->setAutoFillBackground(true);
    m_roleLine->setAlignment(Qt::AlignCenter);
    m_roleLine->setGeometry(ui->imgLogo->width() - 172, 2, 168, 16);
    connect(m_roleLine, &QLabel::linkActivated, this, [this](const QString &link) {
        runHandler([&] {
            if (link == QLatin1String("#cikis"))
                m_gate->logOut();
            else
                m_gate->logIn(this);
        });
    });
    connect(m_gate, &RoleGate::roleChanged, this, &TfrmMenu::drawRole);
    drawRole();

    // Playing music by hand is the manager's; stopping or pausing it also the duty teacher's.
    ui->mpPlayer->OnClick = [this](TMediaPlayer *, TMPBtnType button, bool &doDefault) {
        runHandler([&] {
            doDefault = false;
            doDefault = allowed(button == btPlay ? Action::PlayMusic : Action::StopSound);
        });
    };
}

void TfrmMenu::drawRole() {
    const bool on = m_gate->enabled();
    m_roleLine->setVisible(on);
    if (!on)
        return;
    const Role role = m_gate->role();
    m_roleLine->setText(
        role == Role::Viewer
            ? QStringLiteral("Görüntüleme · <a href=\"#giris\">Giriş yap</a>")
            : QStringLiteral("%1 · <a href=\"#cikis\">Çıkış yap</a>").arg(roleName(role)));
    m_roleLine->setToolTip(role == Role::Viewer
                               ? QStringLiteral("Giriş yapılmadan yalnız bakılabilir")
                               : QStringLiteral("%1 olarak giriş yapıldı; %2 dakika işlem "
                                                "yapılmazsa çıkış yapılır")
                                     .arg(roleName(role))
                                     .arg(RoleGate::IdleMinutes));
}

void TfrmMenu::showRolesWindow() {
    // Only a manager changes PINs; while the roles are off, anyone sets the first one.
    if (!allowed(Action::ChangeSettings))
        return;
    if (!m_rolesWindow) {
        m_rolesWindow = new TfrmYetkiler(*m_gate, this);
        connect(m_rolesWindow, &TfrmYetkiler::pinsChanged, this, [this] {
            if (!m_gate->enabled())
                m_gate->logOut();
            drawRole();
        });
    }
    m_rolesWindow->ShowRoles();
}
