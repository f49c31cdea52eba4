#pragma once

#include "PinDialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

// Types PINs into every PIN dialog that opens while it lives, one per try, as a person would,
// and presses "Vazgeç" when it has none left. Keeps what the dialog said after each try.
class PinTyper : public QObject {
public:
    explicit PinTyper(QStringList pins)
        : m_pins(std::move(pins)) {
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start(10);
    }
    QStringList said;
    int dialogs = 0;

private:
    void look() {
        auto *dialog = qobject_cast<PinDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || !dialog->pinField().isEnabled() ||
            !dialog->pinField().text().isEmpty())
            return;
        if (dialog != m_last) {
            m_last = dialog;
            ++dialogs;
        } else if (!dialog->stateLine().text().isEmpty()) {
            said.append(dialog->stateLine().text());
        }
        if (m_pins.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->pinField().setText(m_pins.takeFirst());
        dialog->stateLine().clear();
        QTest::mouseClick(&dialog->okButton(), Qt::LeftButton);
    }
    QStringList m_pins;
    QPointer<PinDialog> m_last;
    QTimer m_timer;
};
