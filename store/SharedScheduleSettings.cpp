// SharedSettings: how a computer reaches the shared place, and its password kept apart.
#include "SharedSchedule.h"

#include "FileBeside.h"
#include "ZilError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {
const QString settingsName = QStringLiteral("ortak.json");
const QString secretName = QStringLiteral("ortak.parola");
const QString passwordKey = QStringLiteral("parola");
// What a password is for: it is sent only to the server, as the user, that it was saved with.
// ortak.json is the staff's to write, and a server named there by someone else gets none.
const QStringList boundKeys = {QStringLiteral("sunucu"), QStringLiteral("port"),
                               QStringLiteral("kullanici"), QStringLiteral("ca")};

QJsonObject readObject(const QString &path, bool noLinks) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_CLOEXEC | (noLinks ? O_NOFOLLOW : 0));
    QFile f;
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    return QJsonDocument::fromJson(f.read(64 * 1024)).object();
}

QJsonObject toObject(const SharedSettings &s) {
    QJsonObject o;
    o.insert(QStringLiteral("acik"), s.on);
    o.insert(QStringLiteral("sunucu"), s.host.trimmed());
    o.insert(QStringLiteral("port"), s.port);
    o.insert(QStringLiteral("veritabani"), s.database.trimmed());
    o.insert(QStringLiteral("okul"), s.school.trimmed());
    o.insert(QStringLiteral("bina"), s.building.trimmed());
    o.insert(QStringLiteral("kullanici"), s.user.trimmed());
    o.insert(QStringLiteral("ca"), s.caFile.trimmed());
    return o;
}

bool sameServer(const QJsonObject &a, const QJsonObject &b) {
    return std::all_of(boundKeys.begin(), boundKeys.end(),
                       [&](const QString &k) { return a.value(k) == b.value(k); });
}

// The settings without the password, which the data folder's group reads: the service's user
// reads what a staff member's window saved. Written beside: a link planted under the name by
// another user of the folder never receives it.
QString writeSettings(const QString &folder, const QJsonObject &o) {
    return FileBeside::write(SharedSettings::file(folder), QJsonDocument(o).toJson(),
                             FileBeside::Existing::Replace, S_IRUSR | S_IWUSR | S_IRGRP);
}

// Lets `user` read the file beside its owner, and nobody else: an access list, since the group
// of the data folder is the whole staff's. Nothing to do when there is no such user, or it is
// the owner.
QString grantRead(const QString &path, const QString &user) {
    const passwd *account = ::getpwnam(QFile::encodeName(user).constData());
    if (!account || account->pw_uid == ::geteuid())
        return {};
    struct Entry {
        quint16 tag;
        quint16 perm;
        quint32 id;
    };
    const Entry entries[] = {{ACL_USER_OBJ, ACL_READ | ACL_WRITE, quint32(ACL_UNDEFINED_ID)},
                             {ACL_USER, ACL_READ, account->pw_uid},
                             {ACL_GROUP_OBJ, 0, quint32(ACL_UNDEFINED_ID)},
                             {ACL_MASK, ACL_READ, quint32(ACL_UNDEFINED_ID)},
                             {ACL_OTHER, 0, quint32(ACL_UNDEFINED_ID)}};
    QByteArray acl(sizeof(posix_acl_xattr_header), '\0');
    qToLittleEndian<quint32>(POSIX_ACL_XATTR_VERSION, acl.data());
    for (const Entry &e : entries) {
        char bytes[sizeof(posix_acl_xattr_entry)];
        qToLittleEndian<quint16>(e.tag, bytes);
        qToLittleEndian<quint16>(e.perm, bytes + 2);
        qToLittleEndian<quint32>(e.id, bytes + 4);
        acl.append(bytes, sizeof bytes);
    }
    if (::lsetxattr(QFile::encodeName(path).constData(), "system.posix_acl_access", acl.constData(),
                    size_t(acl.size()), 0) != 0)
        return QStringLiteral("«%1» kullanıcısına okuma izni verilemedi (%2)")
            .arg(user, QString::fromLocal8Bit(std::strerror(errno)));
    return {};
}

// The password, with what it is for, readable by whoever saves it and the service's user only.
// Made under a name of its own first and renamed into place once closed to everyone else.
QString writeSecret(const QString &folder, const QJsonObject &settings, const QString &password,
                    const QString &serviceUser) {
    const QString path = QDir(folder).filePath(secretName);
    if (password.isEmpty()) {
        // An empty field forgets the password only where it was shown: one this user cannot
        // read stays.
        if (readObject(path, true).isEmpty())
            return {};
        return QFile::remove(path) ? QString() : QStringLiteral("%1 silinemedi").arg(secretName);
    }
    QJsonObject secret;
    for (const QString &key : boundKeys)
        secret.insert(key, settings.value(key));
    secret.insert(passwordKey, password);
    const QString part = path + QStringLiteral(".yeni");
    QString why = FileBeside::write(part, QJsonDocument(secret).toJson(),
                                    FileBeside::Existing::Replace, S_IRUSR | S_IWUSR);
    if (why.isEmpty())
        why = grantRead(part, serviceUser);
    if (why.isEmpty() &&
        ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    if (!why.isEmpty())
        QFile::remove(part);
    return why;
}

// A password an earlier version kept in ortak.json goes to the file of its own, read by whoever
// saved it or by the service; the window of another staff member leaves it for them. Until it
// is moved it is still used, so it is never lost.
void moveOut(const QString &folder, const QJsonObject &o, const QString &password) {
    const passwd *service = ::getpwnam(QFile::encodeName(SharedSettings::ServiceUser).constData());
    struct stat status {};
    if (::lstat(QFile::encodeName(SharedSettings::file(folder)).constData(), &status) != 0 ||
        (status.st_uid != ::geteuid() && !(service && service->pw_uid == ::geteuid())))
        return;
    if (!writeSecret(folder, o, password, SharedSettings::ServiceUser).isEmpty())
        return;
    QJsonObject without = o;
    without.remove(passwordKey);
    writeSettings(folder, without);
}
} // namespace

QString SharedSettings::file(const QString &folder) {
    return QDir(folder).filePath(settingsName);
}

QString SharedSettings::secretFile(const QString &folder) {
    return QDir(folder).filePath(secretName);
}

QString SharedSettings::problem() const {
    if (!on)
        return {};
    if (host.trimmed().isEmpty())
        return QStringLiteral("Sunucunun adını yazın.");
    if (port < 1 || port > 65535)
        return QStringLiteral("Bağlantı noktası 1 ile 65535 arasında bir sayı olmalı.");
    if (database.trimmed().isEmpty())
        return QStringLiteral("Veritabanının adını yazın.");
    if (user.trimmed().isEmpty())
        return QStringLiteral("Kullanıcı adını yazın.");
    if (!local()) {
        // Without the authority the server's certificate cannot be checked, and a password
        // would go to whoever answers at that name.
        if (caFile.trimmed().isEmpty())
            return QStringLiteral("Sunucunun sertifikasını imzalayan kuruluşun dosyasını (CA "
                                  "dosyası) seçin; bağlantı yalnızca sertifikası doğrulanan "
                                  "sunucuya yapılır.");
        if (!QFile::exists(caFile))
            return QStringLiteral("CA dosyası bulunamadı: %1").arg(caFile);
    }
    return {};
}

SharedSettings SharedSettings::read(const QString &folder) {
    SharedSettings s;
    const QJsonObject o = readObject(file(folder), false);
    if (o.isEmpty())
        return s;
    s.on = o.value(QStringLiteral("acik")).toBool(false);
    s.host = o.value(QStringLiteral("sunucu")).toString();
    s.port = o.value(QStringLiteral("port")).toInt(DefaultPort);
    s.database = o.value(QStringLiteral("veritabani")).toString();
    s.school = o.value(QStringLiteral("okul")).toString();
    s.building = o.value(QStringLiteral("bina")).toString();
    s.user = o.value(QStringLiteral("kullanici")).toString();
    s.caFile = o.value(QStringLiteral("ca")).toString();
    if (o.contains(passwordKey)) {
        s.password = o.value(passwordKey).toString();
        moveOut(folder, o, s.password);
    } else if (const QJsonObject secret = readObject(secretFile(folder), true);
               sameServer(secret, o)) {
        s.password = secret.value(passwordKey).toString();
    }
    return s;
}

void SharedSettings::write(const QString &folder, const SharedSettings &s,
                           const QString &serviceUser) {
    if (const QString why = s.problem(); !why.isEmpty())
        throw ZilError(why);
    const QJsonObject o = toObject(s);
    QString why = writeSecret(folder, o, s.password, serviceUser);
    if (why.isEmpty())
        why = writeSettings(folder, o);
    if (!why.isEmpty())
        throw ZilError(QStringLiteral("Ortak program ayarları kaydedilemedi: %1").arg(why));
}
