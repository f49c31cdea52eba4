#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/types.h>

// Writes a file of the data folder the way a folder that several users may write needs: the bytes
// go into a new file beside the target, opened without following any link, and that file then
// takes the target's name. A reader never sees half a file, and a link planted under either name
// never leads the write into a file elsewhere (QSaveFile and QFile both write through a link).
namespace FileBeside {

enum class Existing {
    Replace, // the target's name is taken over, a link of that name itself replaced
    Keep,    // a file or link already there stays, and nothing is written
};

// What went wrong (the system's words), or empty: written, or kept as `existing` says. `mode`,
// when given, is set on the new file whatever the umask.
QString write(const QString &target, const QByteArray &bytes, Existing existing,
              std::optional<mode_t> mode = std::nullopt);

} // namespace FileBeside
