#include "ErrorBox.h"

#include "ZilError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

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

void showMessage(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void showErrorBox(const QString &message) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), errorBoxText(message),
                    QMessageBox::Ok);
    box.exec();
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
