#include "WatchdogSocket.h"

#include <QFile>
#include <QSocketNotifier>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

WatchdogSocket::WatchdogSocket(const QString &path, Handler handler)
    : m_path(path)
    , m_handler(std::move(handler))
{
}

WatchdogSocket::~WatchdogSocket()
{
    m_notifier.reset();
    if (m_fd >= 0) {
        close(m_fd);
        unlink(QFile::encodeName(m_path).constData());
    }
}

QString WatchdogSocket::DefaultPath()
{
    const QString runtime = qEnvironmentVariable("RUNTIME_DIRECTORY").section(u':', 0, 0);
    return (runtime.isEmpty() ? QStringLiteral("/run/orvane") : runtime) +
        QStringLiteral("/watchdog.sock");
}

bool WatchdogSocket::Listen(QString *error)
{
    const QByteArray path = QFile::encodeName(m_path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("the socket path %1 is too long").arg(m_path);
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    // A socket left by an agent that was killed goes; any other file stays.
    struct stat st
    {
    };
    if (lstat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode))
        unlink(path.constData());
    m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const mode_t old = umask(0117);
    const bool bound = m_fd >= 0 &&
        bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        listen(m_fd, 8) == 0;
    const int e = errno;
    umask(old);
    if (!bound) {
        *error = QStringLiteral("cannot make the socket %1: %2")
                     .arg(m_path, QString::fromLocal8Bit(strerror(e)));
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
        return false;
    }
    chmod(path.constData(), 0660);
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &WatchdogSocket::Accept);
    return true;
}

// One short exchange per connection; a client that sends nothing within a second is closed.
void WatchdogSocket::Accept()
{
    const int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    QByteArray line;
    char buffer[64];
    while (!line.contains('\n') && line.size() < 64) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            break;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, int(n));
    }
    const QByteArray reply = m_handler(line.left(line.indexOf('\n')).trimmed()) + '\n';
    [[maybe_unused]] const ssize_t n =
        send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
    close(fd);
}
