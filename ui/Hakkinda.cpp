#include "Hakkinda.h"
#include "ui_Hakkinda.h"

#include "WebSite.h"
#include "WindowLook.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QShortcut>

TfrmAbout::TfrmAbout(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmAbout>()) {
    ui->setupUi(this);
    move(447, 298);

    // The version is the one the program is built and packaged as.
    ui->Label1->setText(ui->Label1->text() + QStringLiteral(" Versiyon " ZIL_VERSION));
    ui->Label3->setText(makerWebSite());
    // The labels size themselves to their text, whatever font the system substitutes.
    ui->Label1->adjustSize();
    ui->Label3->adjustSize();
    ui->Label3->installEventFilter(this);
    // Esc closes it as it closes a dialog; closing only hides it.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
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
