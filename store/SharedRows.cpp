#include "SharedRows.h"

#include "SharedSchedule.h"

#include <QDate>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace {

bool byFirstNumber(const QVariantList &a, const QVariantList &b) {
    return a.value(0).toLongLong() < b.value(0).toLongLong();
}
bool byFirstText(const QVariantList &a, const QVariantList &b) {
    return a.value(0).toString() < b.value(0).toString();
}
} // namespace

namespace SharedRows {

QVariant canonical(const QVariant &value) {
    if (value.isNull() || !value.isValid())
        return {};
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(Qt::ISODate);
    return value.toString();
}

bool sharedKey(const QString &key) {
    static const QStringList whole = {QStringLiteral("OkulBaslangic"), QStringLiteral("OkulBitis"),
                                      QStringLiteral("OkulAdi")};
    static const QStringList prefixes = {QStringLiteral("Kapali:"), QStringLiteral("Bayram:"),
                                         QStringLiteral("Toren:")};
    if (whole.contains(key))
        return true;
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const QString &p) { return key.startsWith(p); });
}

QVariantList canonicalRow(const QSqlQuery &query, int columns) {
    QVariantList row;
    for (int i = 0; i < columns; ++i)
        row.append(canonical(query.value(i)));
    return row;
}

void sortContent(SharedContent &content) {
    std::sort(content.programmes.begin(), content.programmes.end(), byFirstNumber);
    std::sort(content.bells.begin(), content.bells.end(), byFirstNumber);
    std::sort(content.settings.begin(), content.settings.end(), byFirstText);
    std::sort(content.entries.begin(), content.entries.end(), byFirstNumber);
    std::sort(content.announcements.begin(), content.announcements.end(), byFirstNumber);
    std::sort(content.oneOffs.begin(), content.oneOffs.end(), byFirstNumber);
    std::sort(content.files.begin(), content.files.end(), byFirstText);
}

QString unreachable(const QString &host, const QString &why) {
    return QStringLiteral("Ortak programa ulaşılamıyor (%1): %2. Ziller bu bilgisayardaki son "
                          "kopyadan çalmaya devam ediyor.")
        .arg(host, why.trimmed());
}

} // namespace SharedRows
