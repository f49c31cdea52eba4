#include "BellStore.h"

#include "Schedule.h"
#include "Statements.h"

#include <QRegularExpression>

namespace {
// The columns of Dersler, as SELECT * gives them.
enum Column { KayitID, GunID, DersSaati, DersBaslama, Muzik, Sure };

struct OutcomeText {
    BellOutcome outcome;
    const char *code;
    const char *name;
};
constexpr OutcomeText outcomeTexts[] = {
    {BellOutcome::Rang, "caldi", "Çaldı"},
    {BellOutcome::RangLate, "gec", "Geç çaldı"},
    {BellOutcome::Failed, "basarisiz", "Çalınamadı"},
    {BellOutcome::Replaced, "yerine", "Yerine sonraki çaldı"},
    {BellOutcome::Skipped, "atlandi", "Atlandı"},
    {BellOutcome::Missed, "kacirildi", "Kaçırıldı"},
    {BellOutcome::Warning, "uyari", "Uyarı"},
    {BellOutcome::Silenced, "takvim", "Takvim gereği çalmadı"},
};

const QString dateForm = QStringLiteral("yyyy-MM-dd");
} // namespace

QString outcomeCode(BellOutcome outcome) {
    for (const OutcomeText &t : outcomeTexts)
        if (t.outcome == outcome)
            return QString::fromLatin1(t.code);
    return {};
}

std::optional<BellOutcome> outcomeFromCode(const QString &code) {
    for (const OutcomeText &t : outcomeTexts)
        if (code == QLatin1String(t.code))
            return t.outcome;
    return std::nullopt;
}

QString outcomeName(BellOutcome outcome) {
    for (const OutcomeText &t : outcomeTexts)
        if (t.outcome == outcome)
            return QString::fromUtf8(t.name);
    return {};
}

QTime Bell::startTime() const {
    return StoredStartTime(start);
}

namespace {
// A duration is digits only: no sign, no fraction, no unit.
bool isWholeNumber(const QString &text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(text).hasMatch();
}
} // namespace

std::optional<int> Bell::duration() const {
    const QString text = sure.toString().trimmed();
    bool ok = false;
    const qlonglong seconds = text.toLongLong(&ok);
    if (!isWholeNumber(text) || !ok || seconds > LongestSure)
        return std::nullopt;
    return int(seconds);
}

QString Bell::startProblem() const {
    if (startTime().isValid())
        return {};
    return QStringLiteral("başlama saati \"%1\" okunamıyor (24 saatlik saat:dakika:saniye "
                          "olmalı, 08:30:00 gibi)")
        .arg(start.toString().left(20));
}

QString Bell::durationProblem() const {
    if (duration())
        return {};
    const QString text = sure.toString().trimmed();
    // Only the start of a long text is shown: the reason goes into every line of the record.
    const QString shown = text.left(20);
    if (text.startsWith(QLatin1Char('-')) && isWholeNumber(text.mid(1)))
        return QStringLiteral("süre \"%1\" eksi olamaz").arg(shown);
    if (isWholeNumber(text))
        return QStringLiteral("süre \"%1\" çok uzun (en çok %2 saniye)")
            .arg(shown)
            .arg(LongestSure);
    return QStringLiteral("süre \"%1\" tam sayı değil (saniye olarak yazılmalı)").arg(shown);
}

void BellStore::open(const QString &databaseFile) {
    setFile(databaseFile);
    m_query.OpenStatement(Statements::Baslangic, {1});
}

Bell BellStore::currentRow() const {
    return {m_query.FieldAsInteger(KayitID), m_query.FieldAsInteger(GunID),
            m_query.FieldAsText(DersSaati),  m_query.Field(DersBaslama),
            m_query.FieldAsText(Muzik),      m_query.Field(Sure)};
}

QList<Bell> BellStore::dayBells(int gunId, int programme) {
    if (programme == Programme::Normal)
        m_query.OpenStatement(Statements::GunListesi, {gunId});
    else if (hasTable(QStringLiteral("ProgramDersleri")))
        m_query.OpenStatement(Statements::ProgramGunListesi, {programme, gunId});
    else
        return {};
    QList<Bell> bells;
    bells.reserve(m_query.RecordCount());
    for (; !m_query.Eof(); m_query.Next()) {
        Bell b = currentRow();
        if (programme != Programme::Normal) {
            b.id = Bell::programmeId(b.id);
            b.programme = programme;
        }
        bells.append(b);
    }
    m_query.Close();
    return bells;
}

namespace {
// Where a weekday's bell of this id keeps its building: its table and row.
QVariantList buildingKey(int id) {
    return id < 0 ? QVariantList{QStringLiteral("ProgramDersleri"), -id}
                  : QVariantList{QStringLiteral("Dersler"), id};
}
} // namespace

std::optional<Bell> BellStore::bell(int id) {
    if (id <= -Bell::OneOffIds) {
        if (!hasTable(QStringLiteral("TekSeferlik")))
            return std::nullopt;
        m_query.OpenStatement(Statements::TekSeferlikKayit, {-Bell::OneOffIds - id});
        if (m_query.Eof())
            return std::nullopt;
        const Bell found = oneOffRow();
        m_query.Close();
        return found;
    }
    if (id >= 0)
        m_query.OpenStatement(Statements::TekKayit, {id});
    else if (hasTable(QStringLiteral("ProgramDersleri")))
        m_query.OpenStatement(Statements::ProgramTekKayit, {-id});
    else
        return std::nullopt;
    if (m_query.Eof())
        return std::nullopt;
    Bell found = currentRow();
    if (id < 0) {
        found.id = id;
        found.programme = m_query.FieldAsInteger(6);
    }
    m_query.Close();
    if (hasTable(QStringLiteral("OrtakBina"))) {
        m_query.OpenStatement(Statements::OrtakBinaOku, buildingKey(id));
        if (!m_query.Eof())
            found.building = m_query.Field(0).toLongLong();
        m_query.Close();
    }
    return found;
}

void BellStore::setBuilding(int id, qint64 building) {
    if (building == 0 && !hasTable(QStringLiteral("OrtakBina")))
        return;
    m_query.ExecuteStatement(Statements::OrtakBinaTablosu);
    if (building == 0)
        m_query.ExecuteStatement(Statements::OrtakBinaSil, buildingKey(id));
    else
        m_query.ExecuteStatement(Statements::OrtakBinaYaz, buildingKey(id) << building);
}

void BellStore::insert(const Bell &b) {
    if (b.date.isValid()) {
        m_query.ExecuteStatement(Statements::TekSeferlikTablosu);
        m_query.ExecuteStatement(Statements::TekSeferlikEkle,
                                 {b.date.toString(dateForm), b.name, b.start, b.music, b.sure});
        return;
    }
    if (b.programme == Programme::Normal)
        m_query.ExecuteStatement(Statements::YeniZil, {b.gunId, b.name, b.start, b.music, b.sure});
    else
        m_query.ExecuteStatement(Statements::ProgramYeniZil,
                                 {b.gunId, b.name, b.start, b.music, b.sure, b.programme});
    if (b.building == 0)
        return;
    m_query.OpenStatement(QStringLiteral("SELECT last_insert_rowid()"));
    const int row = m_query.FieldAsInteger(0);
    m_query.Close();
    setBuilding(b.programme == Programme::Normal ? row : Bell::programmeId(row), b.building);
}

int BellStore::deleteDays(const QList<int> &days, int programme) {
    int removed = 0;
    // Deleted one by one, through the statements that delete a single bell, so that Normal's
    // and a programme's rows go the same way.
    for (int gunId : days)
        for (const Bell &b : dayBells(gunId, programme)) {
            remove(b.id);
            ++removed;
        }
    return removed;
}

void BellStore::add(const QList<Bell> &bells) {
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    for (const Bell &b : bells)
        insert(b);
    transaction.Commit();
}

bool BellStore::update(const Bell &b) {
    if (b.isOneOff())
        return m_query.ExecuteStatement(Statements::TekSeferlikGuncelle,
                                        {b.date.toString(dateForm), b.name, b.start, b.music,
                                         b.sure, -Bell::OneOffIds - b.id}) > 0;
    m_query.Close();
    // The bell and its building together: a copy read between the two would send the bell to
    // every building for a moment.
    ScheduleQuery::Transaction transaction(m_query);
    const bool found =
        b.id < 0 ? m_query.ExecuteStatement(Statements::ProgramZilGuncelle,
                                            {b.gunId, b.name, b.start, b.music, b.sure, -b.id}) > 0
                 : m_query.ExecuteStatement(Statements::ZilGuncelle,
                                            {b.gunId, b.name, b.start, b.music, b.sure, b.id}) > 0;
    if (!found)
        return false;
    setBuilding(b.id, b.building);
    transaction.Commit();
    return true;
}

void BellStore::remove(int id) {
    if (id <= -Bell::OneOffIds)
        m_query.ExecuteStatement(Statements::TekSeferlikSil, {-Bell::OneOffIds - id});
    else if (id < 0)
        m_query.ExecuteStatement(Statements::ProgramZilSil, {-id});
    else
        m_query.ExecuteStatement(Statements::ZilSil, {id});
    if (id > -Bell::OneOffIds && hasTable(QStringLiteral("OrtakBina")))
        m_query.ExecuteStatement(Statements::OrtakBinaSil, buildingKey(id));
}

void BellStore::replaceDays(const QList<int> &days, const QList<Bell> &bells, int programme) {
    if (m_beforeWholeDays)
        m_beforeWholeDays();
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    deleteDays(days, programme);
    for (Bell b : bells) {
        b.programme = programme;
        insert(b);
    }
    transaction.Commit();
}

void BellStore::shiftDays(const QList<int> &days, int seconds, int programme) {
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    // Every bell is checked before the first is moved: a refusal leaves the days untouched.
    QList<Bell> moved;
    for (int gunId : days) {
        for (Bell b : dayBells(gunId, programme)) {
            const QTime start = b.startTime();
            const QString where =
                QStringLiteral("\"%1\" (%2)").arg(b.name, GunAdlari().value(gunId));
            if (!start.isValid())
                throw ERefused(QStringLiteral("%1 zilinin başlama saati okunamıyor ('%2'); önce "
                                              "bu zili düzenleyin. Hiçbir zil kaydırılmadı.")
                                   .arg(where, b.start.toString()));
            const int at = start.msecsSinceStartOfDay() / 1000 + seconds;
            if (at < 0 || at >= 24 * 60 * 60)
                throw ERefused(QStringLiteral("%1 zili gece yarısını geçerdi (%2). Hiçbir zil "
                                              "kaydırılmadı.")
                                   .arg(where, TimeText(start)));
            b.start = StoredTimeForm(QTime(0, 0).addSecs(at));
            moved.append(b);
        }
    }
    for (const Bell &b : std::as_const(moved))
        update(b);
    transaction.Commit();
}

void BellStore::copyDay(int from, const QList<int> &to, bool replace, int programme,
                        int fromProgramme) {
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    const QList<Bell> bells = dayBells(from, fromProgramme);
    for (int gunId : to) {
        if (gunId == from && programme == fromProgramme)
            continue;
        if (replace)
            deleteDays({gunId}, programme);
        for (Bell b : bells) {
            b.gunId = gunId;
            b.programme = programme;
            insert(b);
        }
    }
    transaction.Commit();
}

int BellStore::removeDays(const QList<int> &days, int programme) {
    if (m_beforeWholeDays)
        m_beforeWholeDays();
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    const int removed = deleteDays(days, programme);
    transaction.Commit();
    return removed;
}

QList<Programme> BellStore::programmes() {
    QList<Programme> all{{Programme::Normal, QStringLiteral("Normal")}};
    if (!hasTable(QStringLiteral("ProgramDersleri")))
        return all;
    m_query.OpenStatement(Statements::Programlar);
    for (; !m_query.Eof(); m_query.Next())
        all.append({m_query.FieldAsInteger(0), m_query.FieldAsText(1)});
    m_query.Close();
    return all;
}

QString BellStore::programmeName(const QString &name, int id) {
    const QString trimmed = name.simplified();
    if (trimmed.isEmpty())
        throw ERefused(QStringLiteral("Programın adı boş olamaz."));
    for (const Programme &p : programmes())
        if (p.id != id && p.name.compare(trimmed, Qt::CaseInsensitive) == 0)
            throw ERefused(QStringLiteral("\"%1\" adında bir program zaten var.").arg(trimmed));
    return trimmed;
}

void BellStore::makeProgrammeTables() {
    m_query.ExecuteStatement(Statements::ProgramTablosu);
    m_query.ExecuteStatement(Statements::ProgramZilTablosu);
}

int BellStore::addProgramme(const QString &name) {
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    makeProgrammeTables();
    m_query.ExecuteStatement(Statements::YeniProgram, {programmeName(name, -1)});
    m_query.OpenStatement(Statements::SonEklenen);
    const int id = m_query.FieldAsInteger(0);
    m_query.Close();
    transaction.Commit();
    return id;
}

void BellStore::renameProgramme(int id, const QString &name) {
    if (id == Programme::Normal)
        throw ERefused(QStringLiteral("Normal programın adı değiştirilemez."));
    m_query.ExecuteStatement(Statements::ProgramAdi, {programmeName(name, id), id});
}

void BellStore::removeProgramme(int id) {
    if (id == Programme::Normal)
        throw ERefused(QStringLiteral("Normal program silinemez."));
    if (!hasTable(QStringLiteral("ProgramDersleri")))
        return;
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    m_query.ExecuteStatement(Statements::ProgramZilleriniSil, {id});
    m_query.ExecuteStatement(Statements::ProgramSil, {id});
    transaction.Commit();
}

Bell BellStore::oneOffRow() const {
    Bell b;
    b.id = Bell::oneOffId(m_query.FieldAsInteger(0));
    b.date = QDate::fromString(m_query.FieldAsText(1), Qt::ISODate);
    b.gunId = b.date.isValid() ? b.date.dayOfWeek() - 1 : 0;
    b.name = m_query.FieldAsText(2);
    b.start = m_query.Field(3);
    b.music = m_query.FieldAsText(4);
    b.sure = m_query.Field(5);
    return b;
}

QList<Bell> BellStore::oneOffBells(const QDate &from, const QDate &to) {
    if (!hasTable(QStringLiteral("TekSeferlik")))
        return {};
    m_query.OpenStatement(Statements::TekSeferlikAraligi,
                          {from.toString(dateForm), to.toString(dateForm)});
    QList<Bell> bells;
    for (; !m_query.Eof(); m_query.Next())
        bells.append(oneOffRow());
    m_query.Close();
    return bells;
}

bool BellStore::hasTable(const QString &name) {
    m_query.OpenStatement(Statements::TabloVarMi, {name});
    const bool found = !m_query.Eof();
    m_query.Close();
    return found;
}

void BellStore::record(const BellEvent &e) {
    m_query.ExecuteStatement(Statements::KayitTablosu);
    m_query.ExecuteStatement(Statements::KayitSirasi);
    const QDateTime at = e.recordedAt.isValid() ? e.recordedAt : QDateTime::currentDateTime();
    m_query.ExecuteStatement(
        Statements::KayitEkle,
        {e.date.toString(dateForm), e.bellId, e.name.left(BellEvent::NameLength), e.start.left(20),
         e.music.left(BellEvent::MusicLength), outcomeCode(e.outcome), e.delayMs, e.reason,
         e.fallbackTone ? 1 : 0, at.toString(Qt::ISODateWithMs)});
}

QList<BellEvent> BellStore::history(const QDate &from, const QDate &to) {
    QList<BellEvent> events;
    if (!hasTable(QStringLiteral("ZilGecmisi")))
        return events;
    m_query.OpenStatement(Statements::KayitAraligi,
                          {from.toString(dateForm), to.toString(dateForm)});
    for (; !m_query.Eof(); m_query.Next()) {
        BellEvent e;
        e.date = QDate::fromString(m_query.FieldAsText(0), dateForm);
        e.bellId = m_query.Field(1).toInt();
        e.name = m_query.FieldAsText(2);
        e.start = m_query.FieldAsText(3);
        e.music = m_query.FieldAsText(4);
        e.outcome = outcomeFromCode(m_query.FieldAsText(5)).value_or(BellOutcome::Warning);
        e.delayMs = m_query.Field(6).toInt();
        e.reason = m_query.FieldAsText(7);
        e.fallbackTone = m_query.Field(8).toInt() != 0;
        e.recordedAt = QDateTime::fromString(m_query.FieldAsText(9), Qt::ISODateWithMs);
        events.append(e);
    }
    m_query.Close();
    return events;
}

QHash<int, QList<BellOutcome>> BellStore::outcomesOn(const QDate &date) {
    QHash<int, QList<BellOutcome>> outcomes;
    if (!hasTable(QStringLiteral("ZilGecmisi")))
        return outcomes;
    m_query.OpenStatement(Statements::GununKayitlari, {date.toString(dateForm)});
    for (; !m_query.Eof(); m_query.Next())
        outcomes[m_query.Field(0).toInt()].append(
            outcomeFromCode(m_query.FieldAsText(1)).value_or(BellOutcome::Warning));
    m_query.Close();
    return outcomes;
}

QSet<int> BellStore::rungOn(const QDate &date) {
    QSet<int> rung;
    const auto outcomes = outcomesOn(date);
    for (auto it = outcomes.begin(); it != outcomes.end(); ++it)
        for (BellOutcome o : it.value())
            if (o == BellOutcome::Rang || o == BellOutcome::RangLate || o == BellOutcome::Failed ||
                o == BellOutcome::Replaced || o == BellOutcome::Silenced)
                rung.insert(it.key());
    return rung;
}

bool BellStore::troubleOn(const QDate &date) {
    const auto outcomes = outcomesOn(date);
    for (const QList<BellOutcome> &bell : outcomes)
        for (BellOutcome o : bell)
            if (o == BellOutcome::Failed || o == BellOutcome::Missed)
                return true;
    return false;
}

QSet<int> BellStore::recordedOn(const QDate &date) {
    const auto outcomes = outcomesOn(date);
    return {outcomes.keyBegin(), outcomes.keyEnd()};
}
