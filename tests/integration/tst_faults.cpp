// Faults met by the whole program: the real windows wired as at start-up, the real schedule file
// and the real player on GStreamer, playing into a sink that needs no sound card. For each fault
// the user gets a message, the window stays usable, the other bells ring and nothing is lost.

#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "SimulatedClock.h"
#include "ui_AnaSayfa.h"
#include "ui_Duzenleme.h"

#include "BellClock.h"
#include "Clock.h"
#include "Duzenleme.h"
#include "Hakkinda.h"
#include "MPlayer.h"
#include "MediaPlayerDevice.h"
#include "ProgramValues.h"
#include "PulseServer.h"
#include "ScheduleFixture.h"
#include "Startup.h"
#include "TestMedia.h"
#include "WholeNumberEdit.h"
#include "ZilApplication.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <gst/gst.h>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Monday 7 December 2026.
const QDate Pazartesi(2026, 12, 7);

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

// The schedule's rows as a separate reader sees them; never makes a file.
QList<QVariantList> scheduleRows(const QString &file) {
    static int n = 0;
    const QString name = QStringLiteral("kontrol-%1").arg(++n);
    QList<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT KayitID,GunID,DersSaati,DersBaslama,Muzik,"
                                               "Sure FROM Dersler ORDER BY KayitID"))) {
            while (q.next())
                rows.append(
                    {q.value(0), q.value(1), q.value(2), q.value(3), q.value(4), q.value(5)});
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// Every file of a folder with its content, so a test can tell that nothing was lost or changed.
QMap<QString, QByteArray> contents(const QString &folder) {
    QMap<QString, QByteArray> files;
    const auto names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        files.insert(name, readAll(folder + QLatin1Char('/') + name));
    return files;
}

// The immutable attribute, the one write protection that binds root too. Lifted again when the
// guard goes, so the temporary folder can be removed.
class Immutable {
public:
    explicit Immutable(QString path)
        : m_path(std::move(path)) {
        m_set = change(true);
    }
    ~Immutable() { lift(); }
    Immutable(const Immutable &) = delete;
    Immutable &operator=(const Immutable &) = delete;
    bool isSet() const { return m_set; }
    void lift() {
        if (m_set)
            m_set = !change(false);
    }

private:
    bool change(bool on) {
        const int fd =
            ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }
    QString m_path;
    bool m_set = false;
};

// A smaller largest file size for this process stands in for a disk that fills up during a
// write: the write that passes it fails with EFBIG instead of ENOSPC, half-way through, as a full
// disk does. Restored when the guard goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_ok = m_ok && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isSet() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// Another program on the same schedule file, holding whatever its statements leave locked.
class OtherProgram {
public:
    explicit OtherProgram(const QString &file) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(file);
        db.open();
        m_query = std::make_unique<QSqlQuery>(db);
    }
    ~OtherProgram() {
        m_query.reset();
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    OtherProgram(const OtherProgram &) = delete;
    OtherProgram &operator=(const OtherProgram &) = delete;

    // A query's first row is read and the statement kept, so its read lock stays.
    bool exec(const QString &sql) {
        const bool ok = m_query->exec(sql);
        error = m_query->lastError().text();
        if (ok && m_query->isSelect())
            m_query->next();
        return ok;
    }
    QString error;

private:
    const QString m_name = QStringLiteral("baska-program");
    std::unique_ptr<QSqlQuery> m_query;
};

} // namespace

// The program in a temporary folder on Monday morning: main window, editor and about window
// wired as at start-up, the real schedule file and GStreamer playing into a silent sink.
class School {
public:
    explicit School(const QString &sink = QStringLiteral("fakesink sync=true")) {
        setProgramFolder(fx.folder());
        setProgramClock(&clock);
        // "%1" in the description stands for the program folder.
        setAudioSinkDescription(QString(sink).replace(QStringLiteral("%1"), fx.folder()));
        clock.at = QDateTime(Pazartesi, QTime(7, 59, 50));
        QDir().mkpath(muzikler());
    }
    ~School() {
        program.reset();
        // Boxes that do not stop the program outlive it; the next test starts without them.
        for (QWidget *window : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox *>(window))
                delete window;
        setAudioSinkDescription({});
        setProgramClock(nullptr);
        setProgramFolder({});
    }

    void start() {
        program = std::make_unique<Program>([] { return false; });
        menu = &program->menu();
        editor = &program->editor();
        editor->ChooseMusicFile = [this] { return chosenFile; };
        menu->show();
    }

    QString databaseFile() const { return fx.databaseFile(); }
    QList<QVariantList> rows() const { return scheduleRows(fx.databaseFile()); }
    QString muzikler() const { return fx.folder() + QStringLiteral("Muzikler"); }
    LayerBellPlayer &player() { return program->bells().bellPlayer(); }
    Ui::TfrmDuzenleme &editorUi() { return *editor->ui; }

    void tickAt(const QTime &time) {
        clock.at = QDateTime(Pazartesi, time);
        program->clock().TimerTimer();
    }
    // The music the player is playing now, or an empty text.
    QString playing() {
        if (!player().playing())
            return {};
        return QFileInfo(player().file()).fileName();
    }

    // The user's way to a new bell: "Yeni Kayıt", the fields, "..." with the file, "Kaydet".
    void newBell(const QString &name, const QTime &start, const QString &source, bool copies) {
        menu->btnYeniKayitClick();
        auto &ui = editorUi();
        ui.txtDers->setText(name);
        ui.dtpBaslamaSaati->setTime(start);
        ui.txtSure->setText(QStringLiteral("30"));
        ui.cbDigerlereUygula->setChecked(copies);
        chosenFile = source;
        QTest::mouseClick(ui.btnDosyaAc, Qt::LeftButton);
    }
    void clickSave() { QTest::mouseClick(editorUi().btnYeniKayit, Qt::LeftButton); }

    ScheduleFixture fx;
    SimulatedClock clock;
    BoxAnswerer boxes;
    QString chosenFile;
    std::unique_ptr<Program> program;
    TfrmMenu *menu = nullptr;
    TfrmDuzenleme *editor = nullptr;
};

class TestFaults : public QObject {
    Q_OBJECT

    QTemporaryDir sources;
    QString source(const QString &name) const { return sources.filePath(name); }

    // Monday's two bells five seconds apart, a Tuesday bell, and their music in Muzikler.
    static void arrangeDay(School &p) {
        p.fx.insert(0, QStringLiteral("1. Ders"), QStringLiteral("08:00:00"),
                    QStringLiteral("zil.wav"), 30);
        p.fx.insert(0, QStringLiteral("2. Ders"), QStringLiteral("08:00:05"),
                    QStringLiteral("ikinci.wav"), 30);
        p.fx.insert(1, QStringLiteral("Salı"), QStringLiteral("08:00:00"),
                    QStringLiteral("zil.wav"), 30);
    }
    void addMusic(School &p, const QString &name) const {
        QVERIFY(QFile::copy(source(name), p.muzikler() + QLatin1Char('/') + name));
    }

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        QVERIFY(sources.isValid());
        const auto wav = [this](const QString &name, int ms, int frequency) {
            return makeMediaFile(
                toneSource(ms, QStringLiteral("freq=%1").arg(frequency)) +
                QStringLiteral("wavenc ! filesink location=\"%1\"").arg(source(name)));
        };
        QVERIFY(wav(QStringLiteral("zil.wav"), 3000, 440));
        QVERIFY(wav(QStringLiteral("ikinci.wav"), 3000, 660));
        QVERIFY(wav(QStringLiteral("yeni.wav"), 3000, 880));
        // About 1.3 MB: far more than the size limit that stands in for a full disk.
        QVERIFY(wav(QStringLiteral("uzun.wav"), 15000, 550));
        QVERIFY(makeMediaFile(toneSource(3000) +
                              QStringLiteral("lamemp3enc target=bitrate cbr=true "
                                             "bitrate=128 ! filesink location=\"%1\"")
                                  .arg(source(QStringLiteral("zil.mp3")))));
    }

    // --- The schedule file ----------------------------------------------------------------------

    void databaseMissing() {
        School p;
        arrangeDay(p);
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        const QByteArray schedule = readAll(p.databaseFile());
        const auto rows = p.rows();
        QVERIFY(QFile::remove(p.databaseFile()));

        p.start();
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY2(p.boxes.texts.at(0).contains(QStringLiteral("database.mdb açılamadı")),
                 qPrintable(p.boxes.texts.at(0)));
        QVERIFY(p.menu->isVisible());

        // The clock keeps trying without a box every second, and no empty schedule is made.
        for (int s = 0; s <= 3; ++s)
            p.tickAt(QTime(8, 0, s));
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY(p.playing().isEmpty());
        QVERIFY(!QFileInfo::exists(p.databaseFile()));

        // A new bell cannot be saved: said so, the editor keeps what was typed.
        p.newBell(QStringLiteral("Öğle"), QTime(8, 0, 10), source(QStringLiteral("yeni.wav")),
                  false);
        QCOMPARE(p.editorUi().txtMuzik->text(), QStringLiteral("yeni.wav"));
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 2);
        QVERIFY2(p.boxes.texts.at(1).contains(QStringLiteral("database.mdb açılamadı")),
                 qPrintable(p.boxes.texts.at(1)));
        QVERIFY(p.editor->isVisible());
        QCOMPARE(p.editorUi().txtDers->text(), QStringLiteral("Öğle"));
        QVERIFY(!QFileInfo::exists(p.databaseFile()));

        // The file comes back: the next bell rings and the same save goes through.
        writeAll(p.databaseFile(), schedule);
        p.tickAt(QTime(8, 0, 5));
        QCOMPARE(p.playing(), QStringLiteral("ikinci.wav"));
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 2);
        QVERIFY(p.editor->isHidden());
        const auto after = p.rows();
        QCOMPARE(after.mid(0, rows.size()), rows);
        QCOMPARE(after.size(), rows.size() + 1);
        QCOMPARE(p.menu->controls().ListView1->topLevelItemCount(), 3);
        p.tickAt(QTime(8, 0, 10));
        QCOMPARE(p.playing(), QStringLiteral("yeni.wav"));
        QTRY_COMPARE(p.boxes.texts.size(), 2);
    }

    void databaseReadOnly() {
        School p;
        arrangeDay(p);
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        const auto rows = p.rows();
        const QByteArray schedule = readAll(p.databaseFile());
        Immutable guard(p.databaseFile());
        if (!guard.isSet())
            QSKIP("this file system or user cannot make a file immutable, and file modes do not "
                  "bind root");

        p.start();
        QCOMPARE(p.boxes.texts, QStringList());
        QCOMPARE(p.menu->controls().ListView1->topLevelItemCount(), 2);
        p.tickAt(QTime(8, 0, 0));
        QCOMPARE(p.playing(), QStringLiteral("zil.wav"));
        // The bell rang; that its record could not be kept is said once, without stopping.
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY2(p.boxes.texts.at(0).startsWith(QStringLiteral("Zil geçmişi yazılamadı")),
                 qPrintable(p.boxes.texts.at(0)));

        p.newBell(QStringLiteral("Öğle"), QTime(8, 0, 10), source(QStringLiteral("yeni.wav")),
                  true);
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 2);
        QVERIFY2(p.boxes.texts.at(1).contains(QStringLiteral("veritabanı dosyası salt okunur")),
                 qPrintable(p.boxes.texts.at(1)));
        QVERIFY(p.editor->isVisible());

        auto &list = *p.menu->controls().ListView1;
        list.setCurrentItem(list.topLevelItem(0));
        p.boxes.answer = QStringLiteral("&Yes");
        p.menu->btnSilClick();
        p.boxes.answer = QStringLiteral("OK");
        QTRY_COMPARE(p.boxes.texts.size(), 4);
        QCOMPARE(p.boxes.texts.at(3), QStringLiteral("Kayıt Silinemedi!"));
        QCOMPARE(list.topLevelItemCount(), 2);

        p.tickAt(QTime(8, 0, 5));
        QCOMPARE(p.playing(), QStringLiteral("ikinci.wav"));
        QCOMPARE(readAll(p.databaseFile()), schedule);

        // Write protection lifted: the same save goes through without a restart.
        guard.lift();
        QVERIFY(!guard.isSet());
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 4);
        QVERIFY(p.editor->isHidden());
        const auto after = p.rows();
        QCOMPARE(after.mid(0, rows.size()), rows);
        QCOMPARE(after.size(), rows.size() + 5);
    }

    void databaseLockedDuringSave_data() {
        QTest::addColumn<QString>("hold");
        // Another program writing: the save's first row waits in vain.
        QTest::newRow("writer") << "BEGIN IMMEDIATE";
        // Another program reading: every row goes in, then the commit waits in vain.
        QTest::newRow("reader") << "BEGIN";
    }
    void databaseLockedDuringSave() {
        QFETCH(QString, hold);
        School p;
        arrangeDay(p);
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        const auto rows = p.rows();
        p.start();

        auto other = std::make_unique<OtherProgram>(p.databaseFile());
        QVERIFY2(other->exec(hold), qPrintable(other->error));
        if (hold == QLatin1String("BEGIN IMMEDIATE"))
            QVERIFY(other->exec(QStringLiteral("INSERT INTO Dersler (GunID,DersSaati,DersBaslama,"
                                               "Muzik,Sure) VALUES(2,'yarım','09:00:00','x',1)")));
        else
            QVERIFY(other->exec(QStringLiteral("SELECT count(*) FROM Dersler")));

        p.newBell(QStringLiteral("Öğle"), QTime(8, 0, 10), source(QStringLiteral("yeni.wav")),
                  true);
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY2(p.boxes.texts.at(0).contains(QStringLiteral("başka bir program")),
                 qPrintable(p.boxes.texts.at(0)));
        QVERIFY(p.editor->isVisible());
        QCOMPARE(p.editorUi().txtDers->text(), QStringLiteral("Öğle"));
        QCOMPARE(p.rows(), rows);
        // The bells are read meanwhile.
        p.tickAt(QTime(8, 0, 0));
        QCOMPARE(p.playing(), QStringLiteral("zil.wav"));

        // The other program ends without writing.
        QVERIFY(other->exec(QStringLiteral("ROLLBACK")));
        other.reset();

        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY(p.editor->isHidden());
        const auto after = p.rows();
        QCOMPARE(after.mid(0, rows.size()), rows);
        QCOMPARE(after.size(), rows.size() + 5);
        QCOMPARE(p.menu->controls().ListView1->topLevelItemCount(), 3);
        p.tickAt(QTime(8, 0, 5));
        QCOMPARE(p.playing(), QStringLiteral("ikinci.wav"));
        p.tickAt(QTime(8, 0, 10));
        QCOMPARE(p.playing(), QStringLiteral("yeni.wav"));
        QTRY_COMPARE(p.boxes.texts.size(), 1);
    }

    void databaseCorrupt() {
        School p;
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        for (int i = 0; i < 150; ++i)
            p.fx.insert(2, QStringLiteral("Dolgu %1 ").arg(i) + QString(200, u'x'),
                        QStringLiteral("09:00:00"), QStringLiteral("zil.wav"), 30);
        arrangeDay(p);
        const QByteArray backup = readAll(p.databaseFile());
        QByteArray bytes = backup;
        QVERIFY(bytes.size() > 8 * 4096);
        // Garbage over three pages behind the file's header page.
        for (qsizetype i = 2 * 4096; i < 5 * 4096; ++i)
            bytes[i] = char(0xA5 ^ (i * 7));
        writeAll(p.databaseFile(), bytes);
        const auto files = contents(p.muzikler());

        const QString broken = QStringLiteral("veritabanı dosyası bozuk");
        p.start();
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY2(p.boxes.texts.at(0).contains(broken), qPrintable(p.boxes.texts.at(0)));
        QVERIFY(p.menu->isVisible());
        for (int s = 0; s <= 3; ++s)
            p.tickAt(QTime(8, 0, s));
        QTRY_COMPARE(p.boxes.texts.size(), 1);

        p.newBell(QStringLiteral("Öğle"), QTime(8, 0, 10), source(QStringLiteral("yeni.wav")),
                  true);
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 2);
        QVERIFY2(p.boxes.texts.at(1).contains(broken), qPrintable(p.boxes.texts.at(1)));
        QVERIFY(p.editor->isVisible());
        // Nothing written over the damaged file, nothing left half-done beside it.
        QCOMPARE(readAll(p.databaseFile()), bytes);
        QVERIFY(!QFileInfo::exists(p.databaseFile() + QStringLiteral("-journal")));

        // The backup put back: the next bell rings and the save goes through, no restart.
        writeAll(p.databaseFile(), backup);
        p.tickAt(QTime(8, 0, 5));
        QCOMPARE(p.playing(), QStringLiteral("ikinci.wav"));
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 2);
        QCOMPARE(p.rows().size(), 150 + 3 + 5);
        QCOMPARE(contents(p.muzikler()).size(), files.size() + 1);
    }

    void notADatabase_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QString notSchedule = QStringLiteral("database.mdb bir zil veritabanı değil: dosya "
                                                   "bir veritabanı değil");
        // The format of the program's first versions.
        QTest::newRow("Jet") << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) +
                                    QByteArray(2048, '\x11')
                             << notSchedule;
        QTest::newRow("text") << QByteArray("Pazartesi 08:00 zil.wav\n") << notSchedule;
        // A database, but not the schedule's.
        QTest::newRow("SQLite without Dersler")
            << QByteArray() << QStringLiteral("database.mdb bir zil veritabanı değil: dosyada zil");
    }
    void notADatabase() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        School p;
        addMusic(p, QStringLiteral("zil.wav"));
        if (content.isEmpty()) {
            p.fx.exec(QStringLiteral("DROP TABLE Dersler"));
            p.fx.exec(QStringLiteral("CREATE TABLE Baska (x INTEGER)"));
            content = readAll(p.databaseFile());
        } else {
            writeAll(p.databaseFile(), content);
        }
        const auto files = contents(p.muzikler());

        p.start();
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY2(p.boxes.texts.at(0).contains(message), qPrintable(p.boxes.texts.at(0)));
        QVERIFY(p.menu->isVisible());
        // Reported once, not at every tick.
        for (int s = 0; s <= 5; ++s)
            p.tickAt(QTime(8, 0, s));
        QTRY_COMPARE(p.boxes.texts.size(), 1);

        p.newBell(QStringLiteral("Öğle"), QTime(8, 0, 10), source(QStringLiteral("yeni.wav")),
                  true);
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 2);
        QVERIFY2(p.boxes.texts.at(1).contains(message), qPrintable(p.boxes.texts.at(1)));
        QVERIFY(p.editor->isVisible());
        // The file is left as it was for whoever repairs it; the music that was imported stays.
        QCOMPARE(readAll(p.databaseFile()), content);
        QCOMPARE(contents(p.muzikler()).size(), files.size() + 1);
        QCOMPARE(contents(p.muzikler()).value(QStringLiteral("zil.wav")),
                 files.value(QStringLiteral("zil.wav")));
    }

    // --- Music ------------------------------------------------------------------------------

    void badMusicFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("rings");
        const QByteArray wav = readAll(source(QStringLiteral("zil.wav")));
        const QByteArray mp3 = readAll(source(QStringLiteral("zil.mp3")));
        QTest::newRow("missing") << "yok.wav" << QByteArray() << false;
        QTest::newRow("empty") << "bos.wav" << QByteArray("") << false;
        QTest::newRow("wav header only") << "baslik.wav" << wav.left(44) << false;
        QTest::newRow("wav cut short") << "yarim.wav" << wav.left(wav.size() / 3) << true;
        QTest::newRow("mp3 cut short") << "yarim.mp3" << mp3.left(mp3.size() / 3) << true;
        QTest::newRow("mp3 first bytes") << "kirik.mp3" << mp3.left(100) << false;
        QTest::newRow("text") << "metin.mp3" << QByteArray("Bu bir müzik değil.\n") << false;
        QTest::newRow("folder") << "klasor.wav" << QByteArray() << false;
    }
    void badMusicFile() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, rings);
        School p;
        p.fx.insert(0, QStringLiteral("1. Ders"), QStringLiteral("08:00:00"),
                    QStringLiteral("zil.wav"), 30);
        p.fx.insert(0, QStringLiteral("Bozuk"), QStringLiteral("08:00:02"), name, 30);
        p.fx.insert(0, QStringLiteral("2. Ders"), QStringLiteral("08:00:04"),
                    QStringLiteral("ikinci.wav"), 30);
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        const QString path = p.muzikler() + QLatin1Char('/') + name;
        if (QTest::currentDataTag() == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        else if (QTest::currentDataTag() != QLatin1String("missing"))
            writeAll(path, content);
        const auto rows = p.rows();
        const auto files = contents(p.muzikler());
        p.start();
        QCOMPARE(p.boxes.texts, QStringList());

        p.tickAt(QTime(8, 0, 0));
        QCOMPARE(p.playing(), QStringLiteral("zil.wav"));
        p.tickAt(QTime(8, 0, 1));
        p.tickAt(QTime(8, 0, 2));
        if (rings) {
            QCOMPARE(p.playing(), name);
            QCOMPARE(p.boxes.texts, QStringList());
        } else {
            // Found by the morning's check of the day's music, and told again at its bell.
            QTRY_COMPARE(p.boxes.texts.size(), 2);
            QStringList shown = p.boxes.texts; // boxes that stay open are answered in any order
            shown.sort();
            QVERIFY2(shown.at(0).startsWith(QStringLiteral("Bugünün zillerinden")) &&
                         shown.at(0).contains(QStringLiteral("- %1: ").arg(name)),
                     qPrintable(shown.at(0)));
            const QString failed = QStringLiteral("Zil müziği \"%1\" çalınamadı").arg(name);
            QVERIFY2(shown.at(1).startsWith(failed), qPrintable(shown.at(1)));
            // The program's own tone rings in its place, and the record says so.
            QTRY_COMPARE(p.playing(), QStringLiteral("zil-tonu-30.wav"));
            // Its line is written once the tone is heard.
            QList<BellOutcome> outcomes;
            bool tone = false;
            QTRY_VERIFY([&] {
                outcomes.clear();
                for (const BellEvent &e : p.program->store().history(Pazartesi, Pazartesi)) {
                    if (e.music == name) {
                        outcomes.append(e.outcome);
                        tone = tone || e.fallbackTone;
                    }
                }
                return outcomes.contains(BellOutcome::Failed);
            }());
            QVERIFY(outcomes.contains(BellOutcome::Warning));
            QVERIFY(tone);
        }
        p.tickAt(QTime(8, 0, 3));
        p.tickAt(QTime(8, 0, 4));
        QCOMPARE(p.playing(), QStringLiteral("ikinci.wav"));
        p.tickAt(QTime(8, 0, 5));
        QTest::qWait(50);
        QTRY_COMPARE(p.boxes.texts.size(), rings ? 0 : 2);
        QCOMPARE(p.rows(), rows);
        QCOMPARE(contents(p.muzikler()), files);
    }
    // --- The music folder ------------------------------------------------------------------

    void musicFolderMissing() {
        School p;
        arrangeDay(p);
        QVERIFY(QDir(p.muzikler()).removeRecursively());
        const auto rows = p.rows();
        p.start();
        for (int s = 0; s <= 6; ++s)
            p.tickAt(QTime(8, 0, s));
        // Each bell says so once.
        QTRY_COMPARE(p.boxes.texts.size(), 3);
        QStringList shown = p.boxes.texts; // boxes that stay open are answered in any order
        shown.sort();
        QVERIFY2(shown.at(0).contains(QStringLiteral("- ikinci.wav: dosya bulunamadı\n- "
                                                     "zil.wav: dosya bulunamadı")),
                 qPrintable(shown.at(0)));
        QVERIFY2(shown.at(2).startsWith(QStringLiteral("Zil müziği \"zil.wav\" çalınamadı")),
                 qPrintable(shown.at(2)));
        QVERIFY(shown.at(1).startsWith(QStringLiteral("Zil müziği \"ikinci.wav\"")));

        // The next import makes the folder again, and its bell rings.
        p.newBell(QStringLiteral("Öğle"), QTime(8, 0, 10), source(QStringLiteral("yeni.wav")),
                  false);
        QCOMPARE(readAll(p.muzikler() + QStringLiteral("/yeni.wav")),
                 readAll(source(QStringLiteral("yeni.wav"))));
        p.clickSave();
        QVERIFY(p.editor->isHidden());
        const auto after = p.rows();
        QCOMPARE(after.mid(0, rows.size()), rows);
        QCOMPARE(after.size(), rows.size() + 1);
        p.tickAt(QTime(8, 0, 10));
        QCOMPARE(p.playing(), QStringLiteral("yeni.wav"));
        QTRY_COMPARE(p.boxes.texts.size(), 3);
    }

    void musicFolderReadOnly() {
        School p;
        arrangeDay(p);
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        const auto rows = p.rows();
        const auto files = contents(p.muzikler());
        Immutable guard(p.muzikler());
        if (!guard.isSet())
            QSKIP("this file system or user cannot make a folder immutable, and file modes do "
                  "not bind root");
        p.start();
        p.tickAt(QTime(8, 0, 0));
        QCOMPARE(p.playing(), QStringLiteral("zil.wav"));

        p.newBell(QStringLiteral("Öğle"), QTime(8, 0, 10), source(QStringLiteral("yeni.wav")),
                  false);
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY2(p.boxes.texts.at(0).contains(QStringLiteral("Muzikler klasörüne kopyalanamadı")),
                 qPrintable(p.boxes.texts.at(0)));
        QVERIFY(p.editorUi().txtMuzik->text().isEmpty());
        QVERIFY(p.editor->isVisible());
        p.tickAt(QTime(8, 0, 5));
        QCOMPARE(p.playing(), QStringLiteral("ikinci.wav"));

        // Music already in the folder can still be chosen, and the bell is saved.
        p.chosenFile = source(QStringLiteral("ikinci.wav"));
        QTest::mouseClick(p.editorUi().btnDosyaAc, Qt::LeftButton);
        QCOMPARE(p.editorUi().txtMuzik->text(), QStringLiteral("ikinci.wav"));
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QCOMPARE(p.rows().size(), rows.size() + 1);
        QCOMPARE(contents(p.muzikler()), files);
    }

    void diskFullDuringImport() {
        School p;
        arrangeDay(p);
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        const auto rows = p.rows();
        const auto files = contents(p.muzikler());
        const QString big = source(QStringLiteral("uzun.wav"));
        QVERIFY(QFileInfo(big).size() > 1024 * 1024);
        p.start();
        p.menu->btnYeniKayitClick();
        p.editorUi().txtDers->setText(QStringLiteral("Öğle"));
        p.editorUi().dtpBaslamaSaati->setTime(QTime(8, 0, 10));
        p.editorUi().cbDigerlereUygula->setChecked(false);
        {
            FileSizeLimit full(256 * 1024);
            if (!full.isSet())
                QSKIP("the file size limit cannot be lowered here");
            p.chosenFile = big;
            QTest::mouseClick(p.editorUi().btnDosyaAc, Qt::LeftButton);
        }
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QVERIFY2(p.boxes.texts.at(0).contains(QStringLiteral("disk dolu")),
                 qPrintable(p.boxes.texts.at(0)));
        QVERIFY(p.editorUi().txtMuzik->text().isEmpty());
        // No half copy that a later import or a bell would take for the music.
        QCOMPARE(contents(p.muzikler()), files);
        p.tickAt(QTime(8, 0, 0));
        QCOMPARE(p.playing(), QStringLiteral("zil.wav"));

        // Room again: the same import copies the whole file.
        QTest::mouseClick(p.editorUi().btnDosyaAc, Qt::LeftButton);
        QCOMPARE(p.editorUi().txtMuzik->text(), QStringLiteral("uzun.wav"));
        QCOMPARE(readAll(p.muzikler() + QStringLiteral("/uzun.wav")), readAll(big));
        p.clickSave();
        QTRY_COMPARE(p.boxes.texts.size(), 1);
        QCOMPARE(p.rows().size(), rows.size() + 1);
        p.tickAt(QTime(8, 0, 10));
        QCOMPARE(p.playing(), QStringLiteral("uzun.wav"));
    }

    // --- The audio output -------------------------------------------------------------------

    void noAudioOutput_data() {
        QTest::addColumn<QString>("sink");
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("comesBack");
        // A sound card that is not there.
        QTest::newRow("sound card") << "osssink device=%1yok/dsp"
                                    << "osssink"
                                    << "Could not open audio device" << false;
        // No sound server and no sound card: autoaudiosink falls back to its fake sink.
        QTest::newRow("no server") << "autoaudiosink"
                                   << "autoaudiosink"
                                   << "ses çıkışı yok" << false;
        // An output that cannot start until its folder is made.
        QTest::newRow("output comes back") << "filesink location=%1cikis/ses.raw"
                                           << "filesink"
                                           << "Could not open file" << true;
    }
    void noAudioOutput() {
        QFETCH(QString, sink);
        QFETCH(QString, element);
        QFETCH(QString, text);
        QFETCH(bool, comesBack);
        GstElementFactory *factory = gst_element_factory_find(element.toUtf8().constData());
        if (!factory)
            QSKIP("this GStreamer has no such output element");
        gst_object_unref(factory);

        PulseServer nobody; // never started
        nobody.useInThisProcess();
        School p(sink);
        arrangeDay(p);
        addMusic(p, QStringLiteral("zil.wav"));
        addMusic(p, QStringLiteral("ikinci.wav"));
        const auto rows = p.rows();
        const auto files = contents(p.muzikler());
        p.start();
        // The start-up check's word on the output comes on its own.
        const QString startUp = QStringLiteral("Bugünün zilleri duyulmayacak: ses çıkışı yok");
        const auto bellBoxes = [&] {
            QStringList texts = p.boxes.texts;
            texts.removeIf([&](const QString &t) { return t.startsWith(startUp); });
            return texts;
        };
        for (int s = 0; s <= 4; ++s)
            p.tickAt(QTime(8, 0, s));
        QTRY_COMPARE(bellBoxes().size(), 1);
        QVERIFY2(bellBoxes().at(0).startsWith(QStringLiteral("Zil müziği \"zil.wav\" çalınamadı")),
                 qPrintable(bellBoxes().at(0)));
        QVERIFY2(bellBoxes().at(0).contains(text), qPrintable(bellBoxes().at(0)));
        QVERIFY(!p.player().playing());

        // The window works on.
        auto &days = *p.menu->controls().cmbGunler;
        days.setFocus();
        QTest::keyClick(&days, Qt::Key_Down);
        QCOMPARE(days.currentIndex(), 1);
        QCOMPARE(p.menu->controls().ListView1->topLevelItemCount(), 1);

        if (comesBack)
            QVERIFY(QDir().mkpath(p.fx.folder() + QStringLiteral("cikis")));
        p.tickAt(QTime(8, 0, 5));
        if (comesBack) {
            QTRY_COMPARE(bellBoxes().size(), 1);
            QVERIFY(p.player().playing());
            QCOMPARE(QFileInfo(p.player().file()).fileName(), QStringLiteral("ikinci.wav"));
            QTRY_VERIFY(QFileInfo(p.fx.folder() + QStringLiteral("cikis/ses.raw")).size() > 0);
        } else {
            // Told once while the output stays away; each bell is still recorded.
            QTest::qWait(100);
            QCOMPARE(bellBoxes().size(), 1);
            int failed = 0;
            for (const BellEvent &e : p.program->store().history(Pazartesi, Pazartesi))
                failed += e.outcome == BellOutcome::Failed ? 1 : 0;
            QCOMPARE(failed, 2);
            QTRY_COMPARE(p.boxes.texts.filter(startUp).size(), 1);
        }
        QCOMPARE(p.rows(), rows);
        QCOMPARE(contents(p.muzikler()), files);
    }
};

int main(int argc, char **argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ZilApplication app(argc, argv);
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
