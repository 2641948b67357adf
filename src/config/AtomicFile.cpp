#include "config/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace {

bool Fail(QString *error, const QString &why)
{
    if (error)
        *error = why.isEmpty() ? QStringLiteral("The file could not be written.") : why;
    return false;
}

QString Shown(const QByteArray &name)
{
    return QDir::toNativeSeparators(QFile::decodeName(name));
}

// Streams `write` into `out`, with its last buffered bytes.
bool WriteAll(QFileDevice &out, const std::function<bool(QIODevice *)> &write, QString *error)
{
    // flush() sends the last buffered bytes, which might not fit on the disk.
    if (write(&out) && out.flush() && out.error() == QFileDevice::NoError)
        return true;
    return Fail(error, out.error() == QFileDevice::NoError ? QString() : out.errorString());
}

#ifdef Q_OS_UNIX

QString SystemError(const QByteArray &name)
{
    return QStringLiteral("%1: %2").arg(Shown(name), qt_error_string(errno));
}

// What the link `name` leads to, when it may be followed (`trusted`: its owner is one the
// caller accepts); false, with `error` saying why, when it may not or cannot be read.
bool LinkTarget(const QByteArray &name, bool trusted, QByteArray *target, QString *error)
{
    if (!trusted)
        return Fail(error,
                    QStringLiteral("%1 is a symbolic link of another user; it is not followed.")
                        .arg(Shown(name)));
    target->resize(PATH_MAX);
    const ssize_t n = readlink(name.constData(), target->data(), target->size());
    if (n <= 0 || n >= target->size())
        return Fail(error, SystemError(name));
    target->truncate(n);
    return true;
}

// The file a write replaces: `path` itself, or the file its links lead to. A link is followed
// only when it belongs to the running user (a portable setup may link the file on purpose), so
// nobody else can point our writes at a file of their choosing.
bool FileToReplace(const QString &path, QByteArray *file, QString *error)
{
    QByteArray name = QFile::encodeName(path);
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *file = name; // a missing file is created where the last link points
            return true;
        }
        QByteArray target;
        if (!LinkTarget(name, st.st_uid == geteuid(), &target, error))
            return false;
        const qsizetype slash = name.lastIndexOf('/');
        name = target.startsWith('/') || slash < 0 ? target : name.left(slash + 1) + target;
    }
    return Fail(error, QStringLiteral("%1: too many levels of symbolic links.").arg(path));
}

QByteArray TemporaryName(const QByteArray &file)
{
    return file + ".tmp" + QByteArray::number(QRandomGenerator::system()->generate(), 36);
}

// Opens a new file beside `file` for writing: nameless where O_TMPFILE is at hand, else under a
// temporary name, given in `temporary`. -1 when none could be made.
int OpenNewFile(const QByteArray &file, const QByteArray &folder, QByteArray *temporary)
{
    int fd = -1;
#ifdef O_TMPFILE
    fd = open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        *temporary = TemporaryName(file);
        fd = open(temporary->constData(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC,
                  0666);
        if (fd < 0 && errno != EEXIST)
            return -1;
    }
    return fd;
}

// The new file `fd` with the owner and mode of the file it replaces (`old`, when it `exists`),
// and on the disk.
bool FinishNewFile(int fd, const QByteArray &file, bool exists, const struct stat &old,
                   QString *error)
{
    struct stat now;
    if (fstat(fd, &now) != 0)
        return Fail(error, SystemError(file));
    // The owner first: changing it clears the set-id bits of the mode.
    if (exists && (now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        fchown(fd, old.st_uid, old.st_gid) != 0)
        return Fail(error,
                    QStringLiteral("The owner of %1 cannot be kept; it is left as it is.")
                        .arg(Shown(file)));
    if (exists && fchmod(fd, old.st_mode & 07777) != 0)
        return Fail(
            error,
            QStringLiteral("The mode of %1 cannot be kept; it is left as it is.").arg(Shown(file)));
    return fsync(fd) == 0 || Fail(error, SystemError(file));
}

// Gives the nameless file `fd` a temporary name beside `file`; empty when that fails.
QByteArray NameNewFile(int fd, const QByteArray &file)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int tries = 0; tries < 100; ++tries) {
        const QByteArray temporary = TemporaryName(file);
        if (linkat(AT_FDCWD, self.constData(), AT_FDCWD, temporary.constData(),
                   AT_SYMLINK_FOLLOW) == 0)
            return temporary;
        if (errno != EEXIST)
            break;
    }
    return QByteArray();
}

// The rename itself reaches the disk with the folder.
void SyncFolder(const QByteArray &folder)
{
    const int dir = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

// Why `file` may not be replaced at all; empty when it may. A file without any write bit
// counts as read-only even for root.
QString Refusal(const QByteArray &file, bool exists, const struct stat &old)
{
    if (!exists)
        return {};
    if (!S_ISREG(old.st_mode))
        return QStringLiteral("%1 is not a regular file; it is left as it is.").arg(Shown(file));
    if (!(old.st_mode & 0222) || faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) != 0)
        return QStringLiteral("%1 may not be written.").arg(Shown(file));
    return {};
}

// Writes a new file beside `file` and renames it over `file` once every byte reached the disk
// with the owner and mode of the file it replaces; on any failure `file` stays as it was. Where
// O_TMPFILE is at hand the new file has no name until it is complete, so a crash leaves nothing
// behind. The rename replaces the name itself, never what a link put there meanwhile leads to.
bool ReplaceFile(const QByteArray &file, const std::function<bool(QIODevice *)> &write,
                 QString *error)
{
    struct stat old;
    const bool exists = lstat(file.constData(), &old) == 0;
    const QString refusal = Refusal(file, exists, old);
    if (!refusal.isEmpty())
        return Fail(error, refusal);
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : file.left(qMax<qsizetype>(slash, 1));

    QByteArray temporary; // the new file's name, once it has one
    const int fd = OpenNewFile(file, folder, &temporary);
    if (fd < 0)
        return Fail(error, SystemError(folder));
    QFile out;
    bool ok = (out.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
               Fail(error, out.errorString())) &&
        WriteAll(out, write, error) && FinishNewFile(fd, file, exists, old, error);
    if (ok && temporary.isEmpty()) {
        temporary = NameNewFile(fd, file);
        ok = !temporary.isEmpty() || Fail(error, SystemError(folder));
    }
    ok = ok &&
        (rename(temporary.constData(), file.constData()) == 0 || Fail(error, SystemError(file)));
    if (!ok && !temporary.isEmpty())
        unlink(temporary.constData());
    out.close();
    close(fd);
    if (ok)
        SyncFolder(folder);
    return ok;
}

#endif

} // namespace

bool CheckPathLinks(const QString &path, QString *error, QString *resolved)
{
#ifdef Q_OS_UNIX
    // Not cleaned: "link/.." is where the link leads, then up, as the system reads it.
    QStringList rest = (QDir::isAbsolutePath(path) ? path : QDir::currentPath() + u'/' + path)
                           .split(u'/', Qt::SkipEmptyParts);
    QString done; // the part checked, without links: "" for the root
    for (int links = 0; !rest.isEmpty();) {
        const QString part = rest.takeFirst();
        if (part == ".")
            continue;
        if (part == "..") {
            done = done.left(qMax<qsizetype>(done.lastIndexOf(u'/'), 0));
            continue;
        }
        const QByteArray name = QFile::encodeName(done + u'/' + part);
        struct stat st;
        if (lstat(name.constData(), &st) != 0) {
            rest.prepend(part); // nothing beyond a missing part can be a link yet
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            done += u'/' + part;
            continue;
        }
        QByteArray target;
        if (!LinkTarget(name, st.st_uid == geteuid() || st.st_uid == 0, &target, error))
            return false;
        if (++links > 40)
            return Fail(error, QStringLiteral("%1: too many levels of symbolic links.").arg(path));
        rest = QFile::decodeName(target).split(u'/', Qt::SkipEmptyParts) + rest;
        if (target.startsWith('/'))
            done.clear();
    }
    if (resolved)
        *resolved = done + u'/' + rest.join(u'/');
    if (resolved && rest.isEmpty())
        *resolved = done.isEmpty() ? QStringLiteral("/") : done;
    return true;
#else
    Q_UNUSED(error);
    if (resolved)
        *resolved = path;
    return true;
#endif
}

bool WriteFileAtomically(const QString &path, const std::function<bool(QIODevice *)> &write,
                         QString *error)
{
#ifdef Q_OS_UNIX
    QByteArray file;
    return CheckPathLinks(path, error) && FileToReplace(path, &file, error) &&
        ReplaceFile(file, write, error);
#else
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(error, file.errorString());
    if (!WriteAll(file, write, error)) {
        file.cancelWriting();
        return false;
    }
    return file.commit() || Fail(error, file.errorString());
#endif
}
