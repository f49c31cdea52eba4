// Backups: a whole school in one file and back, every bad file refused with the folder untouched,
// a restore broken off at each of its steps leaving the school as it was, and the daily copies.
#include "Backup.h"
#include "BellStore.h"
#include "Calendar.h"
#include "DailyCopies.h"
#include "DayPlan.h"
#include "Roles.h"
#include "ScheduleFixture.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <clocale>

namespace {
void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file under the folder (hidden ones too, Yedekler aside) with its bytes and mode.
QMap<QString, QByteArray> folderState(const QString &folder) {
    QMap<QString, QByteArray> state;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = path.mid(folder.size());
        if (name.startsWith(QLatin1String("Yedekler")))
            continue;
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        state.insert(name, QByteArray::number(st.st_mode, 8) + ':' +
                               (it.fileInfo().isFile() ? readFile(path) : QByteArray()));
    }
    return state;
}

// One entry of a hand-made archive.
struct Item {
    QString name;
    QByteArray bytes;
    QString link;           // a symlink to this target when set
    qint64 headerSize = -1; // what the tar header says, when not the bytes' size
};

void writeTar(const QString &file, const QList<Item> &items) {
    archive *a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    archive_write_open_filename(a, QFile::encodeName(file).constData());
    for (const Item &i : items) {
        archive_entry *e = archive_entry_new();
        archive_entry_set_pathname(e, i.name.toUtf8().constData());
        if (!i.link.isEmpty()) {
            archive_entry_set_filetype(e, AE_IFLNK);
            archive_entry_set_symlink(e, i.link.toUtf8().constData());
            archive_entry_set_size(e, 0);
        } else {
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_size(e, i.headerSize >= 0 ? i.headerSize : i.bytes.size());
        }
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        if (i.link.isEmpty())
            archive_write_data(a, i.bytes.constData(), size_t(i.bytes.size()));
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

// A manifest naming the items as they are; `tamper` changes it afterwards.
Item manifestFor(const QList<Item> &items, const QString &version = Backup::programVersion()) {
    QJsonArray list;
    for (const Item &i : items)
        list.append(QJsonObject{
            {"path", i.name},
            {"size", double(i.bytes.size())},
            {"sha256",
             QString::fromLatin1(
                 QCryptographicHash::hash(i.bytes, QCryptographicHash::Sha256).toHex())}});
    const QJsonObject o{{"program", "Selvanor Zil Sistemi"},
                        {"format", 1},
                        {"version", version},
                        {"created", "2026-12-01T10:00:00"},
                        {"entries", list}};
    return {QStringLiteral("manifest.json"), QJsonDocument(o).toJson()};
}

// A school: Normal's week, another programme on a special date, a one-off bell, the İstiklal
// Marşı, the program's own sounds, a year of record, and music under Muzikler.
void fillSchool(ScheduleFixture &fx, const QString &tag) {
    BellStore store;
    store.open(fx.databaseFile());
    Calendar calendar(store);
    const QString music = fx.folder() + QStringLiteral("Muzikler/");
    QList<Bell> bells;
    for (int day = 0; day < 5; ++day)
        for (int lesson = 0; lesson < 8; ++lesson)
            bells.append({0, day, QStringLiteral("%1. Ders %2").arg(lesson + 1).arg(tag),
                          QStringLiteral("%1:%2:00")
                              .arg(8 + lesson, 2, 10, QChar('0'))
                              .arg(tag == "A" ? 30 : 40),
                          lesson % 2 ? QStringLiteral("zil %1.mp3").arg(tag)
                                     : QStringLiteral("alt/çıkış %1.ogg").arg(tag),
                          30});
    store.add(bells);
    const int exam = store.addProgramme(QStringLiteral("Sınav ") + tag);
    store.add({{0, 2, QStringLiteral("Sınav"), QStringLiteral("10:15:00"),
                QStringLiteral("sinav.wav"), 20, exam}});
    calendar.save(CalendarEntry::special(QStringLiteral("Sınav ") + tag, exam, QDate(2026, 12, 16),
                                         QDate(2026, 12, 16)));
    Bell oneOff{
        0, 0, QStringLiteral("Tören ") + tag, QStringLiteral("13:13:13"), QStringLiteral("tek.mp3"),
        0};
    oneOff.date = QDate(2026, 12, 15);
    store.add({oneOff});
    calendar.setIstiklalMarsi(QStringLiteral("marş.mp3"));
    writeFile(music + QStringLiteral("zil %1.mp3").arg(tag), QByteArray(3000, tag[0].toLatin1()));
    writeFile(music + QStringLiteral("alt/çıkış %1.ogg").arg(tag), "ogg " + tag.toUtf8());
    writeFile(music + QStringLiteral("sinav.wav"), "sinav " + tag.toUtf8());
    writeFile(music + QStringLiteral("tek.mp3"), "tek " + tag.toUtf8());
    writeFile(music + QStringLiteral("marş.mp3"), "mars " + tag.toUtf8());
    writeFile(music + QStringLiteral("Programın sesleri/Öğrenci zili.wav"),
              "ogrenci " + tag.toUtf8());
    fx.fillRecord(QDate(2026, 12, 1), 30, 10);
}

// What the day plan sounds on each date of a week, as text.
QStringList planOf(const QString &databaseFile, const QDate &from) {
    BellStore store;
    store.open(databaseFile);
    Calendar calendar(store);
    DayPlan plan(store, &calendar);
    QStringList lines;
    for (QDate d = from; d < from.addDays(7); d = d.addDays(1)) {
        plan.update(d);
        for (const PlannedSound &s : plan.sounds())
            lines << d.toString(Qt::ISODate) + ' ' + s.at.toString() + ' ' + s.bell.name + ' ' +
                         s.bell.music + ' ' + QString::number(s.sounds());
    }
    return lines;
}
} // namespace

class TestBackup : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        Backup::setFaultHook({});
        Backup::setSnapshotHook({});
        Backup::setSizeLimitForTests(0);
        Backup::setProgramVersionForTests({});
    }

    void aSchoolRestoredElsewhereRingsTheSame() {
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        // A bell nobody uses is not taken.
        writeFile(school.folder() + QStringLiteral("Muzikler/kullanılmayan.mp3"), "x");
        QTemporaryDir out;
        const QString file = out.filePath(QStringLiteral("okul.tar.gz"));
        const Backup::Made made = Backup::make(school.folder(), file);
        QCOMPARE(made.musicFiles, 6);
        QVERIFY(made.missingMusic.isEmpty());

        QTemporaryDir empty;
        const QString target = empty.path() + QLatin1Char('/');
        auto restore = Backup::Restore::check(file, target);
        QCOMPARE(restore->contents().bells, 8 * 5 + 2);
        QCOMPARE(restore->contents().days, (QList<int>{0, 1, 2, 3, 4}));
        QCOMPARE(restore->contents().programmes, 2);
        QCOMPARE(restore->contents().version, Backup::programVersion());
        QVERIFY(restore->contents().line().contains(QStringLiteral("Pazartesi, Salı")));
        restore->apply();
        restore.reset();

        const QDate monday(2026, 12, 14);
        const QStringList before = planOf(school.databaseFile(), monday);
        QVERIFY(before.size() > 30);
        QCOMPARE(planOf(target + QStringLiteral("database.mdb"), monday), before);
        for (const char *m : {"zil A.mp3", "alt/çıkış A.ogg", "sinav.wav", "tek.mp3", "marş.mp3",
                              "Programın sesleri/Öğrenci zili.wav"})
            QCOMPARE(readFile(target + "Muzikler/" + QString::fromUtf8(m)),
                     readFile(school.folder() + "Muzikler/" + m));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral("Muzikler/kullanılmayan.mp3")));
        // The record came too, and nothing of the unpacking is left behind.
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"database.mdb", "Muzikler"}));
    }

    void aRunningStoreRingsTheRestoredSchedule() {
        ScheduleFixture a;
        fillSchool(a, QStringLiteral("A"));
        ScheduleFixture b;
        fillSchool(b, QStringLiteral("B"));
        QTemporaryDir out;
        const QString file = out.filePath(QStringLiteral("b.tar.gz"));
        Backup::make(b.folder(), file);

        // The program runs on school A, its plan read.
        BellStore store;
        store.open(a.databaseFile());
        Calendar calendar(store);
        DayPlan plan(store, &calendar);
        const QDate monday(2026, 12, 14);
        plan.update(monday);
        QCOMPARE(plan.next(QTime(8, 0))->at, QTime(8, 30));
        const QFile::Permissions mode = QFileInfo(a.databaseFile()).permissions();

        Backup::Restore::check(file, a.folder())->apply();
        // The next bell is the restored school's, with no restart.
        QVERIFY(plan.update(monday));
        QCOMPARE(plan.next(QTime(8, 0))->at, QTime(8, 40));
        QCOMPARE(plan.next(QTime(8, 0))->bell.name, QStringLiteral("1. Ders B"));
        QCOMPARE(readFile(a.folder() + "Muzikler/sinav.wav"), QByteArray("sinav B"));
        // Whoever could read the old database reads the new one.
        QCOMPARE(QFileInfo(a.databaseFile()).permissions(), mode);
        // School A was kept first.
        const QStringList kept = QDir(Backup::copiesFolder(a.folder()))
                                     .entryList({QStringLiteral("once-*geri-yukleme.tar")});
        QCOMPARE(kept.size(), 1);
        Backup::Restore::check(Backup::copiesFolder(a.folder()) + kept.first(), a.folder())
            ->apply();
        QVERIFY(plan.update(monday));
        QCOMPARE(plan.next(QTime(8, 0))->bell.name, QStringLiteral("1. Ders A"));
    }

    void theRolesComeBackWithTheSchedule() {
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        const QString rolesFile = school.folder() + QStringLiteral("yetkiler.json");
        Roles roles(rolesFile);
        roles.setPin(Role::Manager, QStringLiteral("123456"));
        QTemporaryDir out;
        const QString withRoles = out.filePath(QStringLiteral("pinli.tar"));
        Backup::make(school.folder(), withRoles);

        roles.setPin(Role::Manager, QStringLiteral("567890"));
        auto restore = Backup::Restore::check(withRoles, school.folder());
        QVERIFY(restore->contents().roles);
        restore->apply();
        restore.reset();
        QCOMPARE(Roles::match(roles.hashes(), QStringLiteral("123456")), Role::Manager);
        QCOMPARE(Roles::match(roles.hashes(), QStringLiteral("567890")), Role::Viewer);
        // Only the staff group reads the hashes, restored or not.
        QCOMPARE(QFileInfo(rolesFile).permissions() & (QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());

        // A backup from before the roles leaves today's PINs alone.
        QFile::remove(rolesFile);
        const QString withoutRoles = out.filePath(QStringLiteral("pinsiz.tar"));
        Backup::make(school.folder(), withoutRoles);
        roles.setPin(Role::Manager, QStringLiteral("432100"));
        const QByteArray kept = readFile(rolesFile);
        restore = Backup::Restore::check(withoutRoles, school.folder());
        QVERIFY(!restore->contents().roles);
        QVERIFY(restore->contents().line().contains(QStringLiteral("şimdiki yetkiler kalır")));
        restore->apply();
        restore.reset();
        QCOMPARE(readFile(rolesFile), kept);
        QCOMPARE(Roles::match(roles.hashes(), QStringLiteral("432100")), Role::Manager);

        // A restore broken off puts the PINs back as they were.
        Backup::setFaultHook([](const QString &s) {
            if (s == QStringLiteral("taşı database.mdb"))
                throw ZilError(QStringLiteral("disk hatası"));
            return true;
        });
        QVERIFY_THROWS_EXCEPTION(ZilError,
                                 Backup::Restore::check(withRoles, school.folder())->apply());
        QCOMPARE(readFile(rolesFile), kept);
    }

    void badBackupsAreRefusedWithNothingChanged_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("not a backup") << "garbage"
                                      << "zil yedeği değil";
        QTest::newRow("tar without manifest") << "nomanifest"
                                              << "zil yedeği değil";
        QTest::newRow("truncated") << "truncated"
                                   << "eksik ya da bozuk";
        QTest::newRow("truncated tar") << "truncatedtar"
                                       << "eksik ya da bozuk";
        QTest::newRow("wrong sum") << "sum"
                                   << "denetim toplamı";
        QTest::newRow("newer program") << "newer"
                                       << "daha yeni bir sürüm";
        QTest::newRow("parent path") << "dotdot"
                                     << "dışına";
        QTest::newRow("absolute path") << "absolute"
                                       << "dışına";
        QTest::newRow("symlink") << "symlink"
                                 << "bağlantı";
        QTest::newRow("broken database") << "corrupt"
                                         << "bozuk";
        QTest::newRow("foreign database") << "foreign"
                                          << "zil programı değil";
        QTest::newRow("too large") << "large"
                                   << "en çok";
        QTest::newRow("bomb") << "bomb"
                              << "boyu listedekinden farklı";
        QTest::newRow("entry not listed") << "unlisted"
                                          << "listede olmayan";
    }

    void badBackupsAreRefusedWithNothingChanged() {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        QTemporaryDir out;
        const QString good = out.filePath(QStringLiteral("good.tar.gz"));
        Backup::make(school.folder(), good);
        const QByteArray db = readFile(school.databaseFile());
        const Item music{QStringLiteral("Muzikler/zil A.mp3"), "yabancı müzik"};
        const Item base{QStringLiteral("database.mdb"), db};
        const QString bad = out.filePath(QStringLiteral("bad.tar.gz"));

        if (kind == "garbage") {
            writeFile(bad, QByteArray(5000, 'z'));
        } else if (kind == "nomanifest") {
            writeTar(bad, {base, music});
        } else if (kind == "truncated") {
            const QByteArray whole = readFile(good);
            writeFile(bad, whole.left(whole.size() / 2));
        } else if (kind == "truncatedtar") {
            const QString tar = out.filePath(QStringLiteral("good.tar"));
            Backup::make(school.folder(), tar);
            const QByteArray whole = readFile(tar);
            writeFile(bad, whole.left(whole.size() * 6 / 10));
        } else if (kind == "sum") {
            Item changed = music;
            changed.bytes[0] = 'Y';
            writeTar(bad, {manifestFor({base, music}), base, changed});
        } else if (kind == "newer") {
            writeTar(bad, {manifestFor({base, music}, QStringLiteral("99.0.0")), base, music});
        } else if (kind == "dotdot") {
            const Item evil{QStringLiteral("Muzikler/../../kacak.mp3"), "x"};
            writeTar(bad, {manifestFor({base, evil}), base, evil});
        } else if (kind == "absolute") {
            const Item evil{out.filePath(QStringLiteral("kacak.mp3")), "x"};
            writeTar(bad, {manifestFor({base, evil}), base, evil});
        } else if (kind == "symlink") {
            Item link{QStringLiteral("Muzikler/link.mp3"), {}, QStringLiteral("/etc/passwd")};
            writeTar(bad, {manifestFor({base}), base, link});
        } else if (kind == "corrupt") {
            QByteArray broken = db;
            for (int i = 4096; i < broken.size() && i < 4096 * 4; ++i)
                broken[i] = char(i * 7);
            const Item d{QStringLiteral("database.mdb"), broken};
            writeTar(bad, {manifestFor({d}), d});
        } else if (kind == "foreign") {
            ScheduleFixture other;
            other.exec(QStringLiteral("DROP TABLE Dersler"));
            other.exec(QStringLiteral("CREATE TABLE Baska (x)"));
            const Item d{QStringLiteral("database.mdb"), readFile(other.databaseFile())};
            writeTar(bad, {manifestFor({d}), d});
        } else if (kind == "large") {
            Backup::setSizeLimitForTests(1024 * 1024);
            const Item big{QStringLiteral("Muzikler/büyük.mp3"), QByteArray(2 * 1024 * 1024, 'b')};
            writeTar(bad, {manifestFor({base, big}), base, big});
        } else if (kind == "bomb") {
            // 64 MB of zeros in a few kilobytes; the list says 1000 bytes.
            Item bomb{QStringLiteral("Muzikler/bomba.mp3"), QByteArray(64 * 1024 * 1024, 0)};
            Item listed = bomb;
            listed.bytes = QByteArray(1000, 0);
            writeTar(bad, {manifestFor({base, listed}), base, bomb});
            QVERIFY(QFileInfo(bad).size() < 1024 * 1024);
        } else if (kind == "unlisted") {
            writeTar(bad, {manifestFor({base}), base, music});
        }

        const QMap<QString, QByteArray> before = folderState(school.folder());
        try {
            Backup::Restore::check(bad, school.folder())->apply();
            QFAIL("a bad backup was restored");
        } catch (const EBackupRefused &refused) {
            QVERIFY2(refused.message().contains(says), qPrintable(refused.message()));
            QVERIFY(refused.message().contains(QStringLiteral("Hiçbir şey değiştirilmedi")));
        }
        QCOMPARE(folderState(school.folder()), before);
        QVERIFY(!QFileInfo::exists(out.filePath(QStringLiteral("kacak.mp3"))));
        QVERIFY(!QFileInfo::exists(Backup::copiesFolder(school.folder())));
    }

    void aRestoreBrokenAtAnyStepLeavesTheSchoolAsItWas() {
        ScheduleFixture a;
        fillSchool(a, QStringLiteral("A"));
        ScheduleFixture b;
        fillSchool(b, QStringLiteral("B"));
        // B adds a file A has not got, so a folder is made and a file is new.
        writeFile(b.folder() + QStringLiteral("Muzikler/yeni/klasör/yeni.mp3"), "yeni");
        b.exec(QStringLiteral("UPDATE Dersler SET Muzik='yeni/klasör/yeni.mp3' WHERE KayitID=1"));
        QTemporaryDir out;
        const QString file = out.filePath(QStringLiteral("b.tar.gz"));
        Backup::make(b.folder(), file);

        QStringList steps;
        {
            ScheduleFixture dry;
            fillSchool(dry, QStringLiteral("A"));
            Backup::setFaultHook([&](const QString &s) {
                steps << s;
                return true;
            });
            Backup::Restore::check(file, dry.folder())->apply();
            Backup::setFaultHook({});
        }
        QVERIFY2(steps.size() > 10, qPrintable(steps.join(", ")));

        const QMap<QString, QByteArray> before = folderState(a.folder());
        const QStringList plan = planOf(a.databaseFile(), QDate(2026, 12, 14));
        for (int i = 0; i < steps.size(); ++i) {
            // A failure there: the restore undoes itself.
            Backup::setFaultHook([&, n = 0](const QString &) mutable {
                if (n++ == i)
                    throw ZilError(QStringLiteral("disk hatası"));
                return true;
            });
            QVERIFY_THROWS_EXCEPTION(ZilError, Backup::Restore::check(file, a.folder())->apply());
            QVERIFY2(folderState(a.folder()) == before, qPrintable(steps[i]));

            // The power going there: the next start undoes it.
            Backup::setFaultHook([&, n = 0](const QString &) mutable { return n++ != i; });
            QVERIFY_THROWS_EXCEPTION(ZilError, Backup::Restore::check(file, a.folder())->apply());
            Backup::setFaultHook({});
            Backup::recoverInterrupted(a.folder());
            QVERIFY2(folderState(a.folder()) == before, qPrintable(steps[i]));
        }
        QCOMPARE(planOf(a.databaseFile(), QDate(2026, 12, 14)), plan);
        // And then it goes through.
        Backup::Restore::check(file, a.folder())->apply();
        QCOMPARE(planOf(a.databaseFile(), QDate(2026, 12, 14)),
                 planOf(b.databaseFile(), QDate(2026, 12, 14)));
    }

    void wholeDaysReplacedOrDeletedAreKeptFirst() {
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        BellStore store;
        store.open(school.databaseFile());
        store.setBeforeWholeDays(
            [&] { Backup::keepBeforeAside(school.folder(), QStringLiteral("toplu"), {}); });
        QCOMPARE(store.removeDays({0, 1, 2, 3, 4}), 40);
        const QDir copies(Backup::copiesFolder(school.folder()));
        QTRY_COMPARE_WITH_TIMEOUT(copies.entryList({"once-*-toplu.tar"}).size(), 1, 20000);
        // The copy holds the week as it was before the delete.
        QCOMPARE(Backup::Restore::check(copies.filePath(copies.entryList({"once-*"}).first()),
                                        school.folder())
                     ->contents()
                     .bells,
                 42);
        // A copy that cannot be taken stops the change.
        store.setBeforeWholeDays([] { throw ZilError(QStringLiteral("disk dolu")); });
        QVERIFY_THROWS_EXCEPTION(ZilError, store.replaceDays({2}, {}, 1));
        QCOMPARE(store.dayBells(2, 1).size(), 1);
    }

    void theDailyCopyIsMadeAside() {
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        QString failure;
        DailyCopies daily(school.folder(), [&](const QString &m) { failure = m; });
        QSignalSpy made(&daily, &DailyCopies::finished);
        daily.start(50);
        QVERIFY(!daily.busy());
        QTRY_VERIFY(daily.busy() || !made.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(made.size(), 1, 20000);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(made.at(0).at(0).toString().contains(
            QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
        QVERIFY(QFileInfo::exists(made.at(0).at(0).toString()));
    }

    void aSaveMadeWhileTheDailyCopyReadsIsKept() {
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        BellStore store;
        store.open(school.databaseFile());
        QObject window;
        QString outcome;
        QSemaphore tried;
        const Bell sunday{0,
                          6,
                          QStringLiteral("Pazar kursu"),
                          QStringLiteral("10:00:00"),
                          QStringLiteral("tek.mp3"),
                          30};
        Backup::setSnapshotHook([&] {
            // The user saves from the window's thread as soon as it is free to.
            QMetaObject::invokeMethod(
                &window,
                [&] {
                    try {
                        store.add({sunday});
                        outcome = QStringLiteral("kept");
                    } catch (const ZilError &error) {
                        outcome = error.message();
                    }
                    tried.release();
                },
                Qt::QueuedConnection);
            // A copy read on another thread keeps its lock until the save has been tried.
            if (QThread::currentThread() != window.thread())
                tried.tryAcquire(1, 20000);
        });
        QString failure;
        DailyCopies daily(school.folder(), [&](const QString &m) { failure = m; });
        QSignalSpy made(&daily, &DailyCopies::finished);
        daily.start(0);
        QTRY_VERIFY_WITH_TIMEOUT(!outcome.isEmpty() && made.size() == 1, 20000);
        QCOMPARE(outcome, QStringLiteral("kept"));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(store.dayBells(6).size(), 1);
    }

    void dailyCopiesKeepTheirNumbers() {
        ScheduleFixture school;
        BellStore store;
        store.open(school.databaseFile());
        store.add({{0, 0, QStringLiteral("Ders"), QStringLiteral("08:30:00"), QString(), 5}});
        QCOMPARE(Backup::keeping(school.databaseFile()).daily, 14);
        QVERIFY_THROWS_EXCEPTION(ZilError, Backup::setKeeping(school.databaseFile(), {0, 3}));
        Backup::setKeeping(school.databaseFile(), {5, 3});
        QCOMPARE(Backup::keeping(school.databaseFile()).daily, 5);
        QCOMPARE(Backup::keeping(school.databaseFile()).monthly, 3);

        QFile::setPermissions(school.folder(), QFile::permissions(school.folder()) |
                                                   QFile::WriteGroup | QFile::ReadGroup |
                                                   QFile::ExeGroup);
        for (QDate d(2026, 9, 20); d <= QDate(2026, 12, 8); d = d.addDays(1))
            QVERIFY(!Backup::keepDaily(school.folder(), d).isEmpty());
        QVERIFY(Backup::keepDaily(school.folder(), QDate(2026, 12, 8)).isEmpty());
        const QDir copies(Backup::copiesFolder(school.folder()));
        // Yedekler is as writable as the data folder, whoever made it.
        QCOMPARE(QFileInfo(copies.path()).permissions(), QFileInfo(school.folder()).permissions());
        QCOMPARE(
            copies.entryList({"gunluk-*"}),
            (QStringList{"gunluk-2026-12-04.tar", "gunluk-2026-12-05.tar", "gunluk-2026-12-06.tar",
                         "gunluk-2026-12-07.tar", "gunluk-2026-12-08.tar"}));
        QCOMPARE(copies.entryList({"aylik-*"}),
                 (QStringList{"aylik-2026-10.tar", "aylik-2026-11.tar", "aylik-2026-12.tar"}));
        // Each one a backup the restore takes.
        QCOMPARE(Backup::Restore::check(copies.filePath("aylik-2026-10.tar"), school.folder())
                     ->contents()
                     .bells,
                 1);
        // Nothing else beside them but the copies' lock.
        QCOMPARE(copies.entryList(QDir::Files | QDir::Hidden).size(), 8 + 1);
    }

    void leftoversOfACutOffCopyGoAtTheNextStart() {
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        QVERIFY(!Backup::keepDaily(school.folder(), QDate(2026, 12, 7)).isEmpty());
        const QString copies = Backup::copiesFolder(school.folder());
        const QString pool = Backup::poolFolder(copies);
        // What a power cut left while the day's copy was written, by an earlier run...
        const QDateTime earlier = Backup::processStarted().addSecs(-600);
        const QStringList cutOff{copies + ".gunluk-2026-12-08.tar.1a2b3c4d.yaziliyor",
                                 copies + ".gunluk-2026-12-08.tar.1a2b3c4d.mdb",
                                 pool + ".0123456789abcdef.5e6f7a8b.yaziliyor"};
        for (const QString &file : cutOff) {
            writeFile(file, QByteArray(4096, 'y'));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(earlier, QFileDevice::FileModificationTime));
        }
        // ...and one a process started after this one is writing now.
        const QString beingWritten = copies + ".once-2026-12-08-080000-000-toplu.tar.99.yaziliyor";
        writeFile(beingWritten, "yarım");

        // Before the start, a half-written copy never counts as today's.
        QVERIFY(!Backup::keepDaily(school.folder(), QDate(2026, 12, 8)).isEmpty());
        QFile::remove(copies + "gunluk-2026-12-08.tar");

        QString failure;
        DailyCopies daily(school.folder(), [&](const QString &m) { failure = m; });
        daily.start(60 * 60 * 1000);
        for (const QString &file : cutOff)
            QVERIFY2(!QFileInfo::exists(file), qPrintable(file));
        QVERIFY(QFileInfo::exists(beingWritten));
        QVERIFY(failure.isEmpty());
        // The copies that were whole are all still there.
        QCOMPARE(QDir(copies).entryList({"gunluk-*", "aylik-*"}),
                 (QStringList{"aylik-2026-12.tar", "gunluk-2026-12-07.tar"}));
        QCOMPARE(Backup::removeLeftovers(school.folder()), 0);
    }

    void dailyCopiesShareTheirMusic() {
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        Backup::setKeeping(school.databaseFile(), {2, 0});
        const QString copies = Backup::copiesFolder(school.folder());
        const QString pool = Backup::poolFolder(copies);
        const auto poolFiles = [&] { return QDir(pool).entryList(QDir::Files); };
        QVERIFY(!Backup::keepDaily(school.folder(), QDate(2026, 12, 7)).isEmpty());
        QVERIFY(!Backup::keepDaily(school.folder(), QDate(2026, 12, 8)).isEmpty());
        // Six pieces of music, kept once for both days; the copies hold no music of their own.
        QCOMPARE(poolFiles().size(), 6);
        const QString monday = copies + "gunluk-2026-12-08.tar";
        QVERIFY(QFileInfo(monday).size() < QFileInfo(school.databaseFile()).size() + 64 * 1024);
        QVERIFY(!readFile(monday).contains(QByteArray(3000, 'A')));

        // A daily copy restores the whole school through the one restore.
        QTemporaryDir empty;
        const QString target = empty.path() + QLatin1Char('/');
        auto restore = Backup::Restore::check(monday, target);
        QCOMPARE(restore->contents().musicFiles, 6);
        restore->apply();
        restore.reset();
        QCOMPARE(planOf(target + "database.mdb", QDate(2026, 12, 14)),
                 planOf(school.databaseFile(), QDate(2026, 12, 14)));
        QCOMPARE(readFile(target + "Muzikler/zil A.mp3"),
                 readFile(school.folder() + "Muzikler/zil A.mp3"));

        // New music: the next copy adds it; the music no kept copy names leaves the pool.
        const QByteArray oldBell = readFile(school.folder() + "Muzikler/zil A.mp3");
        writeFile(school.folder() + "Muzikler/zil A.mp3", QByteArray(3000, 'Z'));
        QVERIFY(!Backup::keepDaily(school.folder(), QDate(2026, 12, 9)).isEmpty());
        QCOMPARE(poolFiles().size(), 7);
        QVERIFY(!Backup::keepDaily(school.folder(), QDate(2026, 12, 10)).isEmpty());
        QCOMPARE(poolFiles().size(), 6);
        const QString oldSum =
            QCryptographicHash::hash(oldBell, QCryptographicHash::Sha256).toHex();
        QVERIFY(!poolFiles().contains(oldSum));

        // A copy whose music was lost, or damaged, is refused and the school stays as it was.
        const QString wednesday = copies + "gunluk-2026-12-10.tar";
        const QString newSum =
            QCryptographicHash::hash(QByteArray(3000, 'Z'), QCryptographicHash::Sha256).toHex();
        const QMap<QString, QByteArray> before = folderState(school.folder());
        QVERIFY(QFile::rename(pool + newSum, pool + "kenara"));
        try {
            Backup::Restore::check(wednesday, school.folder());
            QFAIL("a copy without its music was taken");
        } catch (const EBackupRefused &refused) {
            QVERIFY2(refused.message().contains("muzik-havuzu") &&
                         refused.message().contains("zil A.mp3") &&
                         refused.message().contains("Hiçbir şey değiştirilmedi"),
                     qPrintable(refused.message()));
        }
        writeFile(pool + newSum, QByteArray(3000, 'X'));
        try {
            Backup::Restore::check(wednesday, school.folder());
            QFAIL("a copy with damaged music was taken");
        } catch (const EBackupRefused &refused) {
            QVERIFY2(refused.message().contains("bozulmuş"), qPrintable(refused.message()));
        }
        QCOMPARE(folderState(school.folder()), before);
        QVERIFY(QFile::remove(pool + newSum));
        QVERIFY(QFile::rename(pool + "kenara", pool + newSum));
        QCOMPARE(Backup::Restore::check(wednesday, school.folder())->contents().musicFiles, 6);

        // The staff's own backup stays one file that restores wherever it is taken.
        QTemporaryDir stick;
        Backup::make(school.folder(), stick.filePath("okul.tar"));
        QVERIFY(readFile(stick.filePath("okul.tar")).contains(QByteArray(3000, 'Z')));
        QVERIFY(!QFileInfo::exists(Backup::poolFolder(stick.path())));
    }

    void namesStayWholeWhateverTheLocale() {
        // A service started without a language runs in the C locale; the music's Turkish names
        // must go into and come out of a backup all the same.
        ScheduleFixture school;
        fillSchool(school, QStringLiteral("A"));
        QTemporaryDir out;
        const QString madeInUtf8 = out.filePath(QStringLiteral("utf8.tar"));
        Backup::make(school.folder(), madeInUtf8);
        const QByteArray previous = ::setlocale(LC_ALL, nullptr);
        ::setlocale(LC_ALL, "C");
        struct Restore {
            QByteArray locale;
            ~Restore() { ::setlocale(LC_ALL, locale.constData()); }
        } restoreLocale{previous};
        const QString madeInC = out.filePath(QStringLiteral("c.tar"));
        Backup::make(school.folder(), madeInC);
        for (const QString &file : {madeInC, madeInUtf8}) {
            QTemporaryDir empty;
            const QString target = empty.path() + QLatin1Char('/');
            auto restore = Backup::Restore::check(file, target);
            QCOMPARE(restore->contents().musicFiles, 6);
            restore->apply();
            restore.reset();
            QCOMPARE(readFile(target + QStringLiteral("Muzikler/alt/çıkış A.ogg")),
                     QByteArray("ogg A"));
            QCOMPARE(
                readFile(target + QStringLiteral("Muzikler/Programın sesleri/Öğrenci zili.wav")),
                QByteArray("ogrenci A"));
        }
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
