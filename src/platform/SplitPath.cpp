#include "platform/SplitPath.h"

SplitPathParts SplitPath(const QString &path)
{
    SplitPathParts parts;
    qsizetype start = 0;
    if (path.size() >= 2 && path[1] == QLatin1Char(':')) {
        parts.drive = path.left(2);
        start = 2;
    }
    qsizetype nameStart = start; // just after the last separator
    qsizetype dot = -1;
    for (qsizetype i = start; i < path.size(); ++i) {
        if (path[i] == QLatin1Char('/') || path[i] == QLatin1Char('\\'))
            nameStart = i + 1;
        else if (path[i] == QLatin1Char('.'))
            dot = i;
    }
    parts.dir = path.mid(start, nameStart - start);
    if (dot >= nameStart) {
        parts.fname = path.mid(nameStart, dot - nameStart);
        parts.ext = path.mid(dot);
    } else {
        parts.fname = path.mid(nameStart);
    }
    for (const QString *part : {&parts.drive, &parts.dir, &parts.fname, &parts.ext})
        if (part->size() > kMaxPartChars)
            return {};
    return parts;
}
