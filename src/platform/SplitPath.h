#pragma once
// Splits a path into drive, folder, file name and extension the way the C library's
// _splitpath_s does: "C:" when the second character is a colon, the folder up to and including
// the last "/" or "\" (both are separators on every platform), the extension from the last dot
// of the file name on. A part longer than kMaxPartChars empties every part, as the library
// does when a part does not fit its buffer.

#include <QString>

struct SplitPathParts
{
    QString drive;
    QString dir;
    QString fname;
    QString ext;
};

constexpr int kMaxPartChars = 259;

SplitPathParts SplitPath(const QString &path);
