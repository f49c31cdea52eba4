#include "ProgramValues.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QDir>

int CalmaSuresi = 0;

namespace {
QString g_folderOverride;
const Clock *g_clockOverride = nullptr;
QString g_sinkOverride;
} // namespace

QString musicFolder() {
    return programFolder() + QStringLiteral("Muzikler/");
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
