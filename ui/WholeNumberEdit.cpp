#include "WholeNumberEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <limits>

namespace {
constexpr int arrowWidth = 15;
constexpr int repeatDelayMs = 400;
constexpr int repeatIntervalMs = 100;

qsizetype untypable(const QString &text) {
    return std::count_if(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f || !WholeNumberEdit::acceptsCharacter(c);
    });
}

// Pasted or dropped text bypasses the key filter; it is held to the same characters. A text
// loaded from a row written by other means may hold others, and can still be corrected.
class TypableText : public QValidator {
public:
    // The line edit's text is already changed when it asks, so the last text it took is kept.
    explicit TypableText(QLineEdit *edit)
        : QValidator(edit) {
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString &text) { m_taken = untypable(text); });
    }
    State validate(QString &input, int &) const override {
        return untypable(input) > m_taken ? Invalid : Acceptable;
    }

private:
    qsizetype m_taken = 0;
};

QToolButton *makeArrow(QWidget *parent, Qt::ArrowType arrow, const char *name) {
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(repeatDelayMs);
    button->setAutoRepeatInterval(repeatIntervalMs);
    return button;
}
} // namespace

WholeNumberEdit::WholeNumberEdit(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit(this))
    , m_up(makeArrow(this, Qt::UpArrow, "upButton"))
    , m_down(makeArrow(this, Qt::DownArrow, "downButton")) {
    m_edit->setObjectName(QStringLiteral("lineEdit"));
    setFocusProxy(m_edit);
    setFocusPolicy(Qt::StrongFocus);
    m_edit->installEventFilter(this);
    m_edit->setValidator(new TypableText(m_edit));
    connect(m_edit, &QLineEdit::inputRejected, this, &WholeNumberEdit::refuseKey);
    // "pressed" comes at the press and again at every repeat, so holding an arrow steps at
    // once, after the delay and then at each interval, and the release adds no further step.
    connect(m_up, &QToolButton::pressed, this, [this] { arrowPressed(1); });
    connect(m_down, &QToolButton::pressed, this, [this] { arrowPressed(-1); });
}

QString WholeNumberEdit::text() const {
    return m_edit->text();
}

void WholeNumberEdit::setText(const QString &text) {
    m_edit->setText(text);
}

int WholeNumberEdit::value() const {
    bool ok = false;
    const int number = m_edit->text().toInt(&ok);
    return ok ? number : 0;
}

void WholeNumberEdit::setValue(int value) {
    m_edit->setText(QString::number(value));
}

void WholeNumberEdit::stepBy(int steps) {
    const qint64 next = qint64(value()) + steps;
    const qint64 lowest = std::numeric_limits<int>::min();
    const qint64 highest = std::numeric_limits<int>::max();
    setValue(int(qBound(lowest, next, highest)));
}

bool WholeNumberEdit::acceptsCharacter(QChar c) {
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
        return false;
    if (c.unicode() < 0x20 || c.unicode() == 0x7f)
        return true;
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return true;
    if (c == QLatin1Char('+') || c == QLatin1Char('-'))
        return true;
    return QLocale().decimalPoint() == QString(c);
}

void WholeNumberEdit::arrowPressed(int steps) {
    stepBy(steps);
    if (window()->isActiveWindow())
        m_edit->setFocus(Qt::MouseFocusReason);
}

void WholeNumberEdit::refuseKey() {
    QApplication::beep();
    emit keyRefused();
}

bool WholeNumberEdit::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_edit || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);

    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Up:
        stepBy(1);
        return true;
    case Qt::Key_Down:
        stepBy(-1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Taken here, so Enter neither reaches the dialog nor presses one of its buttons.
        refuseKey();
        return true;
    default:
        break;
    }
    const QString typed = key->text();
    for (const QChar c : typed) {
        if (!acceptsCharacter(c)) {
            refuseKey();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void WholeNumberEdit::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int arrows = qMin(arrowWidth, w);
    m_edit->setGeometry(0, 0, w - arrows, h);
    const int upHeight = h / 2;
    m_up->setGeometry(w - arrows, 0, arrows, upHeight);
    m_down->setGeometry(w - arrows, upHeight, arrows, h - upHeight);
}
