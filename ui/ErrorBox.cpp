#include "ErrorBox.h"

#include "ZilError.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>

QString applicationTitle() {
    return applicationTitleFrom(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

QString applicationTitleFrom(const QString &programFileName) {
    QString name = programFileName;
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString errorBoxText(const QString &message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString boxTitle(QWidget *parent) {
    const QWidget *window = parent ? parent->window() : QApplication::activeWindow();
    if (window && !window->windowTitle().isEmpty())
        return window->windowTitle();
    return QStringLiteral("Selvanor Zil Sistemi");
}

void showMessage(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::NoIcon, boxTitle(parent), text, QMessageBox::Ok, parent);
    box.exec();
}

bool askYesNo(QWidget *parent, const QString &title, const QString &text, const QString &yes,
              const QString &no, bool yesIsDefault) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QPushButton *yesButton = box.addButton(yes, QMessageBox::YesRole);
    QPushButton *noButton = box.addButton(no, QMessageBox::NoRole);
    box.setDefaultButton(yesIsDefault ? yesButton : noButton);
    box.setEscapeButton(noButton);
    box.exec();
    return box.clickedButton() == yesButton;
}

void showErrorBox(const QString &message) {
    QMessageBox box(QMessageBox::Critical, boxTitle(nullptr), errorBoxText(message),
                    QMessageBox::Ok);
    box.exec();
}

void showErrorNotice(const QString &message) {
    const QString text = errorBoxText(message);
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *box = qobject_cast<QMessageBox *>(window);
        if (box && box->isVisible() && box->property("zilNotice").toBool() && box->text() == text)
            return;
    }
    // The bell clock speaks for no window.
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Selvanor Zil Sistemi"), text,
                                QMessageBox::Ok);
    box->setProperty("zilNotice", true);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void keepNoticesOver(QWidget *window) {
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *candidate : windows) {
        auto *box = qobject_cast<QMessageBox *>(candidate);
        if (!box || !box->isVisible() || !box->property("zilNotice").toBool())
            continue;
        // A transient window stays over its parent, whatever the window manager raises later.
        if (box->windowHandle() && window->windowHandle())
            box->windowHandle()->setTransientParent(window->windowHandle());
        box->raise();
        box->activateWindow();
    }
}

void runHandler(const std::function<void()> &handler) {
    try {
        handler();
    } catch (const ZilError &error) {
        showErrorBox(error.message());
    } catch (const std::exception &error) {
        showErrorBox(QString::fromLocal8Bit(error.what()));
    }
}
