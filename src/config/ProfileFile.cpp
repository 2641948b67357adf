#include "config/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <QSaveFile>
#include <algorithm>
#include <climits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Files larger than this are not profile files; reading them would only cost memory.
constexpr qint64 kMaxProfileBytes = 64 * 1024 * 1024;

bool SameName(const QByteArray &a, const QByteArray &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// "[name]" gives name; anything else gives a null array.
QByteArray SectionName(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return {};
    const qsizetype close = t.indexOf(']');
    return close < 0 ? t.mid(1).trimmed() : t.mid(1, close - 1).trimmed();
}

bool IsKeyLine(const QByteArray &line, const QByteArray &key, QByteArray *value)
{
    const QByteArray t = line.trimmed();
    if (t.startsWith(';'))
        return false;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0 || !SameName(t.left(eq), key))
        return false;
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return true;
}

QByteArray Unquote(QByteArray value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

bool ReadFile(const QString &path, QByteArray *data, bool *hadBom = nullptr)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() > kMaxProfileBytes ||
        !file.open(QIODevice::ReadOnly))
        return false;
    *data = file.readAll();
    const bool bom = data->startsWith("\xEF\xBB\xBF");
    if (bom)
        data->remove(0, 3);
    if (hadBom)
        *hadBom = bom;
    return true;
}

// The line range [begin, end) of the first section named `section`, or begin = -1.
void FindSection(const QList<Line> &lines, const QByteArray &section, int *begin, int *end)
{
    *begin = *end = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray name = SectionName(lines[i].text);
        if (name.isNull())
            continue;
        if (*begin >= 0) {
            *end = i;
            return;
        }
        if (SameName(name, section))
            *begin = i + 1;
    }
    if (*begin >= 0)
        *end = int(lines.size());
}

#ifdef Q_OS_UNIX

// The file a write replaces: `path` itself, or the file its links lead to. A link is followed
// only when it belongs to the running user (a portable setup may link the file on purpose), so
// nobody else can point our writes at a file of their choosing. False for someone else's link,
// a loop or an unreadable link.
bool FileToReplace(const QString &path, QByteArray *file)
{
    QByteArray name = QFile::encodeName(path);
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *file = name; // a missing file is created where the last link points
            return true;
        }
        if (st.st_uid != geteuid())
            return false;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = readlink(name.constData(), target.data(), target.size());
        if (n <= 0 || n >= target.size())
            return false;
        target.truncate(n);
        const qsizetype slash = name.lastIndexOf('/');
        name = target.startsWith('/') || slash < 0 ? target : name.left(slash + 1) + target;
    }
    return false;
}

bool WriteAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
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

// Every byte written and on the disk, with the owner and mode of the file replaced (`old`,
// when it `exists`).
bool WriteNewFile(int fd, const QByteArray &data, bool exists, const struct stat &old)
{
    struct stat now;
    bool ok = WriteAll(fd, data) && fstat(fd, &now) == 0;
    // Where the owner cannot be kept the file is left as it was. The owner first: changing it
    // clears the set-id bits of the mode.
    if (ok && exists && (now.st_uid != old.st_uid || now.st_gid != old.st_gid))
        ok = fchown(fd, old.st_uid, old.st_gid) == 0;
    if (ok && exists)
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    return ok && fsync(fd) == 0;
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

// Writes `data` to a new file beside `file` and renames it over `file` once every byte reached
// the disk with the owner and mode of the file it replaces; on any failure `file` stays as it
// was. Where O_TMPFILE is at hand the new file has no name until it is complete, so a crash
// leaves nothing behind.
bool ReplaceContents(const QByteArray &file, const QByteArray &data)
{
    struct stat old;
    const bool exists = lstat(file.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return false;
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : file.left(qMax<qsizetype>(slash, 1));

    QByteArray temporary; // the new file's name, once it has one
    const int fd = OpenNewFile(file, folder, &temporary);
    if (fd < 0)
        return false;
    bool ok = WriteNewFile(fd, data, exists, old);
    if (ok && temporary.isEmpty()) {
        temporary = NameNewFile(fd, file);
        ok = !temporary.isEmpty();
    }
    ok = ok && rename(temporary.constData(), file.constData()) == 0;
    if (!ok && !temporary.isEmpty())
        unlink(temporary.constData());
    close(fd);
    if (ok)
        SyncFolder(folder);
    return ok;
}

#endif

} // namespace

QByteArray ReadProfileValue(const QByteArray &section, const QByteArray &key,
                            const QByteArray &defaultValue, const QString &path)
{
    QByteArray data;
    QByteArray result = defaultValue;
    if (ReadFile(path, &data)) {
        const QList<Line> lines = SplitLines(data);
        int begin, end;
        FindSection(lines, section, &begin, &end);
        for (int i = begin; i >= 0 && i < end; ++i) {
            QByteArray value;
            if (IsKeyLine(lines[i].text, key, &value)) {
                result = Unquote(value);
                break;
            }
        }
    }
    // A NUL ends the text, as it would in the caller's buffer.
    const qsizetype nul = result.indexOf('\0');
    if (nul >= 0)
        result.truncate(nul);
    return result.left(kProfileValueChars);
}

namespace {

// The file's text for a write of one key: false when the file is there but may not be
// written or read. A file without any write bit counts as read-only even for root, as the
// read-only attribute does on Windows.
bool ReadForWrite(const QString &path, QByteArray *data, bool *hadBom)
{
    const QFileInfo info(path);
    const bool readOnly =
        !(info.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
    return !info.exists() ||
        (info.isFile() && !readOnly && info.isWritable() && ReadFile(path, data, hadBom));
}

// Sets the key's line in the section, adding what is missing.
void SetKeyLine(QList<Line> &lines, const QByteArray &section, const QByteArray &key,
                const QByteArray &keyLine)
{
    QByteArray eol = "\n";
    for (const Line &l : lines)
        if (!l.end.isEmpty()) {
            eol = l.end;
            break;
        }
    int begin, end;
    FindSection(lines, section, &begin, &end);
    if (begin < 0) {
        if (!lines.isEmpty() && lines.back().end.isEmpty())
            lines.back().end = eol;
        lines.append({'[' + section + ']', eol});
        lines.append({keyLine, eol});
        return;
    }
    for (int i = begin; i < end; ++i)
        if (IsKeyLine(lines[i].text, key, nullptr)) {
            lines[i].text = keyLine;
            return;
        }
    // After the section's last non-blank line, as the profile functions do.
    int insert = end;
    while (insert > begin && lines[insert - 1].text.trimmed().isEmpty())
        --insert;
    if (insert > 0 && lines[insert - 1].end.isEmpty())
        lines[insert - 1].end = eol;
    lines.insert(insert, {keyLine, eol});
}

} // namespace

bool WriteProfileValue(const QByteArray &section, const QByteArray &key, const QByteArray &value,
                       const QString &linkPath)
{
#ifdef Q_OS_UNIX
    QByteArray file;
    if (!FileToReplace(linkPath, &file))
        return false;
    const QString path = QFile::decodeName(file);
#else
    const QString &path = linkPath;
#endif
    QByteArray data;
    bool hadBom = false;
    if (!ReadForWrite(path, &data, &hadBom))
        return false;

    QList<Line> lines = SplitLines(data);
    SetKeyLine(lines, section, key, key.trimmed() + '=' + value);
    QByteArray out;
    if (hadBom)
        out = "\xEF\xBB\xBF";
    for (const Line &l : lines)
        out += l.text + l.end;

#ifdef Q_OS_UNIX
    return ReplaceContents(file, out);
#else
    QSaveFile saved(path);
    return saved.open(QIODevice::WriteOnly) && saved.write(out) == out.size() && saved.commit();
#endif
}

int Atoi(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX + 1LL)
            value = INT_MAX + 1LL; // saturate instead of overflowing
    }
    if (negative)
        value = -value;
    return int(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

QList<Line> SplitLines(const QByteArray &data)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype nl = data.indexOf('\n', start);
        if (nl < 0) {
            lines.append({data.mid(start), {}});
            break;
        }
        const bool crlf = nl > start && data[nl - 1] == '\r';
        lines.append({data.mid(start, nl - start - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}
