#include "StoreLock.h"

#include "PhotoFiles.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace orvelle {

StoreLock::StoreLock(const QString &folder)
{
    if (folder.isEmpty()) {
        m_error = QStringLiteral("No device folder is configured");
        return;
    }
    // Made as it is needed; the store tightens it when it opens.
    if (const int error = photofiles::makeFolder(folder)) {
        refuse(folder, error);
        return;
    }
    const QString path = folder + QStringLiteral("/device.lock");
    // Close-on-exec: a helper process the client starts must not keep the lock alive.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        refuse(path, errno);
    else
        m_state = State::Held;
}

void StoreLock::refuse(const QString &path, int error)
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    m_state = error == EWOULDBLOCK                 ? State::InUse
              : error == ENOSPC || error == EDQUOT ? State::NoSpace
                                                   : State::Failed;
    m_error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

StoreLock::StoreLock(StoreLock &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_state(std::exchange(other.m_state, State::Failed))
    , m_error(std::move(other.m_error))
{}

StoreLock &StoreLock::operator=(StoreLock &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_state = std::exchange(other.m_state, State::Failed);
        m_error = std::move(other.m_error);
    }
    return *this;
}

StoreLock::~StoreLock()
{
    // Closing the only descriptor releases the lock; the file stays for the next holder.
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace orvelle
