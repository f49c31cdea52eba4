#include "ProgramValues.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>

int CalmaSuresi = 0;

namespace {
QString g_folderOverride;
const Clock *g_clockOverride = nullptr;
QString g_sinkOverride;
// The marker is read once per program folder: the bell clock asks for the music folder often.
QString g_dataFolderOf;
QString g_dataFolder;

QString readDataFolder(const QString &program) {
    QFile marker(program + QLatin1String(DataFolderMarker));
    if (!marker.exists())
        return program;
    const QString named = marker.open(QIODevice::ReadOnly)
                              ? QString::fromUtf8(marker.readLine()).trimmed()
                              : QString();
    if (!QDir::isAbsolutePath(named)) {
        // The schedule then fails to open with its path in the message, which says enough.
        qWarning().noquote() << "No absolute data folder in"
                             << QDir::toNativeSeparators(marker.fileName());
        return program;
    }
    return QDir::cleanPath(named) + QLatin1Char('/');
}
} // namespace

QString dataFolder() {
    const QString program = programFolder();
    if (g_dataFolder.isEmpty() || g_dataFolderOf != program) {
        g_dataFolder = readDataFolder(program);
        g_dataFolderOf = program;
    }
    return g_dataFolder;
}

QString musicFolder() {
    return dataFolder() + QStringLiteral("Muzikler/");
}

QString programFolder() {
    const QString folder =
        g_folderOverride.isEmpty() ? QCoreApplication::applicationDirPath() : g_folderOverride;
    return QDir::cleanPath(folder) + QLatin1Char('/');
}

void setProgramFolder(const QString &folder) {
    g_folderOverride = folder;
}

const Clock &programClock() {
    static const SystemClock system;
    return g_clockOverride ? *g_clockOverride : system;
}

void setProgramClock(const Clock *clock) {
    g_clockOverride = clock;
}

QString audioSinkDescription() {
    return g_sinkOverride.isEmpty() ? QStringLiteral("autoaudiosink") : g_sinkOverride;
}

void setAudioSinkDescription(const QString &description) {
    g_sinkOverride = description;
}
