#include "SharedSchedule.h"

#include "Backup.h"
#include "BellStore.h"
#include "Calendar.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "SharedLink.h"
#include "SharedMusic.h"
#include "SharedRows.h"
#include "Statements.h"
#include "ZilError.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <algorithm>

using namespace SharedRows;

namespace {

// The copy's own bookkeeping, beside Dersler; an older program never reads it.
const QString durumTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS OrtakDurum (Anahtar TEXT PRIMARY KEY, Deger TEXT NOT NULL)");
// Where the version before kept a bell's building, by KayitID alone, so that a programme's bell
// and a Normal bell of the same number could be taken for each other. Read until the next apply
// replaces it with OrtakBina, so an edit made since is sent with the buildings it had.
const QString eskiBinaTablosu = QStringLiteral("OrtakZilBina");
const QString dersler = QStringLiteral("Dersler");
const QString programDersleri = QStringLiteral("ProgramDersleri");
const QString anonslar = QStringLiteral("Anonslar");
const QStringList anonsSutunlari = {
    QStringLiteral("AnonsID"), QStringLiteral("Ad"),        QStringLiteral("Metin"),
    QStringLiteral("Dosya"),   QStringLiteral("ProgramID"), QStringLiteral("GunID"),
    QStringLiteral("Tarih"),   QStringLiteral("Saat"),      QStringLiteral("Sure")};
const QString tekSeferlik = QStringLiteral("TekSeferlik");
const QStringList tekSeferlikSutunlari = {
    QStringLiteral("KayitID"),     QStringLiteral("Tarih"), QStringLiteral("DersSaati"),
    QStringLiteral("DersBaslama"), QStringLiteral("Muzik"), QStringLiteral("Sure")};
const QString keySurum = QStringLiteral("Surum");
const QString keyGonderilen = QStringLiteral("GonderilenKayit");
const QString keyKaynak = QStringLiteral("Kaynak");
// What the copy held when it was last written from the server or sent to it, as a digest: a copy
// that differs at the next start was edited while the program was not joined (closed, or away
// from the server before a restart), and that edit is sent, not overwritten.
const QString keyIcerik = QStringLiteral("Icerik");
// Whom the server took this computer's user for, and what the link last said: read by every
// window of the folder, which may not be the process that is joined.
const QString keyKullanici = QStringLiteral("Kullanici");
const QString keyYonetici = QStringLiteral("Yonetici");
const QString keyDurumSatiri = QStringLiteral("DurumSatiri");
const QString keyBinaID = QStringLiteral("BinaID");
const QString keyBina = QStringLiteral("Bina");

// What the link kept in the copy of `dataFolder` for the windows, read at once from the file
// itself; empty when the folder is not joined, or the copy has none or cannot be read just now.
// Whom the server took the user for counts only while the settings still name that user.
QHash<QString, QString> savedStates(const QString &dataFolder) {
    const SharedSettings settings = SharedSettings::read(dataFolder);
    QHash<QString, QString> states;
    if (!settings.on)
        return states;
    try {
        ScheduleQuery query;
        query.SetConnection(DatabaseFileIn(dataFolder));
        query.OpenStatement(Statements::TabloVarMi, {QStringLiteral("OrtakDurum")});
        if (query.Eof())
            return states;
        query.OpenStatement(QStringLiteral("SELECT Anahtar,Deger FROM OrtakDurum"));
        for (; !query.Eof(); query.Next())
            states.insert(query.FieldAsText(0), query.FieldAsText(1));
    } catch (const ZilError &) {
        return {};
    }
    if (states.value(keyKullanici) != settings.user) {
        states.remove(keyYonetici);
        states.remove(keyBinaID);
        states.remove(keyBina);
    }
    states.insert(keyKullanici, settings.user);
    return states;
}

QString digestOf(const SharedContent &c) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << c.programmes << c.bells << c.settings << c.entries;
    // A copy written before announcements and one-off bells were shared has none in its digest:
    // without them it is the same copy, not one edited while the program was closed.
    if (!c.announcements.isEmpty() || !c.oneOffs.isEmpty())
        out << c.announcements << c.oneOffs;
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Sent at most this many lines in one transaction, so that a long outage's record goes up in
// short steps.
constexpr int RecordBatch = 500;

} // namespace

QStringList SharedContent::namedFiles() const {
    QStringList names;
    const auto add = [&](const QList<QVariantList> &rows, int column) {
        for (const QVariantList &row : rows)
            if (const QString name = row.value(column).toString(); !name.isEmpty())
                names.append(name);
    };
    add(bells, 6);
    add(announcements, 4);
    add(oneOffs, 5);
    names.removeDuplicates();
    return names;
}

SharedSchedule::SharedSchedule(BellStore &store, Calendar &calendar, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_calendar(calendar) {
    m_localTimer.setInterval(2000);
    connect(&m_localTimer, &QTimer::timeout, this, &SharedSchedule::onLocalTimer);
}

SharedSchedule::~SharedSchedule() {
    stop();
}

void SharedSchedule::setIntervals(int checkMs, int localMs) {
    m_checkMs = checkMs;
    m_localTimer.setInterval(localMs);
}

void SharedSchedule::start(const SharedSettings &settings) {
    stop();
    m_settings = settings;
    if (!settings.on) {
        forgetJoining();
        return;
    }
    if (const QString why = settings.problem(); !why.isEmpty()) {
        tell(why);
        return;
    }
    m_local.SetConnection(m_store.file());
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("ortak-program"));
    m_link = new SharedLink(this, settings, m_checkMs,
                            m_musicFolder.isEmpty() ? musicFolder() : m_musicFolder);
    m_link->moveToThread(m_thread.get());
    m_thread->start();
    QMetaObject::invokeMethod(
        m_link, [l = m_link] { l->begin(); }, Qt::QueuedConnection);
    m_localTimer.start();
    setStatus(QStringLiteral("Ortak programa bağlanılıyor…"));
}

void SharedSchedule::forgetJoining() {
    // What the copy holds from here on is this computer's own. Joined again, it is kept as a
    // backup and replaced by the school's, as at the first joining, rather than taken for edits
    // made while the program was closed and sent to the whole school. The record's mark stays:
    // lines the server has are not sent again.
    try {
        m_local.SetConnection(m_store.file());
        if (!hasTable(QStringLiteral("OrtakDurum")))
            return;
        for (const QString &key :
             {keySurum, keyIcerik, keyKullanici, keyYonetici, keyDurumSatiri, keyBinaID, keyBina})
            m_local.ExecuteStatement(QStringLiteral("DELETE FROM OrtakDurum WHERE Anahtar=?"),
                                     {key});
    } catch (const ZilError &) {
        // Read again at the next start with the settings off.
    }
}

void SharedSchedule::stop() {
    m_localTimer.stop();
    if (!m_link)
        return;
    QMetaObject::invokeMethod(
        m_link, [l = m_link] { l->finish(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_link;
    m_link = nullptr;
    m_thread.reset();
    m_reachable = false;
    m_sending = false;
    m_publishing = false;
    setStatus({});
}

void SharedSchedule::tell(const QString &message) {
    if (message == m_lastProblem)
        return;
    m_lastProblem = message;
    emit problem(message);
}

void SharedSchedule::setStatus(const QString &line) {
    if (line == m_status)
        return;
    m_status = line;
    if (!line.isEmpty()) {
        try {
            setLocalState(keyDurumSatiri, line);
        } catch (const ZilError &) {
            // Only a window of another process misses it; this one's is told below.
        }
    }
    emit statusChanged(line);
}

void SharedSchedule::onReachable(bool reachable, const QString &why) {
    if (reachable) {
        const bool back = !m_reachable && m_everReached;
        m_reachable = true;
        m_everReached = true;
        m_outageTold = false;
        m_lastProblem.clear();
        setStatus(QStringLiteral("Ortak program: %1%2 ile bağlı")
                      .arg(m_school,
                           m_building.isEmpty() ? QString() : QStringLiteral(", ") + m_building));
        if (back)
            emit reconnected();
        sendRecords();
        return;
    }
    m_reachable = false;
    m_sending = false;
    setStatus(QStringLiteral("Ortak programa ulaşılamıyor; son kopyadan çalıyor"));
    // Once per outage: a server away for a day would otherwise say so every few seconds.
    if (!m_outageTold) {
        m_outageTold = true;
        tell(why);
    }
}

void SharedSchedule::onIdentity(const QString &school, const QString &building, qint64 buildingId,
                                bool manager) {
    m_school = school;
    m_building = building;
    m_manager = manager;
    try {
        setLocalState(keyKullanici, m_settings.user);
        setLocalState(keyYonetici, manager ? QStringLiteral("1") : QStringLiteral("0"));
        setLocalState(keyBinaID, QString::number(buildingId));
        setLocalState(keyBina, building);
    } catch (const ZilError &) {
        // The windows go on allowing edits, and one this user may not make is undone with a
        // message as before.
    }
}

QString SharedSchedule::savedStatus(const QString &dataFolder) {
    return savedStates(dataFolder).value(keyDurumSatiri);
}

qint64 SharedSchedule::savedBuilding(const QString &dataFolder, QString *name) {
    const QHash<QString, QString> states = savedStates(dataFolder);
    const qint64 id = states.value(keyBinaID).toLongLong();
    if (id != 0 && name)
        *name = states.value(keyBina);
    return id;
}

QString SharedSchedule::editRefusal(const QString &dataFolder) {
    const QHash<QString, QString> states = savedStates(dataFolder);
    if (states.value(keyYonetici) != QLatin1String("0"))
        return {};
    return QStringLiteral("Bu bilgisayar okulun ortak programıyla çalıyor ve kullanıcısı («%1») "
                          "ortak programı değiştiremez. Zilleri, programları ve takvimi okulun "
                          "yöneticisi değiştirir; değişiklik bu bilgisayara kendiliğinden gelir.")
        .arg(states.value(keyKullanici));
}

bool SharedSchedule::keepBeforeReplacing(const SharedContent &local, bool undoingEdit) {
    const bool joining =
        appliedVersion() < 0 &&
        !(local.bells.isEmpty() && local.programmes.isEmpty() && local.entries.isEmpty() &&
          local.announcements.isEmpty() && local.oneOffs.isEmpty());
    if (!joining && !undoingEdit)
        return true;
    QPointer<SharedSchedule> self(this);
    try {
        Backup::keepBeforeAside(QFileInfo(m_store.file()).absolutePath(),
                                joining ? QStringLiteral("ortak-program")
                                        : QStringLiteral("geri-alinan-degisiklik"),
                                [self](const QString &message) {
                                    QMetaObject::invokeMethod(
                                        self.data(),
                                        [self, message] {
                                            if (self)
                                                self->tell(message);
                                        },
                                        Qt::QueuedConnection);
                                });
    } catch (const ZilError &error) {
        tell(QStringLiteral("Ortak program yüklenmedi: bu bilgisayardaki programın yedeği "
                            "alınamadı (%1). Yeniden denenecek.")
                 .arg(error.message()));
        return false;
    }
    return true;
}

bool SharedSchedule::hasTable(const QString &name) {
    m_local.OpenStatement(Statements::TabloVarMi, {name});
    const bool found = !m_local.Eof();
    m_local.Close();
    return found;
}

QString SharedSchedule::localState(const QString &key) {
    if (!hasTable(QStringLiteral("OrtakDurum")))
        return {};
    m_local.OpenStatement(QStringLiteral("SELECT Deger FROM OrtakDurum WHERE Anahtar=?"), {key});
    const QString value = m_local.Eof() ? QString() : m_local.FieldAsText(0);
    m_local.Close();
    return value;
}

void SharedSchedule::setLocalState(const QString &key, const QString &value) {
    m_local.ExecuteStatement(durumTablosu);
    m_local.ExecuteStatement(
        QStringLiteral("INSERT OR REPLACE INTO OrtakDurum (Anahtar,Deger) VALUES(?,?)"),
        {key, value});
}

qint64 SharedSchedule::appliedVersion() {
    bool ok = false;
    const qint64 v = localState(keySurum).toLongLong(&ok);
    return ok ? v : -1;
}

qint64 SharedSchedule::sentRecord() {
    return localState(keyGonderilen).toLongLong();
}

void SharedSchedule::prepareLocal() {
    // Each of these makes its tables only when missing, so an older program still opens the file.
    m_calendar.ensureTables();
    ScheduleQuery::Transaction transaction(m_local);
    m_local.ExecuteStatement(Statements::ProgramTablosu);
    m_local.ExecuteStatement(Statements::ProgramZilTablosu);
    m_local.ExecuteStatement(durumTablosu);
    m_local.ExecuteStatement(Statements::AnonsTablosu);
    m_local.ExecuteStatement(Statements::TekSeferlikTablosu);
    m_local.ExecuteStatement(Statements::OrtakBinaTablosu);
    transaction.Commit();
}

SharedContent SharedSchedule::readLocal() {
    SharedContent c;
    const bool programmes = hasTable(QStringLiteral("Programlar"));
    const bool older = hasTable(eskiBinaTablosu);
    // Normal's bells and a programme's by their row ids; with the older table both in one.
    QHash<qint64, qint64> buildingOf, programmeBuildingOf;
    if (older) {
        m_local.OpenStatement(QStringLiteral("SELECT KayitID,BinaID FROM OrtakZilBina"));
        for (; !m_local.Eof(); m_local.Next())
            buildingOf.insert(m_local.Field(0).toLongLong(), m_local.Field(1).toLongLong());
        programmeBuildingOf = buildingOf;
    } else if (hasTable(QStringLiteral("OrtakBina"))) {
        m_local.OpenStatement(QStringLiteral("SELECT Tablo,KayitID,BinaID FROM OrtakBina WHERE "
                                             "Tablo IN (?,?)"),
                              {dersler, programDersleri});
        for (; !m_local.Eof(); m_local.Next())
            (m_local.FieldAsText(0) == dersler ? buildingOf : programmeBuildingOf)
                .insert(m_local.Field(1).toLongLong(), m_local.Field(2).toLongLong());
    }
    auto bellRow = [&](const QVariant &programme) {
        const qint64 id = m_local.Field(0).toLongLong();
        const qint64 building =
            (programme.toLongLong() == 0 ? buildingOf : programmeBuildingOf).value(id, 0);
        return QVariantList{canonical(m_local.Field(0)), canonical(programme),
                            QString::number(building),   canonical(m_local.Field(1)),
                            canonical(m_local.Field(2)), canonical(m_local.Field(3)),
                            canonical(m_local.Field(4)), canonical(m_local.Field(5))};
    };
    m_local.OpenStatement(
        QStringLiteral("SELECT KayitID,GunID,DersSaati,DersBaslama,Muzik,Sure FROM Dersler"));
    for (; !m_local.Eof(); m_local.Next())
        c.bells.append(bellRow(0));
    if (programmes) {
        m_local.OpenStatement(Statements::Programlar);
        for (; !m_local.Eof(); m_local.Next())
            c.programmes.append({canonical(m_local.Field(0)), canonical(m_local.Field(1))});
        if (hasTable(QStringLiteral("ProgramDersleri"))) {
            m_local.OpenStatement(QStringLiteral("SELECT KayitID,GunID,DersSaati,DersBaslama,"
                                                 "Muzik,Sure,ProgramID FROM ProgramDersleri"));
            for (; !m_local.Eof(); m_local.Next())
                c.bells.append(bellRow(m_local.Field(6)));
        }
    }
    if (hasTable(QStringLiteral("TakvimAyar"))) {
        m_local.OpenStatement(QStringLiteral("SELECT Anahtar,Deger FROM TakvimAyar"));
        for (; !m_local.Eof(); m_local.Next())
            if (sharedKey(m_local.FieldAsText(0)))
                c.settings.append({canonical(m_local.Field(0)), canonical(m_local.Field(1))});
    }
    if (hasTable(QStringLiteral("TakvimKayitlari"))) {
        m_local.OpenStatement(QStringLiteral(
            "SELECT KayitNo,Tur,Ad,Baslangic,Bitis,Saat,GunID FROM TakvimKayitlari"));
        for (; !m_local.Eof(); m_local.Next()) {
            QVariantList row;
            for (int i = 0; i < 7; ++i)
                row.append(canonical(m_local.Field(i)));
            c.entries.append(row);
        }
    }
    c.announcements = buildingRows(anonslar, anonsSutunlari);
    c.oneOffs = buildingRows(tekSeferlik, tekSeferlikSutunlari);
    m_local.Close();
    sortContent(c);
    return c;
}

QList<QVariantList> SharedSchedule::buildingRows(const QString &table, const QStringList &columns) {
    QList<QVariantList> rows;
    if (!hasTable(table))
        return rows;
    QHash<qint64, qint64> buildingOf;
    if (hasTable(QStringLiteral("OrtakBina"))) {
        m_local.OpenStatement(QStringLiteral("SELECT KayitID,BinaID FROM OrtakBina WHERE Tablo=?"),
                              {table});
        for (; !m_local.Eof(); m_local.Next())
            buildingOf.insert(m_local.Field(0).toLongLong(), m_local.Field(1).toLongLong());
    }
    m_local.OpenStatement(QStringLiteral("SELECT %1 FROM %2").arg(columns.join(','), table));
    for (; !m_local.Eof(); m_local.Next()) {
        QVariantList row{canonical(m_local.Field(0)),
                         QString::number(buildingOf.value(m_local.Field(0).toLongLong(), 0))};
        for (int i = 1; i < columns.size(); ++i)
            row.append(canonical(m_local.Field(i)));
        rows.append(row);
    }
    m_local.Close();
    return rows;
}

void SharedSchedule::writeBuildingRows(const QString &table, const QStringList &columns,
                                       const QList<QVariantList> &rows) {
    m_local.ExecuteStatement(QStringLiteral("DELETE FROM %1").arg(table));
    m_local.ExecuteStatement(QStringLiteral("DELETE FROM OrtakBina WHERE Tablo=?"), {table});
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES(%3)")
                               .arg(table, columns.join(','),
                                    QStringList(columns.size(), QStringLiteral("?")).join(','));
    for (const QVariantList &row : rows) {
        m_local.ExecuteStatement(insert, QVariantList{row.value(0)} + row.mid(2));
        if (row.value(1).toLongLong() != 0)
            m_local.ExecuteStatement(Statements::OrtakBinaYaz, {table, row.value(0), row.value(1)});
    }
}

void SharedSchedule::apply(const SharedContent &content) {
    prepareLocal();
    ScheduleQuery::Transaction transaction(m_local);
    m_local.ExecuteStatement(QStringLiteral("DELETE FROM Dersler"));
    m_local.ExecuteStatement(QStringLiteral("DELETE FROM ProgramDersleri"));
    m_local.ExecuteStatement(QStringLiteral("DELETE FROM Programlar"));
    m_local.ExecuteStatement(QStringLiteral("DROP TABLE IF EXISTS OrtakZilBina"));
    m_local.ExecuteStatement(QStringLiteral("DELETE FROM OrtakBina WHERE Tablo IN (?,?)"),
                             {dersler, programDersleri});
    for (const QVariantList &p : content.programmes)
        m_local.ExecuteStatement(
            QStringLiteral("INSERT INTO Programlar (ProgramID,Ad) VALUES(?,?)"), p);
    // The server's ids become the copy's, so a bell keeps its id from one copy to the next and
    // one that rang today is not rung again after an update.
    for (const QVariantList &b : content.bells) {
        const QVariantList values{b.value(0), b.value(3), b.value(4),
                                  b.value(5), b.value(6), b.value(7)};
        if (b.value(1).toLongLong() == 0)
            m_local.ExecuteStatement(QStringLiteral("INSERT INTO Dersler (KayitID,GunID,DersSaati,"
                                                    "DersBaslama,Muzik,Sure) VALUES(?,?,?,?,?,?)"),
                                     values);
        else
            m_local.ExecuteStatement(
                QStringLiteral("INSERT INTO ProgramDersleri (KayitID,GunID,DersSaati,DersBaslama,"
                               "Muzik,Sure,ProgramID) VALUES(?,?,?,?,?,?,?)"),
                values + QVariantList{b.value(1)});
        if (b.value(2).toLongLong() != 0)
            m_local.ExecuteStatement(
                Statements::OrtakBinaYaz,
                {b.value(1).toLongLong() == 0 ? dersler : programDersleri, b.value(0), b.value(2)});
    }
    m_local.OpenStatement(QStringLiteral("SELECT Anahtar FROM TakvimAyar"));
    QStringList stale;
    for (; !m_local.Eof(); m_local.Next())
        if (sharedKey(m_local.FieldAsText(0)))
            stale.append(m_local.FieldAsText(0));
    m_local.Close();
    for (const QString &key : std::as_const(stale))
        m_local.ExecuteStatement(QStringLiteral("DELETE FROM TakvimAyar WHERE Anahtar=?"), {key});
    for (const QVariantList &s : content.settings)
        m_local.ExecuteStatement(
            QStringLiteral("INSERT OR REPLACE INTO TakvimAyar (Anahtar,Deger) VALUES(?,?)"), s);
    m_local.ExecuteStatement(QStringLiteral("DELETE FROM TakvimKayitlari"));
    for (const QVariantList &e : content.entries)
        m_local.ExecuteStatement(
            QStringLiteral("INSERT INTO TakvimKayitlari (KayitNo,Tur,Ad,"
                           "Baslangic,Bitis,Saat,GunID) VALUES(?,?,?,?,?,?,?)"),
            e);
    writeBuildingRows(anonslar, anonsSutunlari, content.announcements);
    writeBuildingRows(tekSeferlik, tekSeferlikSutunlari, content.oneOffs);
    m_local.ExecuteStatement(
        QStringLiteral("INSERT OR REPLACE INTO OrtakDurum (Anahtar,Deger) VALUES(?,?)"),
        {keySurum, QString::number(content.version)});
    m_local.ExecuteStatement(
        QStringLiteral("INSERT OR REPLACE INTO OrtakDurum (Anahtar,Deger) VALUES(?,?)"),
        {keyIcerik, digestOf(content)});
    transaction.Commit();
    m_baseline = readLocal();
    m_baseline->version = content.version;
}

void SharedSchedule::onContent(const SharedContent &content) {
    m_pending = content;
    m_serverContent = content;
    onLocalTimer();
}

void SharedSchedule::onLocalTimer() {
    if (!m_link)
        return;
    try {
        SharedContent local = readLocal();
        if (!m_baseline && m_pending) {
            // The first look since the program started: an edit made to the copy meanwhile is
            // sent on the version it was made on, with nothing known of its rows' ids.
            const QString digest = localState(keyIcerik);
            if (!digest.isEmpty() && digest != digestOf(local)) {
                SharedContent before = local;
                before.announcements.clear();
                before.oneOffs.clear();
                // A copy written before announcements and one-off bells were shared, with some of
                // this computer's own: they alone are the edit, and the bells keep their ids.
                m_baseline = digest == digestOf(before) ? before : SharedContent{};
                m_baseline->version = appliedVersion();
            }
        }
        const bool edited = m_baseline && !(local == *m_baseline);
        if (edited && !m_discardEdit) {
            // An edit made here goes to the server before anything from there is applied.
            if (m_publishing)
                return;
            if (!m_manager && m_everReached) {
                tell(QStringLiteral("Bu bilgisayarın kullanıcısı ortak programı değiştiremez; "
                                    "yapılan değişiklik geri alındı (önceki hali Yedekler "
                                    "klasöründe saklandı). Okulun yöneticisine başvurun."));
                m_discardEdit = true;
                if (!m_pending)
                    m_pending = m_serverContent;
            } else if (m_reachable) {
                m_publishing = true;
                m_publishedLocal = local;
                QMetaObject::invokeMethod(
                    m_link, [l = m_link, local, base = *m_baseline] { l->publish(local, base); },
                    Qt::QueuedConnection);
                return;
            } else {
                return; // kept until the server is back
            }
        }
        if (m_pending) {
            const SharedContent content = *m_pending;
            // Written only when it says something the copy does not, so an unchanged school
            // costs the file nothing.
            if (!(content == local) || content.version != appliedVersion()) {
                if (!keepBeforeReplacing(local, m_discardEdit && edited))
                    return;
                apply(content);
            } else {
                m_baseline = local;
                m_baseline->version = content.version;
            }
            m_pending.reset();
            m_discardEdit = false;
            emit applied(content.version);
        }
    } catch (const ZilError &error) {
        // The copy could not be written just now (another program reads it, a full disk): the
        // bells ring on from it as it is, and the next look tries again.
        tell(QStringLiteral("Ortak programın son hali bu bilgisayara yazılamadı: %1")
                 .arg(error.message()));
        return;
    }
    sendRecords();
}

void SharedSchedule::onPublished(bool ok, bool refused, const QString &message) {
    m_publishing = false;
    if (ok) {
        // What was sent is now the school's: the server's echo of it is applied, not taken for
        // another edit.
        const qint64 version = m_baseline ? m_baseline->version : -1;
        m_baseline = m_publishedLocal;
        m_baseline->version = version;
        m_lastProblem.clear();
        try {
            setLocalState(keyIcerik, digestOf(m_publishedLocal));
        } catch (const ZilError &) {
            // Without it the next start sends the same copy once more, on an older version,
            // and is refused with a message at worst; nothing is lost.
        }
    } else {
        // Refused: the server's schedule replaces the edit that cannot be kept, and the user is
        // told. Not sent (the connection broke): the edit stays and goes at the next look.
        m_discardEdit = refused;
        tell(message);
    }
}

void SharedSchedule::sendRecords() {
    if (!m_link || !m_reachable || m_sending)
        return;
    QList<QVariantList> rows;
    QString source;
    try {
        if (!hasTable(QStringLiteral("ZilGecmisi")))
            return;
        rows = unsentRecords();
        if (rows.isEmpty())
            return;
        // Which file the lines come from: another file of the same computer (a new copy, a
        // reinstalled computer) numbers its lines from 1 again.
        source = localState(keyKaynak);
        if (source.isEmpty()) {
            source = QUuid::createUuid().toString(QUuid::WithoutBraces);
            setLocalState(keyKaynak, source);
        }
    } catch (const ZilError &) {
        // The copy cannot be read just now; the lines wait for the next look.
        return;
    }
    m_sending = true;
    QMetaObject::invokeMethod(
        m_link, [l = m_link, rows, source] { l->sendRecords(rows, source); }, Qt::QueuedConnection);
}

QList<QVariantList> SharedSchedule::unsentRecords() {
    m_local.OpenStatement(
        QStringLiteral("SELECT KayitNo,Tarih,KayitID,DersSaati,DersBaslama,Muzik,Sonuc,GecikmeMs,"
                       "Aciklama,YedekSes,Zaman FROM ZilGecmisi WHERE KayitNo>? ORDER BY KayitNo "
                       "LIMIT %1")
            .arg(RecordBatch),
        {sentRecord()});
    QList<QVariantList> rows;
    for (; !m_local.Eof(); m_local.Next()) {
        QVariantList row;
        for (int i = 0; i < 11; ++i)
            row.append(m_local.Field(i));
        rows.append(row);
    }
    m_local.Close();
    return rows;
}

void SharedSchedule::onSent(qint64 lastRecord) {
    m_sending = false;
    if (lastRecord < 0)
        return;
    try {
        // Written after the server took them: a cut in between sends them again, and the server
        // keeps the first.
        setLocalState(keyGonderilen, QString::number(lastRecord));
    } catch (const ZilError &) {
        return;
    }
    sendRecords();
}
