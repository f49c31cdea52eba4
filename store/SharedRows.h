#pragma once

#include <QString>
#include <QVariantList>

class QSqlQuery;
struct SharedContent;

// What the copy and the server's side of a joined computer both read rows by.
namespace SharedRows {

// The calendar's settings that are the school's, not one computer's: "Bugün zil çalmasın", the
// sound levels and the first start stay with the computer.
bool sharedKey(const QString &key);
// One form for a value read from either database, as canonicalRow gives it.
QVariant canonical(const QVariant &value);
// One form for a row read from either database, so that the copy and the server's rows compare
// equal when they say the same: numbers, dates and texts as text, NULL as NULL.
QVariantList canonicalRow(const QSqlQuery &query, int columns);
// Every list of the content in one order, so that two contents compare by their rows.
void sortContent(SharedContent &content);
// The line for the user when the server cannot be reached.
QString unreachable(const QString &host, const QString &why);

} // namespace SharedRows
