#include "BellStore.h"

#include "Schedule.h"
#include "Statements.h"

namespace {
// The columns of Dersler, as SELECT * gives them.
enum Column { KayitID, GunID, DersSaati, DersBaslama, Muzik, Sure };
} // namespace

QTime Bell::startTime() const {
    return StoredStartTime(start);
}

std::optional<int> Bell::duration() const {
    bool ok = false;
    const int seconds = sure.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(seconds) : std::nullopt;
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

QList<Bell> BellStore::dayBells(int gunId) {
    m_query.OpenStatement(Statements::GunListesi, {gunId});
    QList<Bell> bells;
    bells.reserve(m_query.RecordCount());
    for (; !m_query.Eof(); m_query.Next())
        bells.append(currentRow());
    m_query.Close();
    return bells;
}

std::optional<Bell> BellStore::bell(int id) {
    m_query.OpenStatement(Statements::TekKayit, {id});
    if (m_query.Eof())
        return std::nullopt;
    const Bell found = currentRow();
    m_query.Close();
    return found;
}

void BellStore::add(const QList<Bell> &bells) {
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    for (const Bell &b : bells)
        m_query.ExecuteStatement(Statements::YeniZil, {b.gunId, b.name, b.start, b.music, b.sure});
    transaction.Commit();
}

bool BellStore::update(const Bell &b) {
    return m_query.ExecuteStatement(Statements::ZilGuncelle,
                                    {b.gunId, b.name, b.start, b.music, b.sure, b.id}) > 0;
}

void BellStore::remove(int id) {
    m_query.ExecuteStatement(Statements::ZilSil, {id});
}
