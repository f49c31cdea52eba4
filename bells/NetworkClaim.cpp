#include "NetworkClaim.h"

#include "ProgramValues.h"
#include "SharedSchedule.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

NetworkClaim::NetworkClaim(QString folder)
    : m_folder(std::move(folder)) {}

NetworkClaim::~NetworkClaim() {
    release();
}

bool NetworkClaim::hold() {
    if (m_held)
        return true;
    if (m_fd < 0) {
        // As zil.kilit: read-only is enough for flock(); no link, no FIFO.
        const QByteArray path =
            QFile::encodeName(QDir(m_folder).filePath(QStringLiteral("ag.kilit")));
        m_fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      0660);
        struct stat status {};
        if (m_fd >= 0 && (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_fd < 0)
            return false;
        if (status.st_uid == ::geteuid() && (status.st_mode & 07777) != 0660)
            ::fchmod(m_fd, 0660);
    }
    m_held = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    return m_held;
}

void NetworkClaim::release() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_held = false;
}

void followSharedSettings(SharedSchedule &shared, SharedSettings &followed) {
    // The settings window writes a file; whichever process faces the network follows it.
    const SharedSettings settings = SharedSettings::read(dataFolder());
    if (settings == followed && (shared.running() || !settings.on))
        return;
    followed = settings;
    shared.start(settings);
}
