#include "DateTimeTyping.h"

#include <QDate>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QMouseEvent>

namespace {
// A click into the field leaves only a cursor, and a date or time field takes digits only into a
// selected part: the part clicked is selected, so typing replaces the value from there on.
class SelectClickedPart : public QObject {
public:
    SelectClickedPart(QDateTimeEdit *field, QLineEdit *text)
        : QObject(field)
        , m_field(field)
        , m_text(text) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == m_text && event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
            !m_text->hasSelectedText()) {
            // The parts are separated by one character each, as in "HH:mm:ss" or "dd.MM.yyyy".
            const QString shown = m_text->text();
            const int cursor = m_text->cursorPosition();
            int part = 0;
            for (int i = 0; i < cursor && i < shown.size(); ++i)
                if (!shown.at(i).isDigit())
                    ++part;
            part = qBound(0, part, m_field->sectionCount() - 1);
            m_field->setCurrentSectionIndex(part);
            m_field->setSelectedSection(m_field->sectionAt(part));
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QDateTimeEdit *m_field;
    QLineEdit *m_text;
};
} // namespace

void makeTypable(QDateTimeEdit *field) {
    if (auto *text = field->findChild<QLineEdit *>())
        text->installEventFilter(new SelectClickedPart(field, text));
    if (field->displayedSections() & QDateTimeEdit::YearSection)
        field->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
}
