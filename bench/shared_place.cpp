// 300 school computers against one PostgreSQL server on this machine: each a connection of its own
// user that LISTENs for its school's changes and, told of one, reads the school's schedule as a
// joined computer does (bells, calendar, announcements, one-off bells and the sums of the music
// they name). A manager changes a bell 20 times: the time from the commit to each copy read, and to
// the last of the 300, p50 and p99. Then every computer sends 100 bell record lines in batches of
// 50: lines per second taken. The server's CPU time and memory are read from /proc. Figures are
// printed, never judged.
#include "PgServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include <unistd.h>

namespace {
constexpr int Computers = 300;
constexpr int Threads = 4;
constexpr int Rounds = 20;
constexpr int RecordsEach = 100;
constexpr int RecordBatch = 50;
const QString Database = QStringLiteral("zil");

QElapsedTimer since;
std::mutex figuresLock;
std::vector<qint64> copyNs;            // every copy's delay, all rounds
std::vector<std::vector<qint64>> last; // per round, each copy's finishing time
std::atomic<int> copiesDone{0};
std::atomic<qint64> changedAt{0};
std::atomic<int> changeRound{-1};

QString userName(int i) {
    return QStringLiteral("pc_%1").arg(i, 3, 10, QLatin1Char('0'));
}

// One thread's share of the computers.
class Computers_ : public QObject {
public:
    Computers_(const PgServer &server, int from, int to)
        : m_server(server)
        , m_from(from)
        , m_to(to) {}

    void open() {
        for (int i = m_from; i < m_to; ++i) {
            const QString name = userName(i);
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(m_server.socketFolder());
            db.setPort(m_server.port());
            db.setDatabaseName(Database);
            db.setUserName(name);
            db.setPassword(name);
            if (!db.open()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(name),
                             qPrintable(db.lastError().text()));
                continue;
            }
            QObject::connect(db.driver(), &QSqlDriver::notification, this,
                             [this, name](const QString &, QSqlDriver::NotificationSource,
                                          const QVariant &) { readCopy(name); });
            db.driver()->subscribeToNotification(QStringLiteral("zil_degisti"));
            m_names << name;
        }
    }

    // What a joined computer reads when told: the school's schedule in one snapshot.
    void readCopy(const QString &name) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.transaction();
        QSqlQuery q(db);
        q.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
        for (const char *sql :
             {"SELECT surum FROM surum", "SELECT program_id, ad FROM program",
              "SELECT zil_id, program_id, COALESCE(bina_id, 0), gun_id, ders_saati, baslama, "
              "muzik, sure FROM zil WHERE bina_id IS NULL OR bina_id = zil_binam()",
              "SELECT anahtar, deger FROM takvim_ayar",
              "SELECT kayit_id, tur, ad, baslangic, bitis, saat, gun_id FROM takvim_kayit",
              "SELECT anons_id, COALESCE(bina_id, 0), ad, metin, dosya, program_id, gun_id, "
              "tarih, saat, sure FROM anons WHERE bina_id IS NULL OR bina_id = zil_binam()",
              "SELECT kayit_id, COALESCE(bina_id, 0), tarih, ders_saati, baslama, muzik, sure "
              "FROM tek_seferlik WHERE bina_id IS NULL OR bina_id = zil_binam()",
              "SELECT ad, sha256, boyut FROM muzik"}) {
            q.exec(QString::fromLatin1(sql));
            while (q.next()) {
            }
        }
        db.commit();
        const qint64 now = since.nsecsElapsed();
        {
            const std::lock_guard lock(figuresLock);
            copyNs.push_back(now - changedAt.load());
            last[size_t(changeRound.load())].push_back(now - changedAt.load());
        }
        ++copiesDone;
    }

    // Each computer's record lines, in batches of one transaction each.
    void sendRecords() {
        for (const QString &name : std::as_const(m_names)) {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            for (int start = 0; start < RecordsEach; start += RecordBatch) {
                db.transaction();
                QSqlQuery q(db);
                q.prepare(QStringLiteral(
                    "INSERT INTO zil_kaydi (kayit_no, okul_id, tarih, zil_id, ders_saati, "
                    "baslama, muzik, sonuc, gecikme_ms, aciklama, yedek_ses, zaman) VALUES (?, "
                    "zil_okulum(), '2026-12-07', 1, '1. Ders', '08:30:00', 'ders.mp3', 'caldi', "
                    "12, NULL, false, ?) ON CONFLICT DO NOTHING"));
                for (int n = start; n < start + RecordBatch; ++n) {
                    q.bindValue(0, n + 1);
                    q.bindValue(
                        1,
                        QStringLiteral("2026-12-07T08:30:00.%1").arg(n, 3, 10, QLatin1Char('0')));
                    if (!q.exec())
                        std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
                }
                db.commit();
            }
        }
    }

    void close() {
        for (const QString &name : std::as_const(m_names)) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
    }

    int opened() const { return int(m_names.size()); }

private:
    const PgServer &m_server;
    int m_from;
    int m_to;
    QStringList m_names;
};

// The server's processes: the postmaster and its children.
QList<qint64> serverProcesses(qint64 postmaster) {
    QList<qint64> pids{postmaster};
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields.at(1).toLongLong() == postmaster)
            pids << pid;
    }
    return pids;
}

// CPU seconds (user + system) of the server's processes.
double serverCpu(qint64 postmaster) {
    double ticks = 0;
    for (qint64 pid : serverProcesses(postmaster)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 13)
            ticks += fields.at(11).toDouble() + fields.at(12).toDouble();
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// The server's memory: proportional set size, so shared buffers count once.
double serverPssMb(qint64 postmaster) {
    double kb = 0;
    for (qint64 pid : serverProcesses(postmaster)) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : rollup.readAll().split('\n'))
            if (line.startsWith("Pss:"))
                kb += line.simplified().split(' ').value(1).toDouble();
    }
    return kb / 1024;
}

qint64 percentile(std::vector<qint64> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    PgServer server;
    if (!server.start()) {
        std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(server.why()));
        return 1;
    }
    QString setup = QStringLiteral(
        "INSERT INTO okul (ad) VALUES ('Okul');\n"
        "INSERT INTO bina (okul_id, ad) VALUES (1, 'A'), (1, 'B');\n"
        "SELECT zil_bilgisayar_ekle('yonetici', 'yonetici', 1, NULL, true);\n"
        "INSERT INTO zil (okul_id, gun_id, ders_saati, baslama, muzik, sure) SELECT 1, g, "
        "n || '. Ders', make_time(8 + n, 0, 0)::text, 'ders.mp3', 10 FROM generate_series(0, 4) g, "
        "generate_series(1, 8) n;\n"
        // A school's week of announcements, a few one-off bells and the music they name.
        "INSERT INTO anons (okul_id, bina_id, ad, dosya, program_id, gun_id, saat) SELECT 1, "
        "NULLIF(n % 3, 0), 'Anons ' || n, 'Anonslar/anons' || n || '.wav', 0, n % 5, "
        "make_time(9 + n % 6, 30, 0)::text FROM generate_series(1, 10) n;\n"
        "INSERT INTO tek_seferlik (okul_id, tarih, ders_saati, baslama, muzik, sure) SELECT 1, "
        "'2026-12-1' || n, 'Tören ' || n, '11:00:00', 'toren.mp3', 60 FROM generate_series(1, "
        "5) n;\n"
        "INSERT INTO muzik (okul_id, ad, sha256, boyut, icerik) SELECT 1, f, "
        "encode(sha256(b), 'hex'), octet_length(b), b FROM (SELECT 'Anonslar/anons' || n || "
        "'.wav' AS f, convert_to(repeat('ses', 30000 + n), 'UTF8') AS b FROM "
        "generate_series(1, 10) n UNION ALL SELECT 'ders.mp3', convert_to(repeat('ders', 50000), "
        "'UTF8') UNION ALL SELECT 'toren.mp3', convert_to(repeat('toren', 50000), 'UTF8')) m;\n");
    for (int i = 0; i < Computers; ++i)
        setup += QStringLiteral("SELECT zil_bilgisayar_ekle('%1', '%1', 1, %2, false);\n")
                     .arg(userName(i))
                     .arg(1 + i % 2);
    if (!server.runSql(QStringLiteral("CREATE DATABASE zil")) ||
        !server.runFile(QStringLiteral(":/ortak.sql"), Database) ||
        !server.runSql(setup, Database)) {
        std::fprintf(stderr, "%s\n", qPrintable(server.why()));
        return 1;
    }
    const qint64 postmaster = server.pid();
    since.start();
    last.resize(Rounds);

    std::vector<std::unique_ptr<QThread>> threads;
    std::vector<Computers_ *> groups;
    for (int t = 0; t < Threads; ++t) {
        auto thread = std::make_unique<QThread>();
        auto *group =
            new Computers_(server, t * Computers / Threads, (t + 1) * Computers / Threads);
        group->moveToThread(thread.get());
        thread->start();
        QMetaObject::invokeMethod(
            group, [group] { group->open(); }, Qt::BlockingQueuedConnection);
        groups.push_back(group);
        threads.push_back(std::move(thread));
    }
    int opened = 0;
    for (Computers_ *g : groups)
        opened += g->opened();
    std::printf("computers connected and listening: %d\n", opened);
    std::printf("server memory with them connected (PSS): %.0f MB\n", serverPssMb(postmaster));

    QSqlDatabase manager = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "yonetici");
    manager.setHostName(server.socketFolder());
    manager.setPort(server.port());
    manager.setDatabaseName(Database);
    manager.setUserName(QStringLiteral("yonetici"));
    manager.setPassword(QStringLiteral("yonetici"));
    if (!manager.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(manager.lastError().text()));
        return 1;
    }
    const double cpuBefore = serverCpu(postmaster);
    QElapsedTimer changes;
    changes.start();
    for (int r = 0; r < Rounds; ++r) {
        copiesDone = 0;
        changeRound = r;
        QSqlQuery q(manager);
        manager.transaction();
        q.exec(QStringLiteral("UPDATE zil SET sure = sure + 1 WHERE zil_id = 1"));
        changedAt = since.nsecsElapsed();
        manager.commit();
        QElapsedTimer wait;
        wait.start();
        while (copiesDone.load() < opened && wait.elapsed() < 60000)
            QThread::msleep(1);
        QThread::msleep(200); // the server at rest between changes
    }
    const double changeSeconds = changes.elapsed() / 1000.0;
    const double cpuChanges = serverCpu(postmaster) - cpuBefore;

    std::vector<qint64> lastCopy;
    for (const auto &r : last)
        if (!r.empty())
            lastCopy.push_back(*std::max_element(r.begin(), r.end()));
    std::printf("change to each copy read: p50 %.1f ms, p99 %.1f ms (%zu copies)\n",
                percentile(copyNs, 0.5) / 1e6, percentile(copyNs, 0.99) / 1e6, copyNs.size());
    std::printf("change to the last of %d copies read: p50 %.1f ms, p99 %.1f ms (%d changes)\n",
                opened, percentile(lastCopy, 0.5) / 1e6, percentile(lastCopy, 0.99) / 1e6, Rounds);
    std::printf("server CPU over the %d changes: %.2f s in %.1f s\n", Rounds, cpuChanges,
                changeSeconds);

    const double cpuRecords = serverCpu(postmaster);
    QElapsedTimer records;
    records.start();
    for (Computers_ *g : groups)
        QMetaObject::invokeMethod(
            g, [g] { g->sendRecords(); }, Qt::QueuedConnection);
    // Each thread sends its share; done when the server holds every line.
    const int expected = opened * RecordsEach;
    QSqlQuery count(manager);
    int held = 0;
    while (held < expected && records.elapsed() < 600000) {
        QThread::msleep(20);
        if (count.exec(QStringLiteral("SELECT count(*) FROM zil_kaydi")) && count.next())
            held = count.value(0).toInt();
    }
    const double recordSeconds = records.elapsed() / 1000.0;
    std::printf("record lines taken: %d in %.2f s, %.0f lines/s (batches of %d)\n", held,
                recordSeconds, held / recordSeconds, RecordBatch);
    std::printf("server CPU while taking them: %.2f s\n", serverCpu(postmaster) - cpuRecords);
    std::printf("server memory at the end (PSS): %.0f MB\n", serverPssMb(postmaster));

    for (size_t t = 0; t < groups.size(); ++t) {
        Computers_ *g = groups[t];
        QMetaObject::invokeMethod(
            g, [g] { g->close(); }, Qt::BlockingQueuedConnection);
        threads[t]->quit();
        threads[t]->wait();
        delete g;
    }
    manager.close();
    return 0;
}
