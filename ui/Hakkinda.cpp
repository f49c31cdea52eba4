#include "Hakkinda.h"
#include "ui_Hakkinda.h"

#include "WebSite.h"
#include "WindowLook.h"

#include <QDesktopServices>
#include <QMouseEvent>

TfrmAbout::TfrmAbout(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmAbout>()) {
    ui->setupUi(this);
    move(447, 298);

    ui->Label3->setText(makerWebSite());
    // The labels size themselves to their text, whatever font the system substitutes.
    ui->Label1->adjustSize();
    ui->Label3->adjustSize();
    ui->Label3->installEventFilter(this);
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::ShowAbout() {
    bringToFront(*this);
}

QUrl TfrmAbout::linkTarget() {
    return makerPageUrl(QStringLiteral("/redirect.aspx?id=zil"));
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event) {
    if (watched != ui->Label3)
        return QWidget::eventFilter(watched, event);

    // A click is a left press and a release over the label, as with any push button.
    if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_linkPressed = true;
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && m_linkPressed) {
            m_linkPressed = false;
            if (ui->Label3->rect().contains(mouse->position().toPoint()))
                Label3Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmAbout::Label3Click() {
    // Without a browser there is nothing the user could do about it, so the result is not read.
    QDesktopServices::openUrl(linkTarget());
}
