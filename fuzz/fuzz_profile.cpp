// Fuzzes the profile-file reader and writer. The input's first line is "section<TAB>key<TAB>
// value"; the rest is written as the profile file. The key is read, then written, and:
// - a read never returns more than the buffer holds, nor a NUL;
// - the write succeeds and keeps every other line of the file as it was (only the key's own
//   line changes, or the key's line, or the section header with it, is added);
// - a well-formed key then reads back as the value written, and writing it again changes
//   nothing;
// - Atoi reads what the C library's strtol reads, bounded to int.
#include "config/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryDir>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok, const char *what, const QByteArray &input)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_profile: %s\ninput: %s\n", what, input.toPercentEncoding().data());
    std::abort();
}

// On a memory file system where there is one: every write syncs the file to disk.
QString TempTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/fuzz_profile-XXXXXX");
}

const QString &FilePath()
{
    static QTemporaryDir dir(TempTemplate());
    static const QString path = dir.filePath(QStringLiteral("Orvane.ini"));
    return path;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        std::abort();
}

const QByteArray kBom = "\xEF\xBB\xBF";

// The file's lines, split at "\n" only (a "\r" stays in its line), without the empty piece
// after a final line end.
QList<QByteArray> Lines(QByteArray data, bool *terminated)
{
    if (data.startsWith(kBom))
        data.remove(0, kBom.size());
    *terminated = data.isEmpty() || data.endsWith('\n');
    QList<QByteArray> lines = data.split('\n');
    if (data.isEmpty() || data.endsWith('\n'))
        lines.removeLast();
    return lines;
}

QByteArray NoCr(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

bool IsLineOfKey(const QByteArray &line, const QByteArray &key)
{
    const QByteArray t = line.trimmed();
    const qsizetype eq = t.indexOf('=');
    return !t.startsWith(';') && eq >= 0 &&
        t.left(eq).trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0;
}

bool HasAny(const QByteArray &text, const char *bytes, int n)
{
    for (int i = 0; i < n; ++i)
        if (text.contains(bytes[i]))
            return true;
    return false;
}

// Names and values the reader finds again exactly as written.
bool WellFormed(const QByteArray &section, const QByteArray &key, const QByteArray &value)
{
    const char breaks[] = {'\n', '\r', '\0'};
    const QByteArray k = key.trimmed();
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front();
    return !section.trimmed().isEmpty() && !HasAny(section, breaks, 3) && !section.contains(']') &&
        !k.isEmpty() && !HasAny(key, breaks, 3) && !k.contains('=') && !k.startsWith(';') &&
        !k.startsWith('[') && !HasAny(value, breaks, 3) && value == value.trimmed() && !quoted &&
        value.size() <= kProfileValueChars;
}

void CheckAtoi(const QByteArray &text, const QByteArray &input)
{
    const std::string s(text.constData(), qstrnlen(text.constData(), size_t(text.size())));
    const long long expected = std::strtoll(s.c_str(), nullptr, 10);
    const long long bounded = expected < INT_MIN ? INT_MIN
        : expected > INT_MAX                     ? INT_MAX
                                                 : expected;
    Check(Atoi(text) == bounded, "Atoi differs from strtol", input);
}

void CheckKept(const QByteArray &before, const QByteArray &after, const QByteArray &section,
               const QByteArray &key, const QByteArray &keyLine, const QByteArray &input)
{
    Check(before.startsWith(kBom) == after.startsWith(kBom), "byte-order mark changed", input);
    bool terminated = true, dummy = true;
    const QList<QByteArray> b = Lines(before, &terminated);
    QList<QByteArray> a = Lines(after, &dummy);
    // An unterminated last line that no longer is the last may have been given a line end.
    if (!terminated && a.size() >= b.size() && a.back() != b.back() &&
        a[b.size() - 1] == b.back() + '\r')
        a[b.size() - 1] = b.back();

    qsizetype prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const QList<QByteArray> removed = b.mid(prefix, b.size() - prefix - suffix);
    const QList<QByteArray> added = a.mid(prefix, a.size() - prefix - suffix);

    if (removed.isEmpty() && added.isEmpty())
        return; // the key's line was rewritten as it was
    Check(removed.size() <= 1, "the write removed or changed other lines", input);
    if (removed.size() == 1) {
        Check(IsLineOfKey(removed[0], key), "the write changed a line not of its key", input);
        Check(added.size() == 1 && NoCr(added[0]) == keyLine, "the key's line not replaced", input);
        return;
    }
    const bool keyOnly = added.size() == 1 && NoCr(added[0]) == keyLine;
    const bool withSection =
        added.size() == 2 && NoCr(added[0]) == '[' + section + ']' && NoCr(added[1]) == keyLine;
    Check(keyOnly || withSection, "the write added other lines", input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nl = input.indexOf('\n');
    const QByteArray control = nl < 0 ? input : input.left(nl);
    const QByteArray content = nl < 0 ? QByteArray() : input.mid(nl + 1);
    const QList<QByteArray> fields = control.split('\t');
    const QByteArray section = fields.value(0);
    const QByteArray key = fields.value(1);
    const QByteArray value = fields.value(2);

    const QString &path = FilePath();
    WriteAll(path, content);

    const QByteArray missing = "\x01missing";
    const QByteArray read = ReadProfileValue(section, key, missing, path);
    Check(read.size() <= kProfileValueChars && !read.contains('\0'), "read too long or NUL", input);
    CheckAtoi(read, input);
    CheckAtoi(value, input);

    Check(WriteProfileValue(section, key, value, path), "the write failed", input);
    const QByteArray after = ReadAll(path);
    if (qEnvironmentVariableIsSet("FUZZ_PROFILE_SHOW"))
        std::fprintf(stderr, "after the write: %s\n", after.toPercentEncoding().data());
    const QByteArray keyLine = key.trimmed() + '=' + value;
    const char breaks[] = {'\n', '\r'};
    if (!HasAny(section, breaks, 2) && !HasAny(key, breaks, 2) && !HasAny(value, breaks, 2))
        CheckKept(content, after, section, key, keyLine, input);

    if (WellFormed(section, key, value)) {
        Check(ReadProfileValue(section, key, missing, path) == value,
              "the value read back is not the value written", input);
        Check(WriteProfileValue(section, key, value, path), "the rewrite failed", input);
        Check(ReadAll(path) == after, "writing the same value again changed the file", input);
    }
    return 0;
}
