#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// A whole-number field with up and down arrows. It keeps whatever text the user types within the
// accepted characters; the number is read from the text only when someone asks for it. There is
// no lower or upper bound.
class WholeNumberEdit : public QWidget {
    Q_OBJECT
public:
    explicit WholeNumberEdit(QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);

    // The text as a whole number; a text that is not one counts as 0.
    int value() const;
    void setValue(int value);
    // Adds steps to value(), stopping at the ends of int instead of wrapping.
    void stepBy(int steps);

    // Whether a typed character may go into the field: digits, "+", "-", the locale's decimal
    // separator, and control characters other than Enter.
    static bool acceptsCharacter(QChar c);

    QLineEdit *lineEdit() const { return m_edit; }
    QToolButton *upButton() const { return m_up; }
    QToolButton *downButton() const { return m_down; }

signals:
    // A key was refused, with a beep.
    void keyRefused();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void arrowPressed(int steps);
    void refuseKey();

    QLineEdit *m_edit;
    QToolButton *m_up;
    QToolButton *m_down;
};
