#include "SharedSchedule.h"

#include "Backup.h"
#include "BellStore.h"
#include "Calendar.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "SharedMusic.h"
#include "Statements.h"
#include "ZilError.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <algorithm>

namespace {

// The calendar's settings that are the school's, not one computer's: "Bugün zil çalmasın", the
// sound levels and the first start stay with the computer.
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

// One form for a value read from either database, so that the copy and the server's rows
// compare equal when they say the same: numbers, dates and texts as text, NULL as NULL.
QVariant canonical(const QVariant &value) {
    if (value.isNull() || !value.isValid())
        return {};
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(Qt::ISODate);
    return value.toString();
}

QVariantList canonicalRow(const QSqlQuery &query, int columns) {
    QVariantList row;
    for (int i = 0; i < columns; ++i)
        row.append(canonical(query.value(i)));
    return row;
}

bool byFirstNumber(const QVariantList &a, const QVariantList &b) {
    return a.value(0).toLongLong() < b.value(0).toLongLong();
}
bool byFirstText(const QVariantList &a, const QVariantList &b) {
    return a.value(0).toString() < b.value(0).toString();
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

// A computer looks at its school's version at most this often however many notices arrive.
constexpr qint64 NoticeGapMs = 1000;

// Sent at most this many lines in one transaction, so that a long outage's record goes up in
// short steps.
constexpr int RecordBatch = 500;

QString unreachable(const QString &host, const QString &why) {
    return QStringLiteral("Ortak programa ulaşılamıyor (%1): %2. Ziller bu bilgisayardaki son "
                          "kopyadan çalmaya devam ediyor.")
        .arg(host, why.trimmed());
}
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

// The server's side of a joined computer, on its own thread: one QPSQL connection, LISTEN for
// the school's changes, and the reads and writes the owner asks for. Every answer goes back to
// the owner's thread as a queued call.
class SharedLink : public QObject {
public:
    SharedLink(SharedSchedule *owner, const SharedSettings &settings, int checkMs,
               const QString &musicFolder)
        : m_owner(owner)
        , m_settings(settings)
        , m_checkMs(checkMs)
        , m_music(musicFolder)
        , m_name(QStringLiteral("ortak-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

    void begin() {
        m_timer = new QTimer(this);
        m_timer->setInterval(m_checkMs);
        connect(m_timer, &QTimer::timeout, this, [this] { check(); });
        m_timer->start();
        m_noticeTimer = new QTimer(this);
        m_noticeTimer->setSingleShot(true);
        connect(m_noticeTimer, &QTimer::timeout, this, [this] { check(); });
        check();
    }

    void finish() {
        if (m_timer)
            m_timer->stop();
        if (m_noticeTimer)
            m_noticeTimer->stop();
        close();
    }

    void sendRecords(const QList<QVariantList> &rows, const QString &source) {
        qint64 last = -1;
        QString why;
        if (m_open)
            last = insertRecords(rows, source, why);
        if (last < 0 && !rows.isEmpty())
            lost(why.isEmpty() ? QStringLiteral("bağlantı yok") : why);
        post([o = m_owner, last] { o->onSent(last); });
    }

    // The last line's number once all are in, or -1 with `why`.
    qint64 insertRecords(const QList<QVariantList> &rows, const QString &source, QString &why) {
        qint64 last = -1;
        {
            QSqlDatabase db = database();
            bool ok = db.transaction();
            QSqlQuery q(db);
            ok = ok &&
                 q.prepare(QStringLiteral(
                     "INSERT INTO zil_kaydi (kaynak, kayit_no, okul_id, tarih, zil_id, ders_saati, "
                     "baslama, muzik, sonuc, gecikme_ms, aciklama, yedek_ses, zaman) "
                     "VALUES (?, ?, zil_okulum(), ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                     "ON CONFLICT DO NOTHING"));
            for (const QVariantList &row : rows) {
                if (!ok)
                    break;
                q.bindValue(0, source);
                for (int i = 0; i < row.size(); ++i)
                    q.bindValue(i + 1, i == 9 ? QVariant(row.at(i).toInt() != 0) : row.at(i));
                ok = q.exec();
            }
            if (ok)
                ok = db.commit();
            if (ok)
                last = rows.isEmpty() ? -1 : rows.last().value(0).toLongLong();
            else {
                why = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
                db.rollback();
            }
        }
        return last;
    }

    void publish(const SharedContent &local, const SharedContent &base) {
        if (!m_open) {
            post([o = m_owner] {
                o->onPublished(false, false,
                               QStringLiteral("Ortak programa ulaşılamıyor; değişiklik sunucuya "
                                              "ulaşınca gönderilecek."));
            });
            return;
        }
        QString refusal;
        bool refused = false;
        bool ok = false;
        {
            QSqlDatabase db = database();
            ok = writeSchedule(db, local, base, refusal, refused);
            if (!ok)
                db.rollback();
        }
        post([o = m_owner, ok, refused, refusal] { o->onPublished(ok, refused, refusal); });
        if (!ok)
            fetch();
    }

private:
    template <typename F> void post(F &&f) {
        QMetaObject::invokeMethod(m_owner, std::forward<F>(f), Qt::QueuedConnection);
    }

    QSqlDatabase database() { return QSqlDatabase::database(m_name, false); }

    void close() {
        m_open = false;
        if (QSqlDatabase::contains(m_name)) {
            {
                QSqlDatabase db = database();
                if (db.driver())
                    db.driver()->disconnect(this);
                db.close();
            }
            QSqlDatabase::removeDatabase(m_name);
        }
    }

    void lost(const QString &why) {
        close();
        post([o = m_owner, host = m_settings.host, why] {
            o->onReachable(false, unreachable(host, why));
        });
    }

    bool connectNow() {
        close();
        QString school, building;
        qint64 buildingId = 0;
        bool manager = false;
        // Every handle on the connection is gone before it is closed.
        const QString why = open(school, building, buildingId, manager);
        if (!why.isEmpty()) {
            close();
            post([o = m_owner, why] { o->onReachable(false, why); });
            return false;
        }
        m_open = true;
        post([o = m_owner, school, building, buildingId, manager] {
            o->onIdentity(school, building, buildingId, manager);
            o->onReachable(true, {});
        });
        return true;
    }

    // Opens the connection, checks whom the server takes this user for and listens; what went
    // wrong, for the user, or empty.
    QString open(QString &school, QString &building, qint64 &buildingId, bool &manager) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(m_settings.host);
        db.setPort(m_settings.port);
        db.setDatabaseName(m_settings.database);
        db.setUserName(m_settings.user);
        db.setPassword(m_settings.password);
        QStringList options = {
            QStringLiteral("connect_timeout=5"), QStringLiteral("application_name=selvanor-zil"),
            QStringLiteral("keepalives_idle=10"), QStringLiteral("keepalives_interval=5"),
            QStringLiteral("keepalives_count=3")};
        if (!m_settings.local()) {
            options << QStringLiteral("sslmode=verify-full")
                    << QStringLiteral("sslrootcert=") + m_settings.caFile;
        }
        db.setConnectOptions(options.join(QLatin1Char(';')));
        if (!db.open())
            return unreachable(m_settings.host, db.lastError().text());
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral(
                "SELECT u.okul_id, o.ad, b.ad, zil_yonetici_mi(), COALESCE(u.bina_id, 0) FROM "
                "uye u JOIN okul o ON "
                "o.okul_id = u.okul_id LEFT JOIN bina b ON b.bina_id = u.bina_id WHERE u.rol = "
                "session_user")) ||
            !q.next()) {
            return q.lastError().isValid()
                       ? QStringLiteral("Ortak program sunucusu bu kullanıcıyı tanımıyor: %1")
                             .arg(q.lastError().text())
                       : QStringLiteral(
                             "«%1» kullanıcısı ortak programda hiçbir okula bağlı değil.")
                             .arg(m_settings.user);
        }
        m_school = q.value(0).toLongLong();
        school = q.value(1).toString();
        building = q.value(2).toString();
        manager = q.value(3).toBool();
        buildingId = q.value(4).toLongLong();
        QString mismatch;
        if (!m_settings.school.trimmed().isEmpty() && m_settings.school.trimmed() != school)
            mismatch = QStringLiteral("Sunucu bu kullanıcıyı «%1» okuluna bağlıyor; ayarlarda «%2» "
                                      "yazıyor. Program yüklenmedi.")
                           .arg(school, m_settings.school.trimmed());
        else if (!m_settings.building.trimmed().isEmpty() &&
                 m_settings.building.trimmed() != building)
            mismatch = QStringLiteral("Sunucu bu kullanıcıyı «%1» binasına bağlıyor; ayarlarda "
                                      "«%2» yazıyor. Program yüklenmedi.")
                           .arg(building.isEmpty() ? QStringLiteral("tüm binalar") : building,
                                m_settings.building.trimmed());
        if (!mismatch.isEmpty())
            return mismatch;
        connect(db.driver(), &QSqlDriver::notification, this,
                [this](const QString &, QSqlDriver::NotificationSource, const QVariant &payload) {
                    bool number = false;
                    if (payload.toString().toLongLong(&number) == m_school && number)
                        noticed();
                });
        if (!db.driver()->subscribeToNotification(QStringLiteral("zil_degisti")))
            return unreachable(m_settings.host, db.lastError().text());
        return {};
    }

    // Any role may NOTIFY with any school's id, and a busy manager makes many changes in a row:
    // a notice only asks for a look at the school's version, at most one a NoticeGapMs, the
    // first at once, any others in that time together at its end.
    void noticed() {
        if (!m_lastLook.isValid() || m_lastLook.hasExpired(NoticeGapMs))
            check();
        else if (!m_noticeTimer->isActive())
            m_noticeTimer->start(int(NoticeGapMs - m_lastLook.elapsed()));
    }

    // Looks whether the server is still there and the copy's version is the server's: a notice
    // lost while the connection was down is made up for here. The schedule is read only when
    // the version moved.
    void check() {
        m_lastLook.start();
        if (!m_open) {
            if (connectNow())
                fetch();
            return;
        }
        qint64 version = -1;
        QString why;
        {
            QSqlQuery q(database());
            if (q.exec(QStringLiteral("SELECT surum FROM surum")) && q.next())
                version = q.value(0).toLongLong();
            else
                why = q.lastError().text();
        }
        // The query is gone before the connection is closed.
        if (version < 0)
            lost(why);
        else if (version != m_fetched)
            fetch();
    }

    void fetch() {
        if (!m_open)
            return;
        SharedContent c;
        QString why;
        if (!read(c, why)) {
            if (!why.isEmpty())
                lost(why);
            return;
        }
        m_fetched = c.version;
        sortContent(c);
        post([o = m_owner, c] { o->onContent(c); });
    }

    // False with `why` when the server could not be read, without when a file could not be put
    // in place here.
    bool read(SharedContent &c, QString &why) {
        QSqlDatabase db = database();
        // One snapshot: the rows of every table as of one moment, never half of an edit.
        bool ok = db.transaction();
        QSqlQuery q(db);
        ok = ok && q.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
        ok = ok && q.exec(QStringLiteral("SELECT surum FROM surum")) && q.next();
        if (ok)
            c.version = q.value(0).toLongLong();
        const auto readRows = [&](const QString &sql, QList<QVariantList> &rows, int columns) {
            ok = ok && q.exec(sql);
            while (ok && q.next())
                rows.append(canonicalRow(q, columns));
        };
        readRows(QStringLiteral("SELECT program_id, ad FROM program"), c.programmes, 2);
        readRows(QStringLiteral("SELECT zil_id, program_id, COALESCE(bina_id, 0), gun_id, "
                                "ders_saati, baslama, muzik, sure FROM zil WHERE bina_id IS NULL "
                                "OR bina_id = zil_binam()"),
                 c.bells, 8);
        ok = ok && q.exec(QStringLiteral("SELECT anahtar, deger FROM takvim_ayar"));
        while (ok && q.next())
            if (sharedKey(q.value(0).toString()))
                c.settings.append(canonicalRow(q, 2));
        readRows(QStringLiteral("SELECT kayit_id, tur, ad, baslangic, bitis, saat, gun_id FROM "
                                "takvim_kayit"),
                 c.entries, 7);
        readRows(QStringLiteral("SELECT anons_id, COALESCE(bina_id, 0), ad, metin, dosya, "
                                "program_id, gun_id, tarih, saat, sure FROM anons WHERE bina_id "
                                "IS NULL OR bina_id = zil_binam()"),
                 c.announcements, 10);
        readRows(QStringLiteral("SELECT kayit_id, COALESCE(bina_id, 0), tarih, ders_saati, "
                                "baslama, muzik, sure FROM tek_seferlik WHERE bina_id IS NULL OR "
                                "bina_id = zil_binam()"),
                 c.oneOffs, 7);
        if (ok) {
            const QStringList named = c.namedFiles();
            ok = q.exec(QStringLiteral("SELECT ad, sha256, boyut FROM muzik"));
            while (ok && q.next())
                if (named.contains(q.value(0).toString()))
                    c.files.append(canonicalRow(q, 3));
        }
        // Within the same snapshot, so the bytes are those of the sums just read.
        bool written = true;
        ok = ok && fetchFiles(q, c, written);
        if (!ok) {
            why = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
            if (why.trimmed().isEmpty())
                why = QStringLiteral("bağlantı koptu");
            db.rollback();
            return false;
        }
        if (!written) {
            // Not posted: rows naming a file this computer lacks would ring the fallback tone.
            // The next look at the server tries again.
            db.rollback();
            return false;
        }
        return db.commit();
    }

    void tell(const QString &message) {
        post([o = m_owner, message] { o->tell(message); });
    }
    // Said once while the link lives, not at every change the server tells of.
    void tellOnce(const QString &message) {
        if (!m_told.contains(message)) {
            m_told.insert(message);
            tell(message);
        }
    }

    // The files the content names that this computer lacks, or holds with another sum, written
    // into Muzikler before the owner writes the rows that name them. Written here, on the link's
    // thread, since the owner never writes these files: it only opens them to ring, and a file
    // is renamed into place whole (FileBeside), so an open finds the old file or the new one,
    // never half of one; and no row names a new file before the owner applies the content,
    // which is posted after this returns. False when the server could not be read; `written`
    // false when a file could not be put in place here (told).
    bool fetchFiles(QSqlQuery &q, const SharedContent &c, bool &written) {
        for (const QVariantList &file : c.files) {
            const QString name = file.value(0).toString();
            const QString sum = file.value(1).toString();
            // The server's rows are not trusted with paths: a name must stay inside Muzikler.
            if (!SharedMusic::safeName(name)) {
                tellOnce(
                    QStringLiteral("Ortak programdaki «%1» dosya adı Muzikler klasörünün dışını "
                                   "gösteriyor; dosya alınmadı.")
                        .arg(name));
                continue;
            }
            if (!SharedMusic::shareable(name)) {
                tellOnce(QStringLiteral("Ortak programdaki «%1» programın kendi seslerinden; her "
                                        "bilgisayar onları kendisi yapar, sunucudaki alınmadı.")
                             .arg(name));
                continue;
            }
            if (m_music.sum(name) == sum)
                continue;
            q.prepare(QStringLiteral(
                "SELECT icerik FROM muzik WHERE ad = ? AND octet_length(icerik) <= ?"));
            q.addBindValue(name);
            q.addBindValue(SharedMusic::MaxBytes);
            if (!q.exec())
                return false;
            const QByteArray bytes = q.next() ? q.value(0).toByteArray() : QByteArray();
            q.finish();
            if (SharedMusic::sumOf(bytes) != sum) {
                tellOnce(
                    QStringLiteral("Ortak programdaki «%1» dosyası alınamadı: içeriği bildirilen "
                                   "toplamı tutmuyor ya da %2 MB'den büyük.")
                        .arg(name)
                        .arg(SharedMusic::MaxBytes / (1024 * 1024)));
                continue;
            }
            try {
                const QString aside = m_music.write(name, bytes);
                if (!aside.isEmpty())
                    tell(QStringLiteral("Bu bilgisayardaki «%1» ortak programdakinden farklıydı; "
                                        "ortak programdaki alındı, bu bilgisayarınki «%2» "
                                        "adıyla Muzikler klasöründe saklandı.")
                             .arg(name, aside));
            } catch (const ZilError &error) {
                tell(QStringLiteral("Ortak programdaki «%1» dosyası Muzikler klasörüne "
                                    "yazılamadı: %2. Programın son hali dosya yazılınca "
                                    "yüklenecek.")
                         .arg(name, error.message()));
                written = false;
                return true;
            }
        }
        return true;
    }

    // The files the copy names that the server lacks, or holds with another sum, sent in the
    // edit's transaction. A file no row names any more stays on the server: rows of another
    // building, which this computer does not see, may still name it. False with `refusal` when
    // a file cannot go; false without when the server failed.
    bool uploadFiles(QSqlQuery &q, const SharedContent &local, QString &refusal, bool &refused) {
        QHash<QString, QString> held;
        if (!q.exec(QStringLiteral("SELECT ad, sha256 FROM muzik WHERE okul_id = zil_okulum()")))
            return false;
        while (q.next())
            held.insert(q.value(0).toString(), q.value(1).toString());
        for (const QString &name : local.namedFiles()) {
            // A file this computer lacks (or a name outside Muzikler) has nothing to send; where
            // it is missing, its bell rings the fallback tone, as it would here. Every computer
            // makes the program's own sounds.
            const QString sum = SharedMusic::shareable(name) ? m_music.sum(name) : QString();
            if (sum.isEmpty() || held.value(name) == sum)
                continue;
            QString why;
            bool tooBig = QFileInfo(m_music.path(name)).size() > SharedMusic::MaxBytes;
            const QByteArray bytes = tooBig ? QByteArray() : m_music.read(name, why);
            tooBig = tooBig || bytes.size() > SharedMusic::MaxBytes;
            if (tooBig || !why.isEmpty()) {
                refused = tooBig;
                refusal = refused ? QStringLiteral(
                                        "«%1» ortak programa gönderilemedi: bir müzik dosyası en "
                                        "çok %2 MB olabilir. Değişiklik kaydedilmedi; daha küçük "
                                        "bir dosya seçip yeniden yapın.")
                                        .arg(name)
                                        .arg(SharedMusic::MaxBytes / (1024 * 1024))
                                  : QStringLiteral("«%1» okunamadı (%2); değişiklik yeniden "
                                                   "gönderilecek.")
                                        .arg(name, why);
                return false;
            }
            q.prepare(QStringLiteral(
                "INSERT INTO muzik (okul_id, ad, sha256, boyut, icerik) VALUES (zil_okulum(), ?, "
                "?, ?, ?) ON CONFLICT (okul_id, ad) DO UPDATE SET sha256 = EXCLUDED.sha256, "
                "boyut = EXCLUDED.boyut, icerik = EXCLUDED.icerik"));
            q.addBindValue(name);
            q.addBindValue(SharedMusic::sumOf(bytes));
            q.addBindValue(qint64(bytes.size()));
            // An empty file is read as a null array, which would be bound as NULL.
            q.addBindValue(bytes.isNull() ? QByteArray("", 0) : bytes);
            if (!q.exec())
                return false;
        }
        return true;
    }

    // The rows of a table shared per building that this computer sees (its building's and every
    // building's), replaced by `rows` ([id, building (0: all), then `columns`, written with
    // commas]): known ids are kept, new rows take the server's.
    static bool replaceBuildingRows(QSqlQuery &q, const QString &table, const QString &idColumn,
                                    const QString &columns, const QList<QVariantList> &rows,
                                    const QSet<qint64> &known) {
        if (!q.exec(QStringLiteral("DELETE FROM %1 WHERE okul_id = zil_okulum() AND (bina_id IS "
                                   "NULL OR bina_id = zil_binam())")
                        .arg(table)))
            return false;
        const QString marks = QStringList(columns.count(QLatin1Char(',')) + 1, QStringLiteral("?"))
                                  .join(QStringLiteral(", "));
        for (const QVariantList &row : rows) {
            const qint64 id = row.value(0).toLongLong();
            const qint64 building = row.value(1).toLongLong();
            const bool keep = known.contains(id);
            q.prepare(QStringLiteral("INSERT INTO %1 (%2okul_id, bina_id, %3) VALUES (%4"
                                     "zil_okulum(), ?, %5)")
                          .arg(table, keep ? idColumn + QStringLiteral(", ") : QString(), columns,
                               keep ? QStringLiteral("?, ") : QString(), marks));
            if (keep)
                q.addBindValue(id);
            q.addBindValue(building == 0 ? QVariant(QMetaType(QMetaType::Int))
                                         : QVariant(building));
            for (int i = 2; i < row.size(); ++i)
                q.addBindValue(row.at(i));
            if (!q.exec())
                return false;
        }
        return true;
    }

    // A manager's copy written over the school's schedule in one transaction, when nobody
    // changed the school's schedule since the copy was taken.
    bool writeSchedule(QSqlDatabase &db, const SharedContent &local, const SharedContent &base,
                       QString &refusal, bool &refused) {
        QSqlQuery q(db);
        auto failed = [&] {
            refusal = QStringLiteral("Değişiklik ortak programa henüz gönderilemedi (%1); "
                                     "yeniden denenecek.")
                          .arg(q.lastError().text().trimmed());
            return false;
        };
        if (!db.transaction())
            return failed();
        q.prepare(QStringLiteral("SELECT zil_surum_tut(?)"));
        q.addBindValue(base.version);
        if (!q.exec() || !q.next()) {
            if (q.lastError().nativeErrorCode() == QLatin1String("42501")) {
                refused = true;
                refusal = QStringLiteral("Bu bilgisayarın kullanıcısı ortak programı değiştiremez; "
                                         "değişiklik geri alındı (önceki hali Yedekler klasöründe "
                                         "saklandı). Okulun yöneticisine başvurun.");
                return false;
            }
            return failed();
        }
        if (!q.value(0).toBool()) {
            refused = true;
            refusal = QStringLiteral(
                "Ortak program siz değiştirirken başka bir bilgisayardan değiştirildi. "
                "Sizin değişikliğiniz kaydedilmedi (bu bilgisayardaki hali Yedekler klasöründe "
                "saklandı); programın son hali yüklendi, değişikliğinizi onun üzerine yeniden "
                "yapın.");
            return false;
        }
        const auto idsOf = [](const QList<QVariantList> &rows) {
            QSet<qint64> ids;
            for (const QVariantList &r : rows)
                ids.insert(r.value(0).toLongLong());
            return ids;
        };
        const QSet<qint64> knownEntries = idsOf(base.entries);
        const QSet<qint64> knownProgrammes = idsOf(base.programmes);

        // Programmes: the known ones keep their ids, new ones get the server's.
        QHash<qint64, qint64> programmeId{{0, 0}};
        QSet<qint64> kept;
        for (const QVariantList &p : local.programmes) {
            const qint64 id = p.value(0).toLongLong();
            if (knownProgrammes.contains(id)) {
                q.prepare(QStringLiteral("UPDATE program SET ad = ? WHERE program_id = ?"));
                q.addBindValue(p.value(1));
                q.addBindValue(id);
                if (!q.exec())
                    return failed();
                programmeId.insert(id, id);
            } else {
                q.prepare(QStringLiteral(
                    "INSERT INTO program (okul_id, ad) VALUES (zil_okulum(), ?) RETURNING "
                    "program_id"));
                q.addBindValue(p.value(1));
                if (!q.exec() || !q.next())
                    return failed();
                programmeId.insert(id, q.value(0).toLongLong());
            }
            kept.insert(programmeId.value(id));
        }
        for (qint64 id : std::as_const(knownProgrammes)) {
            if (kept.contains(id))
                continue;
            q.prepare(QStringLiteral("DELETE FROM program WHERE program_id = ?"));
            q.addBindValue(id);
            if (!q.exec())
                return failed();
        }

        // What this computer rings: the school's for all buildings and its building's own. A
        // programme's rows name it by the server's id; a dated announcement names none.
        const auto programmeOf = [&](const QVariant &p) {
            return p.isNull() ? p : QVariant(programmeId.value(p.toLongLong(), p.toLongLong()));
        };
        QList<QVariantList> bells;
        for (const QVariantList &b : local.bells)
            bells.append(QVariantList{b.value(0), b.value(2), programmeOf(b.value(1))} + b.mid(3));
        QList<QVariantList> announcements = local.announcements;
        for (QVariantList &a : announcements)
            a[5] = programmeOf(a.value(5));
        if (!replaceBuildingRows(q, QStringLiteral("zil"), QStringLiteral("zil_id"),
                                 QStringLiteral("program_id, gun_id, ders_saati, baslama, muzik, "
                                                "sure"),
                                 bells, idsOf(base.bells)) ||
            !replaceBuildingRows(q, QStringLiteral("anons"), QStringLiteral("anons_id"),
                                 QStringLiteral("ad, metin, dosya, program_id, gun_id, tarih, "
                                                "saat, sure"),
                                 announcements, idsOf(base.announcements)) ||
            !replaceBuildingRows(q, QStringLiteral("tek_seferlik"), QStringLiteral("kayit_id"),
                                 QStringLiteral("tarih, ders_saati, baslama, muzik, sure"),
                                 local.oneOffs, idsOf(base.oneOffs)))
            return failed();

        if (!q.exec(QStringLiteral("DELETE FROM takvim_ayar WHERE okul_id = zil_okulum()")))
            return failed();
        for (const QVariantList &s : local.settings) {
            q.prepare(QStringLiteral(
                "INSERT INTO takvim_ayar (okul_id, anahtar, deger) VALUES (zil_okulum(), ?, ?)"));
            q.addBindValue(s.value(0));
            q.addBindValue(s.value(1));
            if (!q.exec())
                return failed();
        }
        if (!q.exec(QStringLiteral("DELETE FROM takvim_kayit WHERE okul_id = zil_okulum()")))
            return failed();
        for (const QVariantList &e : local.entries) {
            const qint64 id = e.value(0).toLongLong();
            const bool known = knownEntries.contains(id);
            q.prepare(known ? QStringLiteral("INSERT INTO takvim_kayit (kayit_id, okul_id, tur, "
                                             "ad, baslangic, bitis, saat, gun_id) VALUES (?, "
                                             "zil_okulum(), ?, ?, ?, ?, ?, ?)")
                            : QStringLiteral("INSERT INTO takvim_kayit (okul_id, tur, ad, "
                                             "baslangic, bitis, saat, gun_id) VALUES "
                                             "(zil_okulum(), ?, ?, ?, ?, ?, ?)"));
            if (known)
                q.addBindValue(id);
            for (int i = 1; i < 6; ++i)
                q.addBindValue(e.value(i));
            // A special programme's entry names its programme by id.
            QVariant gun = e.value(6);
            if (e.value(1).toString() == QLatin1String("program"))
                gun = programmeId.value(gun.toLongLong(), gun.toLongLong());
            q.addBindValue(gun);
            if (!q.exec())
                return failed();
        }
        if (!uploadFiles(q, local, refusal, refused))
            return refusal.isEmpty() ? failed() : false;
        if (!db.commit())
            return failed();
        return true;
    }

    SharedSchedule *m_owner;
    SharedSettings m_settings;
    int m_checkMs;
    SharedMusic m_music;
    QSet<QString> m_told;
    QString m_name;
    QTimer *m_timer = nullptr;
    QTimer *m_noticeTimer = nullptr;
    QElapsedTimer m_lastLook;
    bool m_open = false;
    qint64 m_school = -1;
    qint64 m_fetched = -1;
};

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
