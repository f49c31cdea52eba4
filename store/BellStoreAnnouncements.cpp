// BellStore: the announcements ("Anonslar").
#include "BellStore.h"

#include "Schedule.h"
#include "Statements.h"

namespace {
const QString dateForm = QStringLiteral("yyyy-MM-dd");
const QString table = QStringLiteral("Anonslar");
} // namespace

Announcement BellStore::announcementRow() const {
    Announcement a;
    a.id = m_query.FieldAsInteger(0);
    a.name = m_query.FieldAsText(1);
    a.text = m_query.FieldAsText(2);
    a.sound = m_query.FieldAsText(3);
    // Null in an announcement of a date; a row written by other means may hold anything here.
    a.programme = m_query.Field(4).toInt();
    a.gunId = m_query.Field(5).toInt();
    a.date = QDate::fromString(m_query.FieldAsText(6), dateForm);
    a.at = StoredStartTime(m_query.Field(7));
    a.sure = m_query.Field(8).toInt();
    if (a.date.isValid()) {
        a.gunId = a.date.dayOfWeek() - 1;
        a.programme = Programme::Normal;
    }
    return a;
}

QList<Announcement> BellStore::announcements() {
    if (!hasTable(table))
        return {};
    m_query.OpenStatement(Statements::AnonsListesi);
    QList<Announcement> all;
    for (; !m_query.Eof(); m_query.Next())
        all.append(announcementRow());
    m_query.Close();
    return all;
}

QList<Announcement> BellStore::announcementsOn(const QDate &date, int programme, int gunId) {
    if (!hasTable(table) || !date.isValid())
        return {};
    m_query.OpenStatement(Statements::GununAnonslari, {date.toString(dateForm), programme,
                                                       gunId >= 0 ? gunId : date.dayOfWeek() - 1});
    QList<Announcement> found;
    for (; !m_query.Eof(); m_query.Next())
        found.append(announcementRow());
    m_query.Close();
    return found;
}

std::optional<Announcement> BellStore::announcement(int id) {
    if (!hasTable(table))
        return std::nullopt;
    m_query.OpenStatement(Statements::AnonsKayit, {id});
    if (m_query.Eof())
        return std::nullopt;
    const Announcement found = announcementRow();
    m_query.Close();
    return found;
}

QVariantList BellStore::announcementValues(const Announcement &a) {
    const QString name = a.name.simplified();
    if (name.isEmpty())
        throw ERefused(QStringLiteral("Anonsun adı boş olamaz."));
    if (a.sound.trimmed().isEmpty())
        throw ERefused(
            QStringLiteral("\"%1\" anonsunun sesi yok: bir kayıt seçin ya da bir metin yazın.")
                .arg(name));
    if (!a.at.isValid())
        throw ERefused(QStringLiteral("\"%1\" anonsunun saati geçerli değil.").arg(name));
    if (!a.date.isValid() && (a.gunId < 0 || a.gunId > 6))
        throw ERefused(QStringLiteral("\"%1\" anonsunun günü geçerli değil.").arg(name));
    if (a.sure < 0)
        throw ERefused(QStringLiteral("\"%1\" anonsunun süresi eksi olamaz.").arg(name));
    const bool dated = a.date.isValid();
    return {name,
            a.text,
            a.sound,
            dated ? QVariant() : QVariant(a.programme),
            dated ? QVariant() : QVariant(a.gunId),
            dated ? QVariant(a.date.toString(dateForm)) : QVariant(),
            StoredTimeForm(a.at),
            a.sure};
}

int BellStore::addAnnouncement(const Announcement &a) {
    const QVariantList values = announcementValues(a);
    m_query.Close();
    ScheduleQuery::Transaction transaction(m_query);
    m_query.ExecuteStatement(Statements::AnonsTablosu);
    m_query.ExecuteStatement(Statements::AnonsEkle, values);
    m_query.OpenStatement(Statements::SonEklenen);
    const int id = m_query.FieldAsInteger(0);
    m_query.Close();
    transaction.Commit();
    return id;
}

bool BellStore::updateAnnouncement(const Announcement &a) {
    QVariantList values = announcementValues(a);
    if (!hasTable(table))
        return false;
    values.append(a.id);
    return m_query.ExecuteStatement(Statements::AnonsGuncelle, values) > 0;
}

void BellStore::removeAnnouncement(int id) {
    if (hasTable(table))
        m_query.ExecuteStatement(Statements::AnonsSil, {id});
}
