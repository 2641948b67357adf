// Fuzzes the log path split: the path as Log Level Setup gets it (a 260-byte buffer, read in
// the local 8-bit encoding) and the whole input as UTF-8. The parts must put the path back
// together, each in its place, or all be empty when one part is too long.
#include "platform/SplitPath.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

bool IsSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

void Check(bool ok, const char *what, const QString &path)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_splitpath: %s for \"%s\"\n", what, qPrintable(path));
    std::abort();
}

void CheckSplit(const QString &path)
{
    const SplitPathParts p = SplitPath(path);
    const QString joined = p.drive + p.dir + p.fname + p.ext;
    if (joined.isEmpty()) {
        // Only a part too long for its buffer empties them all.
        Check(path.isEmpty() || path.size() > kMaxPartChars, "a short path lost its parts", path);
        return;
    }
    Check(joined == path, "the parts do not make up the path", path);
    for (const QString *part : {&p.drive, &p.dir, &p.fname, &p.ext})
        Check(part->size() <= kMaxPartChars, "a part is too long", path);
    Check(p.drive.isEmpty() || (p.drive.size() == 2 && p.drive[1] == u':'), "bad drive", path);
    Check(p.dir.isEmpty() || IsSeparator(p.dir.back()), "folder without its separator", path);
    for (const QString *part : {&p.fname, &p.ext})
        for (QChar c : *part)
            Check(!IsSeparator(c), "a separator after the folder", path);
    Check(p.ext.isEmpty() || (p.ext.front() == u'.' && p.ext.count(u'.') == 1),
          "extension not from the last dot", path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    char buffer[kMaxPartChars + 1] = {};
    for (size_t i = 0; i < size && i < sizeof buffer - 1; ++i)
        buffer[i] = char(data[i]);
    CheckSplit(QString::fromLocal8Bit(buffer));

    CheckSplit(QString::fromUtf8(bytes));
    return 0;
}
