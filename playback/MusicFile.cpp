#include "MusicFile.h"

#include "ProgramValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {
bool isInside(const QString &path, const QString &folder) {
    return path.startsWith(folder + QLatin1Char('/')) && path.size() > folder.size() + 1;
}

MusicFile refused(const QString &why) {
    return {{}, why};
}
} // namespace

MusicFile MusicFile::of(const QString &name) {
    if (name.trimmed().isEmpty())
        return refused(QStringLiteral("müzik dosyası seçilmemiş"));
    const QString folder = QDir::cleanPath(musicFolder());
    // The written path first: "../x.wav" is out of the folder whether or not it exists.
    const QString written = QDir::cleanPath(folder + QLatin1Char('/') + name);
    const QString outside = QStringLiteral("dosya Muzikler klasörünün dışında");
    if (!isInside(written, folder))
        return refused(outside);
    const QFileInfo info(written);
    // A missing file is the player's to tell, in its own words, as any file it cannot open.
    if (!info.exists() && !info.isSymLink())
        return {written, {}};
    const QString real = info.canonicalFilePath();
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty())
        return refused(QStringLiteral("dosya bulunamadı"));
    if (realFolder.isEmpty() || !isInside(real, realFolder))
        return refused(outside);
    // stat, not the name: a FIFO or a device would block whoever opens it.
    struct stat status {};
    const QByteArray native = QFile::encodeName(real);
    if (::stat(native.constData(), &status) != 0)
        return refused(QStringLiteral("dosya bulunamadı"));
    if (!S_ISREG(status.st_mode))
        return refused(S_ISDIR(status.st_mode)
                           ? QStringLiteral("bir klasör, müzik dosyası değil")
                           : QStringLiteral("sıradan bir dosya değil (FIFO ya da aygıt)"));
    if (::access(native.constData(), R_OK) != 0)
        return refused(QStringLiteral("dosya okunamıyor"));
    return {real, {}};
}
