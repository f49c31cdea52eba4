#include "Schedule.h"

#include "Clock.h"
#include "ProgramValues.h"

#include <QDir>
#include <QHash>
#include <QLocale>

QStringList GunAdlari() {
    return {QStringLiteral("Pazartesi"), QStringLiteral("Salı"), QStringLiteral("Çarşamba"),
            QStringLiteral("Perşembe"),  QStringLiteral("Cuma"), QStringLiteral("Cumartesi"),
            QStringLiteral("Pazar")};
}

int GunIDOf(const QDate &date) {
    return date.dayOfWeek() - 1; // Qt counts Monday as 1
}

int BugunGunID() {
    return GunIDOf(programClock().now().date());
}

namespace {
// The locale's long time format with its time-zone fields taken out; quoted text is kept.
QString longTimeFormatWithoutZone(const QLocale &locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.simplified();
}

struct CachedFormat {
    QString localeName;
    QString format;
};
} // namespace

QString TimeText(const QTime &time) {
    // Every tick renders the start times of the day's bells, so each second's text is kept until
    // the locale changes.
    static CachedFormat cache;
    static QHash<int, QString> texts;
    const QLocale locale;
    if (cache.localeName != locale.name() || cache.format.isEmpty()) {
        cache = {locale.name(), longTimeFormatWithoutZone(locale)};
        texts.clear();
    }
    if (!time.isValid())
        return {};
    const int second = time.msecsSinceStartOfDay() / 1000;
    auto it = texts.constFind(second);
    if (it == texts.constEnd())
        it = texts.insert(second, locale.toString(QTime(0, 0).addSecs(second), cache.format));
    return *it;
}

QTime StoredStartTime(const QVariant &stored) {
    if (stored.typeId() == QMetaType::QTime)
        return stored.toTime();
    // One form only, the one the program writes: HH:MM:SS on a 24-hour clock. "08:30",
    // "08:30:00.5" and "24:00:00" are not read some other way; their rows are told as unreadable.
    const QString text = stored.toString();
    if (text.size() != 8 || text[2] != QLatin1Char(':') || text[5] != QLatin1Char(':'))
        return {};
    for (int i : {0, 1, 3, 4, 6, 7})
        if (!text[i].isDigit() || text[i].unicode() > '9')
            return {};
    const int h = QStringView(text).mid(0, 2).toInt();
    const int m = QStringView(text).mid(3, 2).toInt();
    const int s = QStringView(text).mid(6, 2).toInt();
    return QTime::isValid(h, m, s) ? QTime(h, m, s) : QTime();
}

QString StartTimeText(const QVariant &stored) {
    const QTime time = StoredStartTime(stored);
    return time.isValid() ? TimeText(time) : QString();
}

QString StoredTimeForm(const QTime &time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString DatabaseFile() {
    return DatabaseFileIn(dataFolder());
}

QString DatabaseFileIn(const QString &folder) {
    return QDir(folder).filePath(QStringLiteral("database.mdb"));
}

QString GunAdlariOf(const QList<int> &gunIds) {
    QStringList names;
    for (int gunId : gunIds)
        names << GunAdlari().value(gunId);
    return names.join(QStringLiteral(", "));
}
