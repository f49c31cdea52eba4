#include "Calendar.h"

#include "Clock.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "TurkishText.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <memory>

namespace {
// The calendar's tables, added beside Dersler; every value is bound.
const QString ayarTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS TakvimAyar (Anahtar TEXT PRIMARY KEY, Deger TEXT NOT NULL)");
const QString kayitTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS TakvimKayitlari (KayitNo INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Tur TEXT NOT NULL, Ad TEXT NOT NULL, Baslangic TEXT NOT NULL, Bitis TEXT NOT NULL, "
    "Saat TEXT, GunID INTEGER)");
// The calendar's own count of changes, moved by the file itself on every write to its tables,
// whoever writes them: the record's lines change the file every bell, and the calendar is read
// again only when it has changed (or the file's tables were made anew).
const QString surumTablosu =
    QStringLiteral("CREATE TABLE IF NOT EXISTS TakvimSurum (Surum INTEGER NOT NULL)");
const QString surumIlk = QStringLiteral(
    "INSERT INTO TakvimSurum (Surum) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM TakvimSurum)");
const QString surumTetik = QStringLiteral(
    "CREATE TRIGGER IF NOT EXISTS %1%2 AFTER %3 ON %1 BEGIN UPDATE TakvimSurum SET Surum=Surum+1; "
    "END");
const QString surumVarMi = QStringLiteral(
    "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='TakvimSurum'");
const QString surum = QStringLiteral(
    "SELECT Surum, (SELECT schema_version FROM pragma_schema_version) FROM TakvimSurum");
const QString tablolarVarMi =
    QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND "
                   "name IN ('TakvimAyar','TakvimKayitlari')");
const QString ayarlar = QStringLiteral("SELECT Anahtar,Deger FROM TakvimAyar");
const QString ayarYaz =
    QStringLiteral("INSERT OR REPLACE INTO TakvimAyar (Anahtar,Deger) VALUES(?,?)");
const QString ayarSil = QStringLiteral("DELETE FROM TakvimAyar WHERE Anahtar=?");
const QString kayitlar = QStringLiteral(
    "SELECT KayitNo,Tur,Ad,Baslangic,Bitis,Saat,GunID FROM TakvimKayitlari ORDER BY Baslangic");
const QString kayitEkle = QStringLiteral(
    "INSERT INTO TakvimKayitlari (Tur,Ad,Baslangic,Bitis,Saat,GunID) VALUES(?,?,?,?,?,?)");
const QString kayitGuncelle = QStringLiteral("UPDATE TakvimKayitlari SET Tur=?,Ad=?,Baslangic=?,"
                                             "Bitis=?,Saat=?,GunID=? WHERE KayitNo=?");
const QString kayitSil = QStringLiteral("DELETE FROM TakvimKayitlari WHERE KayitNo=?");

// Written in this form, read back as ISO 8601 (the same, and much quicker to parse).
const QString dateForm = QStringLiteral("yyyy-MM-dd");
const QString okulBaslangic = QStringLiteral("OkulBaslangic");
const QString okulBitis = QStringLiteral("OkulBitis");
const QString sessizGun = QStringLiteral("SessizGun");
QString offKey(const QString &key) {
    return QStringLiteral("Kapali:") + key;
}
QString confirmedKey(const QString &key, int hijriYear) {
    return QStringLiteral("Bayram:%1:%2").arg(key).arg(hijriYear);
}

const char *typeCode(CalendarEntry::Type type) {
    switch (type) {
    case CalendarEntry::Type::HalfDay:
        return "yarim";
    case CalendarEntry::Type::MakeUp:
        return "telafi";
    case CalendarEntry::Type::Programme:
        return "program";
    case CalendarEntry::Type::Holiday:
        break;
    }
    return "tatil";
}

// Bayram eves are half days from this time on.
const QTime eveTime(13, 0);

struct Fixed {
    const char *key;
    const char *name;
    int month;
    int day;
    bool eve;
};
constexpr Fixed fixedHolidays[] = {
    {"yilbasi", "Yılbaşı", 1, 1, false},
    {"23nisan", "Ulusal Egemenlik ve Çocuk Bayramı", 4, 23, false},
    {"1mayis", "Emek ve Dayanışma Günü", 5, 1, false},
    {"19mayis", "Atatürk'ü Anma, Gençlik ve Spor Bayramı", 5, 19, false},
    {"15temmuz", "Demokrasi ve Millî Birlik Günü", 7, 15, false},
    {"30agustos", "Zafer Bayramı", 8, 30, false},
    {"29ekim", "Cumhuriyet Bayramı", 10, 29, true},
};

QString religiousName(const QString &key) {
    return key == QLatin1String("ramazan") ? QStringLiteral("Ramazan Bayramı")
                                           : QStringLiteral("Kurban Bayramı");
}
int religiousDays(const QString &key) {
    return key == QLatin1String("ramazan") ? 3 : 4;
}

} // namespace

QString timeFromText(const QTime &time) {
    return withTurkishSuffix(time.toString(QStringLiteral("HH:mm")), TurkishCase::Ablative);
}

QString CalendarDay::line() const {
    QStringList parts;
    switch (kind) {
    case Kind::OutsideYear:
        return QStringLiteral("Okul yılı dışında — ziller çalmayacak");
    case Kind::Holiday:
        return QStringLiteral("Bugün tatil: %1 — ziller çalmayacak").arg(name);
    case Kind::Silenced:
        parts.append(QStringLiteral("Bugün zil çalmasın — ziller çalmayacak"));
        break;
    case Kind::HalfDay:
        // With the day's name, so the silence is not taken for a fault.
        parts.append(name.isEmpty()
                         ? QStringLiteral("%1 sonra zil çalmayacak").arg(timeFromText(silentFrom))
                         : QStringLiteral("%1: %2 sonra zil çalmayacak")
                               .arg(name, timeFromText(silentFrom)));
        break;
    case Kind::MakeUp:
    case Kind::Ordinary:
        break;
    }
    if (makeUp)
        parts.prepend(
            QStringLiteral("Bugün telafi günü: %1 programı").arg(GunAdlari().value(gunId)));
    if (programme != 0)
        parts.prepend(QStringLiteral("Bugün %1 programı çalıyor").arg(programmeName));
    return parts.join(QStringLiteral("; "));
}

Calendar::Calendar(BellStore &store)
    : m_store(store) {}

ScheduleQuery &Calendar::query() {
    // The store's file is given at start-up, after the calendar is made, and may change.
    if (m_query.Connection() != m_store.file())
        m_query.SetConnection(m_store.file());
    return m_query;
}

void Calendar::createTables() {
    ScheduleQuery::Transaction transaction(m_query);
    m_query.ExecuteStatement(ayarTablosu);
    m_query.ExecuteStatement(kayitTablosu);
    m_query.ExecuteStatement(surumTablosu);
    m_query.ExecuteStatement(surumIlk);
    for (const char *table : {"TakvimAyar", "TakvimKayitlari"})
        for (const char *change : {"INSERT", "UPDATE", "DELETE"})
            m_query.ExecuteStatement(surumTetik.arg(QLatin1String(table),
                                                    QString::fromLatin1(change).toLower(),
                                                    QLatin1String(change)));
    transaction.Commit();
}

void Calendar::load() {
    ScheduleQuery &q = query();
    const ScheduleQuery::ChangeStamp stamp = q.Changes();
    if (m_loaded && stamp == m_loadedStamp)
        return;
    if (m_loaded && m_version && stamp.opened == m_loadedStamp.opened) {
        if (readVersion() == m_version) {
            m_loadedStamp = stamp;
            return;
        }
    }
    m_settings.clear();
    m_entries.clear();
    m_holidays.clear();
    q.OpenStatement(tablolarVarMi);
    m_tablesPresent = q.FieldAsInteger(0) == 2;
    q.Close();
    m_loaded = true;
    m_loadedStamp = stamp;
    m_version.reset();
    // Taken before the tables are read: a write in between makes the next look read them again.
    if (m_tablesPresent) {
        q.OpenStatement(surumVarMi);
        const bool versioned = q.FieldAsInteger(0) == 1;
        q.Close();
        if (versioned)
            m_version = readVersion();
    }
    // Reading never writes: a schedule without a calendar (or one that is damaged or cannot be
    // written) is a calendar without entries until the user saves one.
    if (!m_tablesPresent)
        return;
    q.OpenStatement(ayarlar);
    for (; !q.Eof(); q.Next())
        m_settings.insert(q.FieldAsText(0), q.FieldAsText(1));
    q.OpenStatement(kayitlar);
    for (; !q.Eof(); q.Next()) {
        CalendarEntry e;
        e.id = q.Field(0).toInt();
        const QString type = q.FieldAsText(1);
        e.type = type == QLatin1String("yarim")    ? CalendarEntry::Type::HalfDay
                 : type == QLatin1String("telafi")  ? CalendarEntry::Type::MakeUp
                 : type == QLatin1String("program") ? CalendarEntry::Type::Programme
                                                    : CalendarEntry::Type::Holiday;
        e.name = q.FieldAsText(2);
        e.from = QDate::fromString(q.FieldAsText(3), Qt::ISODate);
        e.to = QDate::fromString(q.FieldAsText(4), Qt::ISODate);
        e.time = QTime::fromString(q.FieldAsText(5), Qt::ISODate);
        e.gunId = q.Field(6).toInt();
        // A row another program wrote without a readable date, time or weekday cannot say what
        // it means.
        const bool readable =
            e.from.isValid() && e.to.isValid() &&
            (e.type != CalendarEntry::Type::HalfDay || e.time.isValid()) &&
            (e.type != CalendarEntry::Type::MakeUp || (e.gunId >= 0 && e.gunId <= 6)) &&
            (e.type != CalendarEntry::Type::Programme || e.gunId > 0);
        if (readable)
            m_entries.append(e);
    }
    q.Close();
}

void Calendar::prepareWrite() {
    load();
    // Tables an earlier version made get their count of changes with the first write.
    if (!m_tablesPresent || !m_version) {
        createTables();
        m_tablesPresent = true;
    }
}

std::optional<std::pair<qint64, qint64>> Calendar::readVersion() {
    ScheduleQuery &q = query();
    q.OpenStatement(surum);
    std::optional<std::pair<qint64, qint64>> version;
    if (!q.Eof())
        version = std::pair{q.Field(0).toLongLong(), q.Field(1).toLongLong()};
    q.Close();
    return version;
}

void Calendar::writeSetting(const QString &key, const QString &value) {
    prepareWrite();
    if (value.isEmpty())
        query().ExecuteStatement(ayarSil, {key});
    else
        query().ExecuteStatement(ayarYaz, {key, value});
}

QList<Calendar::Proposal> Calendar::proposedReligious(int year) {
    QList<Proposal> found;
    UErrorCode status = U_ZERO_ERROR;
    // Noon in UTC: no time zone or summer time moves a date across midnight.
    const std::unique_ptr<icu::TimeZone> utc(icu::TimeZone::createTimeZone("UTC"));
    const std::unique_ptr<icu::Calendar> gregorian(
        icu::Calendar::createInstance(*utc, icu::Locale("tr_TR@calendar=gregorian"), status));
    const std::unique_ptr<icu::Calendar> hijri(icu::Calendar::createInstance(
        *utc, icu::Locale("tr_TR@calendar=islamic-umalqura"), status));
    if (U_FAILURE(status))
        throw EStoreError(QStringLiteral("İslami takvim hesaplanamadı (ICU: %1)")
                              .arg(QString::fromLatin1(u_errorName(status))));
    gregorian->clear();
    gregorian->set(year, UCAL_JANUARY, 1, 12, 0, 0);
    hijri->setTime(gregorian->getTime(status), status);
    const int firstHijriYear = hijri->get(UCAL_YEAR, status);
    // A Gregorian year holds parts of two hijri years, and now and then two of the same feast.
    for (int hijriYear = firstHijriYear; hijriYear <= firstHijriYear + 1; ++hijriYear) {
        struct Feast {
            const char *key;
            int month; // 0-based: 9 = Şevval, 11 = Zilhicce
            int day;
        };
        for (const Feast feast : {Feast{"ramazan", 9, 1}, Feast{"kurban", 11, 10}}) {
            hijri->clear();
            hijri->set(hijriYear, feast.month, feast.day, 12, 0, 0);
            gregorian->setTime(hijri->getTime(status), status);
            const QDate date(gregorian->get(UCAL_YEAR, status),
                             gregorian->get(UCAL_MONTH, status) + 1,
                             gregorian->get(UCAL_DATE, status));
            if (U_FAILURE(status))
                throw EStoreError(QStringLiteral("İslami takvim hesaplanamadı (ICU: %1)")
                                      .arg(QString::fromLatin1(u_errorName(status))));
            if (date.year() == year)
                found.append({QString::fromLatin1(feast.key), hijriYear, date});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Proposal &a, const Proposal &b) { return a.firstDay < b.firstDay; });
    return found;
}

QList<KnownHoliday> Calendar::holidaysOf(int year) {
    const auto cached = m_holidays.constFind(year);
    if (cached != m_holidays.constEnd())
        return *cached;
    QList<KnownHoliday> list;
    for (const Fixed &f : fixedHolidays) {
        KnownHoliday h;
        h.key = QString::fromLatin1(f.key);
        h.name = QString::fromUtf8(f.name);
        h.from = h.to = QDate(year, f.month, f.day);
        if (f.eve)
            h.eve = h.from.addDays(-1);
        list.append(h);
    }
    auto proposals = m_proposals.constFind(year);
    if (proposals == m_proposals.constEnd())
        proposals = m_proposals.insert(year, proposedReligious(year));
    for (const Proposal &p : *proposals) {
        KnownHoliday h;
        h.key = p.key;
        h.name = religiousName(p.key);
        h.religious = true;
        h.hijriYear = p.hijriYear;
        h.from = p.firstDay;
        const QDate confirmed =
            QDate::fromString(setting(confirmedKey(p.key, p.hijriYear)), Qt::ISODate);
        if (confirmed.isValid()) {
            h.from = confirmed;
            h.confirmed = true;
        }
        h.to = h.from.addDays(religiousDays(p.key) - 1);
        h.eve = h.from.addDays(-1);
        list.append(h);
    }
    for (KnownHoliday &h : list)
        h.enabled = setting(offKey(h.key)).isEmpty();
    m_holidays.insert(year, list);
    return list;
}

QList<KnownHoliday> Calendar::knownHolidays(int year) {
    load();
    return holidaysOf(year);
}

CalendarDay Calendar::day(const QDate &date) {
    load();
    return describe(date);
}

QList<CalendarDay> Calendar::daysOf(int year) {
    load();
    QList<CalendarDay> days;
    for (QDate date(year, 1, 1); date.year() == year; date = date.addDays(1))
        days.append(describe(date));
    return days;
}

CalendarDay Calendar::describe(const QDate &date) {
    CalendarDay d;
    d.gunId = GunIDOf(date);
    if (const auto year = loadedSchoolYear(); year && (date < year->first || date > year->last)) {
        d.kind = CalendarDay::Kind::OutsideYear;
        d.silentFrom = QTime(0, 0);
        d.reason = QStringLiteral("okul yılı dışında");
        return d;
    }
    QString wholeDay;
    QTime halfFrom;
    QString halfName;
    const auto half = [&](const QTime &from, const QString &name) {
        if (!halfFrom.isValid() || from < halfFrom) {
            halfFrom = from;
            halfName = name;
        }
    };
    for (const CalendarEntry &e : std::as_const(m_entries)) {
        if (date < e.from || date > e.to)
            continue;
        if (e.type == CalendarEntry::Type::MakeUp) {
            d.makeUp = true;
            d.gunId = e.gunId;
        } else if (e.type == CalendarEntry::Type::Programme) {
            d.programme = e.gunId;
            d.programmeName = e.name;
        } else if (e.type == CalendarEntry::Type::HalfDay) {
            half(e.time, e.name);
        } else if (wholeDay.isEmpty()) {
            wholeDay = e.name;
        }
    }
    // A feast of late December can reach into January, and its eve back into December.
    for (int year = date.year() - 1; year <= date.year() + 1; ++year)
        for (const KnownHoliday &h : holidaysOf(year)) {
            if (!h.enabled)
                continue;
            if (date >= h.from && date <= h.to && wholeDay.isEmpty())
                wholeDay = h.name;
            else if (date == h.eve)
                half(eveTime, h.name + QStringLiteral(" arifesi"));
        }
    bool silenced = false;
    const QDateTime silencedAt = QDateTime::fromString(setting(sessizGun), Qt::ISODate);
    if (silencedAt.date() == date && (!halfFrom.isValid() || silencedAt.time() < halfFrom)) {
        halfFrom = silencedAt.time();
        silenced = true;
    }
    if (!wholeDay.isEmpty()) {
        d.kind = CalendarDay::Kind::Holiday;
        d.name = wholeDay;
        d.silentFrom = QTime(0, 0);
        d.reason = QStringLiteral("tatil: ") + wholeDay;
    } else if (silenced) {
        d.kind = CalendarDay::Kind::Silenced;
        d.silentFrom = halfFrom;
        d.reason = QStringLiteral("Bugün zil çalmasın");
    } else if (halfFrom.isValid()) {
        d.kind = CalendarDay::Kind::HalfDay;
        d.name = halfName;
        d.silentFrom = halfFrom;
        d.reason = QStringLiteral("tatil: %1 (%2 sonra)").arg(halfName, timeFromText(halfFrom));
    } else if (d.makeUp) {
        d.kind = CalendarDay::Kind::MakeUp;
    }
    return d;
}

std::optional<Calendar::SchoolYear> Calendar::schoolYear() {
    load();
    return loadedSchoolYear();
}

std::optional<Calendar::SchoolYear> Calendar::loadedSchoolYear() const {
    const QDate first = QDate::fromString(setting(okulBaslangic), Qt::ISODate);
    const QDate last = QDate::fromString(setting(okulBitis), Qt::ISODate);
    if (!first.isValid() || !last.isValid())
        return std::nullopt;
    return SchoolYear{first, last};
}

void Calendar::setSchoolYear(const std::optional<SchoolYear> &year) {
    if (year) {
        if (!year->first.isValid() || !year->last.isValid())
            throw ERefused(QStringLiteral("Okul yılı için geçerli iki tarih girin."));
        if (year->last < year->first)
            throw ERefused(QStringLiteral("Okul yılının son günü ilk gününden önce olamaz."));
        if (year->first.daysTo(year->last) > 366)
            throw ERefused(QStringLiteral("Okul yılı bir yıldan uzun olamaz."));
    }
    prepareWrite();
    ScheduleQuery::Transaction transaction(query());
    writeSetting(okulBaslangic, year ? year->first.toString(dateForm) : QString());
    writeSetting(okulBitis, year ? year->last.toString(dateForm) : QString());
    transaction.Commit();
}

QList<CalendarEntry> Calendar::entries(int year) {
    load();
    QList<CalendarEntry> list;
    for (const CalendarEntry &e : std::as_const(m_entries))
        if (e.from.year() <= year && e.to.year() >= year)
            list.append(e);
    return list;
}

std::optional<QString> Calendar::problemWith(const CalendarEntry &entry) {
    using Type = CalendarEntry::Type;
    if (entry.type == Type::Programme && (entry.gunId <= 0 || entry.name.trimmed().isEmpty()))
        return QStringLiteral("Lütfen bu tarihlerde çalacak özel programı seçin.");
    if (entry.type != Type::MakeUp && entry.name.trimmed().isEmpty())
        return QStringLiteral("Lütfen tatilin adını yazın.");
    if (!entry.from.isValid() || !entry.to.isValid())
        return QStringLiteral("Lütfen geçerli bir tarih girin.");
    if (entry.to < entry.from)
        return QStringLiteral("Bitiş tarihi başlangıç tarihinden önce olamaz.");
    if ((entry.type == Type::HalfDay || entry.type == Type::MakeUp) && entry.to != entry.from)
        return QStringLiteral("Yarım gün ve telafi günü tek bir gündür.");
    if (entry.from.daysTo(entry.to) > 366)
        return QStringLiteral("Bir tatil bir yıldan uzun olamaz.");
    if (entry.type == Type::HalfDay && (!entry.time.isValid() || entry.time == QTime(0, 0)))
        return QStringLiteral("Yarım gün için zillerin susacağı saati girin.");
    if (entry.type == Type::MakeUp && (entry.gunId < 0 || entry.gunId > 6))
        return QStringLiteral("Telafi günü için hangi günün programının çalacağını seçin.");
    if (const auto year = schoolYear(); year && (entry.from < year->first || entry.to > year->last))
        return QStringLiteral("Tarih okul yılının dışında (%1 – %2).")
            .arg(year->first.toString(QStringLiteral("dd.MM.yyyy")),
                 year->last.toString(QStringLiteral("dd.MM.yyyy")));
    // A make-up day on an official holiday would never ring.
    if (entry.type == Type::MakeUp)
        for (int year = entry.from.year() - 1; year <= entry.from.year(); ++year)
            for (const KnownHoliday &h : holidaysOf(year))
                if (h.enabled && entry.from >= h.from && entry.from <= h.to)
                    return QStringLiteral("Bu tarih resmi tatil (%1); telafi günü olamaz.")
                        .arg(h.name);
    for (const CalendarEntry &other : std::as_const(m_entries)) {
        if (other.id == entry.id || other.to < entry.from || other.from > entry.to)
            continue;
        // Holidays may overlap (a snow day within a break); anything else on the same day
        // would say two things about it.
        if (entry.type == Type::Holiday && other.type == Type::Holiday)
            continue;
        // A programme says which bells ring, the others whether and when: they go together.
        if ((entry.type == Type::Programme) != (other.type == Type::Programme))
            continue;
        const QString name =
            other.type == Type::MakeUp ? QStringLiteral("Telafi günü") : other.name;
        // Told by the date the user chose, the one to change.
        const QString format = QStringLiteral("dd.MM.yyyy");
        const QString dates =
            entry.from == entry.to
                ? QStringLiteral("Bu tarih (%1)").arg(entry.from.toString(format))
                : QStringLiteral("Bu tarihler (%1 – %2)")
                      .arg(entry.from.toString(format), entry.to.toString(format));
        return QStringLiteral("%1 \"%2\" kaydıyla çelişiyor.").arg(dates, name);
    }
    return std::nullopt;
}

void Calendar::save(const CalendarEntry &entry) {
    load();
    if (const auto problem = problemWith(entry))
        throw ERefused(*problem);
    prepareWrite();
    const QVariantList values = {
        QString::fromLatin1(typeCode(entry.type)),
        entry.type == CalendarEntry::Type::MakeUp && entry.name.trimmed().isEmpty()
            ? QStringLiteral("Telafi günü")
            : entry.name.trimmed(),
        entry.from.toString(dateForm),
        entry.to.toString(dateForm),
        entry.type == CalendarEntry::Type::HalfDay ? QVariant(entry.time.toString(u"HH:mm:ss"))
                                                   : QVariant(),
        entry.type == CalendarEntry::Type::MakeUp || entry.type == CalendarEntry::Type::Programme
            ? QVariant(entry.gunId)
            : QVariant()};
    if (entry.id > 0) {
        if (query().ExecuteStatement(kayitGuncelle, values + QVariantList{entry.id}) == 0)
            throw ERefused(QStringLiteral("Bu kayıt bu arada silinmiş."));
    } else {
        query().ExecuteStatement(kayitEkle, values);
    }
}

void Calendar::remove(int id) {
    prepareWrite();
    query().ExecuteStatement(kayitSil, {id});
}

bool Calendar::isEnabled(const QString &key) {
    load();
    return setting(offKey(key)).isEmpty();
}

QString Calendar::istiklalMarsi() {
    load();
    return setting(QStringLiteral("IstiklalMarsi"));
}

void Calendar::setIstiklalMarsi(const QString &music) {
    writeSetting(QStringLiteral("IstiklalMarsi"), music.trimmed());
}

Calendar::CeremonyRule Calendar::ceremony(int programme) {
    load();
    CeremonyRule rule;
    const QString kept = setting(QStringLiteral("Toren:%1").arg(programme));
    // A programme the school never set a rule for keeps Normal's: an exam week has its flag
    // ceremonies as any other week does.
    if (kept.isEmpty() && programme != Programme::Normal)
        return ceremony(Programme::Normal);
    const QStringList minutes = kept.split(QLatin1Char(','));
    bool before = false;
    bool after = false;
    if (minutes.size() == 2) {
        rule.beforeMinutes = minutes[0].toInt(&before);
        rule.afterMinutes = minutes[1].toInt(&after);
    }
    rule.on = before && after && rule.beforeMinutes >= 0 && rule.afterMinutes >= 0;
    return rule;
}

void Calendar::setCeremony(int programme, const CeremonyRule &rule) {
    writeSetting(QStringLiteral("Toren:%1").arg(programme),
                 rule.on ? QStringLiteral("%1,%2").arg(rule.beforeMinutes).arg(rule.afterMinutes)
                         : QStringLiteral("-"));
}

void Calendar::setEnabled(const QString &key, bool enabled) {
    writeSetting(offKey(key), enabled ? QString() : QStringLiteral("1"));
}

void Calendar::confirmReligious(const QString &key, int hijriYear, const QDate &firstDay) {
    writeSetting(confirmedKey(key, hijriYear), firstDay.toString(dateForm));
}

QString Calendar::value(const QString &key) {
    load();
    return setting(key);
}

void Calendar::setValue(const QString &key, const QString &text) {
    writeSetting(key, text);
}

QString Calendar::schoolName() {
    load();
    return setting(QStringLiteral("OkulAdi"));
}

void Calendar::setSchoolName(const QString &name) {
    const QString kept = name.trimmed();
    if (kept.size() > SchoolNameLength)
        throw ERefused(
            QStringLiteral("Okulun adı en çok %1 karakter olabilir.").arg(SchoolNameLength));
    // One line: it heads a window and a printed page.
    if (std::any_of(kept.cbegin(), kept.cend(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        throw ERefused(QStringLiteral("Okulun adı tek satır olmalı."));
    writeSetting(QStringLiteral("OkulAdi"), kept);
}

bool Calendar::firstStartDone() {
    load();
    return !setting(QStringLiteral("IlkAcilis")).isEmpty();
}

void Calendar::setFirstStartDone() {
    writeSetting(QStringLiteral("IlkAcilis"), QStringLiteral("1"));
}

void Calendar::silenceToday(bool on) {
    writeSetting(sessizGun, on ? programClock().now().toString(Qt::ISODate) : QString());
}

bool Calendar::silencedToday() {
    load();
    return QDateTime::fromString(setting(sessizGun), Qt::ISODate).date() ==
           programClock().now().date();
}
