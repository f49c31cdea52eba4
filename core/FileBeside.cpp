#include "FileBeside.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileBeside {

namespace {
QString said(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

QString write(const QString &target, const QByteArray &bytes, Existing existing,
              std::optional<mode_t> mode) {
    const QFileInfo where(target);
    // A name nobody can have planted a link under beforehand.
    const QByteArray part = QFile::encodeName(
        where.absolutePath() + QStringLiteral("/.") + where.fileName() + QLatin1Char('.') +
        QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".part"));
    const QByteArray final = QFile::encodeName(target);
    const int fd =
        ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return said(errno);
    int error = 0;
    qint64 written = 0;
    while (written < bytes.size() && error == 0) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0)
            written += n;
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (error == 0 && mode && ::fchmod(fd, *mode) != 0)
        error = errno;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0) {
        // rename(2) replaces a link itself; link(2) fails on any name already there.
        if (existing == Existing::Replace) {
            if (::rename(part.constData(), final.constData()) != 0)
                error = errno;
        } else if (::link(part.constData(), final.constData()) != 0 && errno != EEXIST) {
            error = errno;
        }
    }
    if (error != 0 || existing == Existing::Keep)
        ::unlink(part.constData());
    return error == 0 ? QString() : said(error);
}

} // namespace FileBeside
