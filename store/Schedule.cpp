#include "Schedule.h"

#include "Clock.h"
#include "ProgramValues.h"

#include <QLocale>

QStringList GunAdlari()
{
    return {QStringLiteral("Pazartesi"), QStringLiteral("Salı"),      QStringLiteral("Çarşamba"),
            QStringLiteral("Perşembe"),  QStringLiteral("Cuma"),      QStringLiteral("Cumartesi"),
            QStringLiteral("Pazar")};
}

int GunIDOf(const QDate &date)
{
    return date.dayOfWeek() - 1; // Qt counts Monday as 1
}

int BugunGunID()
{
    return GunIDOf(programClock().now().date());
}

namespace {
// The locale's long time format with its time-zone fields taken out; quoted text is kept.
QString longTimeFormatWithoutZone(const QLocale &locale)
{
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

QString TimeText(const QTime &time)
{
    // Every tick renders times; the format only changes with the locale.
    static CachedFormat cache;
    const QLocale locale;
    if (cache.localeName != locale.name() || cache.format.isEmpty())
        cache = {locale.name(), longTimeFormatWithoutZone(locale)};
    return locale.toString(time, cache.format);
}

QTime StoredStartTime(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::QTime)
        return stored.toTime();
    const QString text = stored.toString().trimmed();
    QTime time = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(text, Qt::ISODate);
    return time;
}

QString StartTimeText(const QVariant &stored)
{
    const QTime time = StoredStartTime(stored);
    return time.isValid() ? TimeText(time) : QString();
}

QString StoredTimeForm(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString DatabaseFile()
{
    return programFolder() + QStringLiteral("database.mdb");
}
