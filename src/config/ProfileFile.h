#pragma once
// One key of an INI file, read and written the way the Windows profile functions do it:
// sections and keys match case-insensitively (the first of a repeated section or key wins),
// values are trimmed and lose one pair of enclosing quotes, a missing file, section or key
// reads as the default, and a write creates what is missing while every other line of the
// file stays as it was. A write replaces the file atomically.

#include <QByteArray>
#include <QList>
#include <QString>

constexpr int kProfileValueChars = 259; // a 260-byte buffer with its terminator

QByteArray ReadProfileValue(const QByteArray &section, const QByteArray &key,
                            const QByteArray &defaultValue, const QString &path);
// Returns false when the file could not be written; the old file is then unchanged.
bool WriteProfileValue(const QByteArray &section, const QByteArray &key, const QByteArray &value,
                       const QString &path);

// The C library's atoi: leading blanks, an optional sign, then the leading digits.
int Atoi(const QByteArray &text);

// One line of an INI file's text, and its line end as the file has it.
struct Line
{
    QByteArray text; // without its line end
    QByteArray end; // "\n", "\r\n" or "" for a last line without one
};

// The lines of `data`, each with its own end, so that a rewrite keeps the file's line ends.
QList<Line> SplitLines(const QByteArray &data);
