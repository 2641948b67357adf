#include "link/PrivateFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxSecretBytes = 4096;

// Opens a file of the owner and group alone; -1 with `error` set otherwise.
int OpenPrivate(const QString &path, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st = {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        *error = QStringLiteral("cannot read \"%1\": %2").arg(path, qt_error_string(errno));
    } else if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("\"%1\" is not a regular file").arg(path);
    } else if (st.st_mode & (S_IRWXO)) {
        *error = QStringLiteral("\"%1\" may be read or written by others (mode %2); "
                                "chmod o-rwx it")
                     .arg(path)
                     .arg(st.st_mode & 07777, 4, 8, QChar(u'0'));
    } else {
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    return -1;
}

} // namespace

std::optional<QByteArray> ReadPasswordFile(const QString &path, QString *error)
{
    const int fd = OpenPrivate(path, error);
    if (fd < 0)
        return std::nullopt;
    QByteArray text(kMaxSecretBytes, '\0');
    const ssize_t n = ::read(fd, text.data(), text.size());
    ::close(fd);
    text.truncate(n > 0 ? int(n) : 0);
    const int end = text.indexOf('\n');
    QByteArray line = end >= 0 ? text.left(end) : text;
    if (line.endsWith('\r'))
        line.chop(1);
    if (n < 0 || line.isEmpty() || line.contains('\0')) {
        *error = QStringLiteral("\"%1\" holds no password on its first line").arg(path);
        return std::nullopt;
    }
    return line;
}

bool CheckPrivateFile(const QString &path, QString *error)
{
    const int fd = OpenPrivate(path, error);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}
