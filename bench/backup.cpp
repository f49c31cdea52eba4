// Backup and restore of a school with about 300 MB of music (100 files of 3 MB that do not
// compress, as MP3s do not) and a year of bell record: seconds to make the backup, to check it
// (unpacking included) and to put it in place, with the backup's size. Run on the disk the data
// lives on; the figures are printed, never judged. Then the year's automatic copies (14 daily,
// 12 monthly) that share their music: the folder's size on the disk.
#include "Backup.h"
#include "BellStore.h"
#include "ScheduleFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/stat.h>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ScheduleFixture school;
    const QString music = school.folder() + QStringLiteral("Muzikler/");
    QDir().mkpath(music);
    constexpr int files = 100;
    constexpr qsizetype fileBytes = 3 * 1024 * 1024;
    QByteArray bytes(fileBytes, Qt::Uninitialized);
    for (int f = 0; f < files; ++f) {
        QRandomGenerator(f + 1).fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / 4);
        QFile out(music + QStringLiteral("parca-%1.mp3").arg(f, 3, 10, QChar('0')));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return 1;
    }
    {
        BellStore store;
        store.open(school.databaseFile());
        QList<Bell> bells;
        for (int day = 0; day < 5; ++day)
            for (int i = 0; i < 24; ++i)
                bells.append(
                    {0, day, QStringLiteral("Zil %1").arg(i),
                     QStringLiteral("%1:%2:00")
                         .arg(8 + i / 3, 2, 10, QChar('0'))
                         .arg((i % 3) * 20, 2, 10, QChar('0')),
                     QStringLiteral("parca-%1.mp3").arg((day * 24 + i) % files, 3, 10, QChar('0')),
                     30});
        store.add(bells);
    }
    // A school year of record: 40 lines a day for a year.
    school.fillRecord(QDate(2026, 12, 1), 365, 40);

    QTemporaryDir out;
    // The staff's backup is gzipped; the program's own copies (and the one a restore keeps
    // first) are plain tar.
    QElapsedTimer timer;
    timer.start();
    Backup::make(school.folder(), out.filePath(QStringLiteral("okul.tar.gz")));
    const double gzipSecs = timer.nsecsElapsed() / 1e9;
    const QString file = out.filePath(QStringLiteral("okul.tar"));
    timer.restart();
    const Backup::Made made = Backup::make(school.folder(), file);
    const double makeSecs = timer.nsecsElapsed() / 1e9;

    timer.restart();
    auto restore = Backup::Restore::check(file, school.folder());
    const double checkSecs = timer.nsecsElapsed() / 1e9;
    timer.restart();
    restore->apply();
    const double applySecs = timer.nsecsElapsed() / 1e9;
    timer.restart();
    restore.reset();
    const double cleanSecs = timer.nsecsElapsed() / 1e9;

    std::printf("backup: %d music files, %.1f MB unpacked, database %.1f MB, file %.1f MB\n",
                made.musicFiles, made.bytes / 1048576.0,
                QFileInfo(school.databaseFile()).size() / 1048576.0,
                QFileInfo(file).size() / 1048576.0);
    std::printf("make backup, .tar.gz:            %.2f s\n", gzipSecs);
    std::printf("make backup, .tar:               %.2f s\n", makeSecs);
    std::printf("restore, check and unpack:       %.2f s\n", checkSecs);
    std::printf("restore, safety copy and swap:   %.2f s\n", applySecs);
    std::printf("restore, remove old files:       %.2f s\n", cleanSecs);
    std::printf("restore, total:                  %.2f s\n", checkSecs + applySecs + cleanSecs);

    // The automatic copies a year brings: 12 monthly and 14 daily, sharing their music.
    const QString copies = Backup::copiesFolder(school.folder());
    QDir(copies).removeRecursively();
    timer.restart();
    double firstSecs = 0;
    for (int month = 1; month <= 10; ++month) {
        Backup::keepDaily(school.folder(), QDate(2026, month, 1));
        if (month == 1)
            firstSecs = timer.nsecsElapsed() / 1e9;
    }
    for (QDate d(2026, 11, 25); d <= QDate(2026, 12, 8); d = d.addDays(1))
        Backup::keepDaily(school.folder(), d);
    const double allSecs = timer.nsecsElapsed() / 1e9;
    // Bytes on the disk, a file with two names (a month's copy is its day's copy) counted once.
    qint64 onDisk = 0;
    QSet<quint64> inodes;
    int kept = 0;
    QDirIterator it(copies, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0 || inodes.contains(st.st_ino))
            continue;
        inodes.insert(st.st_ino);
        onDisk += qint64(st.st_blocks) * 512;
    }
    kept = int(
        QDir(copies)
            .entryList({QStringLiteral("gunluk-*.tar"), QStringLiteral("aylik-*.tar")}, QDir::Files)
            .size());
    timer.restart();
    auto fromPool =
        Backup::Restore::check(copies + QStringLiteral("aylik-2026-01.tar"), school.folder());
    const double poolCheckSecs = timer.nsecsElapsed() / 1e9;
    fromPool.reset();
    std::printf("automatic copies: %d kept (14 daily, 12 monthly), folder %.1f MB on disk; "
                "as one-file copies they would take %.1f MB\n",
                kept, onDisk / 1048576.0, kept * QFileInfo(file).size() / 1048576.0);
    std::printf("automatic copies: first %.2f s, all 24 days that made them %.2f s; restore check "
                "of a monthly "
                "copy from the pool %.2f s\n",
                firstSecs, allSecs, poolCheckSecs);
    return 0;
}
