#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The music folder as the shared schedule sees it: the SHA-256 sums of the files its rows name,
// and the files it fetches from the server. Used by one thread only, the server link's, so the
// thread that rings never hashes a file.
class SharedMusic {
public:
    // The largest file that goes up to the server or is taken from it.
    static constexpr qint64 MaxBytes = 64 * 1024 * 1024;

    // `folder` is Muzikler, ending in a separator.
    explicit SharedMusic(QString folder);

    // Whether `name` stays inside the folder wherever it comes from: relative, '/' between
    // folders, no backslash, no "." or ".." parts, no empty parts.
    static bool safeName(const QString &name);
    // Whether a file of `name` may be taken from the server or sent to it: a safe name, and not
    // one of the program's own sounds (ProgramSounds' folder), which every computer makes itself,
    // so that no row can change what a siren sounds like.
    static bool shareable(const QString &name);
    static QString sumOf(const QByteArray &bytes);

    QString path(const QString &name) const { return m_folder + name; }
    // The sum of the file, hex; empty when there is no regular file of that name. Read again
    // only when the file's size, time or inode moved since the last time.
    QString sum(const QString &name);
    // The file's bytes, or nothing with `why` when it cannot be read.
    QByteArray read(const QString &name, QString &why) const;
    // Puts `bytes` under `name`, making its folders. A file already there is kept beside it
    // under a name of its own, which is returned (empty when there was none). Throws ZilError
    // with the reason, nothing replaced, when it cannot.
    QString write(const QString &name, const QByteArray &bytes);

private:
    struct Seen {
        qint64 size = -1;
        qint64 modifiedNs = -1;
        quint64 inode = 0;
        QString sum;
    };
    bool stat(const QString &name, Seen &seen) const;
    // Throws unless the folder of `target` is inside the music folder once links are followed.
    void checkInside(const QString &folder) const;

    QString m_folder;
    QHash<QString, Seen> m_seen;
};
