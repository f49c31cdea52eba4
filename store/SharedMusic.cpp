#include "SharedMusic.h"

#include "FileBeside.h"
#include "ZilError.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {
bool within(const QString &path, const QString &root) {
    return path == root || path.startsWith(root + QLatin1Char('/'));
}
} // namespace

SharedMusic::SharedMusic(QString folder)
    : m_folder(std::move(folder)) {}

bool SharedMusic::safeName(const QString &name) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString &part : parts)
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20; });
}

bool SharedMusic::shareable(const QString &name) {
    // The folder's name as playback's ProgramSounds gives it, which the store cannot ask.
    return safeName(name) &&
           name.section(QLatin1Char('/'), 0, 0) != QStringLiteral("Programın sesleri");
}

QString SharedMusic::sumOf(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

bool SharedMusic::stat(const QString &name, Seen &seen) const {
    // A link that leads out of Muzikler is not the school's music: never read, never sent.
    const QString real = QFileInfo(path(name)).canonicalFilePath();
    if (real.isEmpty() || !within(real, QFileInfo(m_folder).canonicalFilePath()))
        return false;
    struct stat status {};
    if (::stat(QFile::encodeName(real).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    seen.size = status.st_size;
    seen.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    seen.inode = status.st_ino;
    return true;
}

QString SharedMusic::sum(const QString &name) {
    Seen now;
    if (!safeName(name) || !stat(name, now)) {
        m_seen.remove(name);
        return {};
    }
    const auto cached = m_seen.constFind(name);
    if (cached != m_seen.cend() && cached->size == now.size &&
        cached->modifiedNs == now.modifiedNs && cached->inode == now.inode)
        return cached->sum;
    QFile file(path(name));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    now.sum = QString::fromLatin1(hash.result().toHex());
    m_seen.insert(name, now);
    return now.sum;
}

QByteArray SharedMusic::read(const QString &name, QString &why) const {
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return {};
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        why = file.errorString();
    return bytes;
}

void SharedMusic::checkInside(const QString &folder) const {
    const QString root = QFileInfo(m_folder).canonicalFilePath();
    // The nearest folder that exists: a link there could lead out of Muzikler.
    QString existing = QDir::cleanPath(folder);
    while (!QFileInfo::exists(existing) && existing.size() > 1)
        existing = QFileInfo(existing).path();
    const QString real = QFileInfo(existing).canonicalFilePath();
    if (root.isEmpty() || !within(real, root))
        throw ZilError(QStringLiteral("klasör Muzikler'in dışına çıkıyor"));
}

QString SharedMusic::write(const QString &name, const QByteArray &bytes) {
    if (!safeName(name))
        throw ZilError(QStringLiteral("dosya adı Muzikler klasörünün dışını gösteriyor"));
    if (!shareable(name))
        throw ZilError(QStringLiteral("programın kendi sesleri ortak programdan yazılmaz"));
    if (!QDir().mkpath(m_folder))
        throw ZilError(QStringLiteral("Muzikler klasörü yapılamadı"));
    const QString target = path(name);
    const QString folder = QFileInfo(target).absolutePath();
    checkInside(folder);
    if (!QDir().mkpath(folder))
        throw ZilError(QStringLiteral("klasör yapılamadı: %1").arg(folder));
    checkInside(folder);

    // The school's own file of that name is kept, not lost: linked under another name before
    // the new one takes its place, so a bell that opens it meanwhile finds one or the other.
    QString aside;
    const QFileInfo old(target);
    if (old.exists() || old.isSymLink()) {
        const QString stem = target + QStringLiteral(".yerel-") +
                             QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        aside = stem;
        for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
            aside = stem + QLatin1Char('-') + QString::number(n);
        if (::link(QFile::encodeName(target).constData(), QFile::encodeName(aside).constData()) !=
            0)
            throw ZilError(QStringLiteral("bu bilgisayardaki «%1» bir kenara alınamadı").arg(name));
    }
    // Written aside and renamed into place: a bell never opens half a file. Not with QSaveFile,
    // which writes through a link of the name into whatever file it leads to: a link planted in
    // Muzikler would have the server's bytes written wherever the user who rings may write.
    // rename(2) replaces the link itself.
    const QString why = FileBeside::write(target, bytes, FileBeside::Existing::Replace);
    if (!why.isEmpty()) {
        if (!aside.isEmpty())
            QFile::remove(aside);
        throw ZilError(why);
    }
    Seen written;
    if (stat(name, written)) {
        written.sum = sumOf(bytes);
        m_seen.insert(name, written);
    }
    return aside.isEmpty() ? QString() : QDir(m_folder).relativeFilePath(aside);
}
