#include "config/FolderLock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

FolderLock::FolderLock(const QString &folder, int timeoutMs)
{
#ifdef Q_OS_UNIX
    // The folder's own path, links resolved, so both programs lock the same folder.
    const QString canonical = QDir(folder).canonicalPath();
    const QString shown = QDir::toNativeSeparators(canonical.isEmpty() ? folder : canonical);
    m_fd = canonical.isEmpty() ? -1
                               : open(QFile::encodeName(canonical).constData(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = QStringLiteral("%1: %2").arg(shown, qt_error_string(errno));
        return;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        if (why == EWOULDBLOCK && !deadline.hasExpired()) {
            QThread::msleep(20);
            continue;
        }
        if (why == EINTR)
            continue;
        m_error = why == EWOULDBLOCK
            ? QStringLiteral("%1 stays locked by another program; try again later.").arg(shown)
            : QStringLiteral("%1: %2").arg(shown, qt_error_string(why));
        close(m_fd);
        m_fd = -1;
        return;
    }
#else
    Q_UNUSED(folder);
    Q_UNUSED(timeoutMs);
    m_unlocked = true;
#endif
}

FolderLock::~FolderLock()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        close(m_fd); // closing the last descriptor lets go of the lock
#endif
}
