#include "SharedLink.h"

#include "SharedRows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

using namespace SharedRows;

namespace {
// A computer looks at its school's version at most this often however many notices arrive.
constexpr qint64 NoticeGapMs = 1000;
} // namespace

SharedLink::SharedLink(SharedSchedule *owner, const SharedSettings &settings, int checkMs,
                       const QString &musicFolder)
    : m_owner(owner)
    , m_settings(settings)
    , m_checkMs(checkMs)
    , m_music(musicFolder)
    , m_name(QStringLiteral("ortak-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

void SharedLink::begin() {
    m_timer = new QTimer(this);
    m_timer->setInterval(m_checkMs);
    connect(m_timer, &QTimer::timeout, this, [this] { check(); });
    m_timer->start();
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    connect(m_noticeTimer, &QTimer::timeout, this, [this] { check(); });
    check();
}

void SharedLink::finish() {
    if (m_timer)
        m_timer->stop();
    if (m_noticeTimer)
        m_noticeTimer->stop();
    close();
}

void SharedLink::sendRecords(const QList<QVariantList> &rows, const QString &source) {
    qint64 last = -1;
    QString why;
    if (m_open)
        last = insertRecords(rows, source, why);
    if (last < 0 && !rows.isEmpty())
        lost(why.isEmpty() ? QStringLiteral("bağlantı yok") : why);
    post([o = m_owner, last] { o->onSent(last); });
}

qint64 SharedLink::insertRecords(const QList<QVariantList> &rows, const QString &source,
                                 QString &why) {
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

void SharedLink::publish(const SharedContent &local, const SharedContent &base) {
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

void SharedLink::close() {
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

void SharedLink::lost(const QString &why) {
    close();
    post([o = m_owner, host = m_settings.host, why] {
        o->onReachable(false, unreachable(host, why));
    });
}

bool SharedLink::connectNow() {
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

QString SharedLink::open(QString &school, QString &building, qint64 &buildingId, bool &manager) {
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
                   : QStringLiteral("«%1» kullanıcısı ortak programda hiçbir okula bağlı değil.")
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
    else if (!m_settings.building.trimmed().isEmpty() && m_settings.building.trimmed() != building)
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

void SharedLink::noticed() {
    if (!m_lastLook.isValid() || m_lastLook.hasExpired(NoticeGapMs))
        check();
    else if (!m_noticeTimer->isActive())
        m_noticeTimer->start(int(NoticeGapMs - m_lastLook.elapsed()));
}

void SharedLink::check() {
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

void SharedLink::fetch() {
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

bool SharedLink::read(SharedContent &c, QString &why) {
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

void SharedLink::tell(const QString &message) {
    post([o = m_owner, message] { o->tell(message); });
}

void SharedLink::tellOnce(const QString &message) {
    if (!m_told.contains(message)) {
        m_told.insert(message);
        tell(message);
    }
}

bool SharedLink::fetchFiles(QSqlQuery &q, const SharedContent &c, bool &written) {
    for (const QVariantList &file : c.files) {
        const QString name = file.value(0).toString();
        const QString sum = file.value(1).toString();
        // The server's rows are not trusted with paths: a name must stay inside Muzikler.
        if (!SharedMusic::safeName(name)) {
            tellOnce(QStringLiteral("Ortak programdaki «%1» dosya adı Muzikler klasörünün dışını "
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
        q.prepare(
            QStringLiteral("SELECT icerik FROM muzik WHERE ad = ? AND octet_length(icerik) <= ?"));
        q.addBindValue(name);
        q.addBindValue(SharedMusic::MaxBytes);
        if (!q.exec())
            return false;
        const QByteArray bytes = q.next() ? q.value(0).toByteArray() : QByteArray();
        q.finish();
        if (SharedMusic::sumOf(bytes) != sum) {
            tellOnce(QStringLiteral("Ortak programdaki «%1» dosyası alınamadı: içeriği bildirilen "
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

bool SharedLink::uploadFiles(QSqlQuery &q, const SharedContent &local, QString &refusal,
                             bool &refused) {
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
            refusal =
                refused ? QStringLiteral("«%1» ortak programa gönderilemedi: bir müzik dosyası en "
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

bool SharedLink::replaceBuildingRows(QSqlQuery &q, const QString &table, const QString &idColumn,
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
        q.addBindValue(building == 0 ? QVariant(QMetaType(QMetaType::Int)) : QVariant(building));
        for (int i = 2; i < row.size(); ++i)
            q.addBindValue(row.at(i));
        if (!q.exec())
            return false;
    }
    return true;
}

bool SharedLink::writeSchedule(QSqlDatabase &db, const SharedContent &local,
                               const SharedContent &base, QString &refusal, bool &refused) {
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
