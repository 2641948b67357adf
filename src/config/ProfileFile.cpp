#include "config/ProfileFile.h"

#include "config/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <algorithm>
#include <climits>

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

// The file's text for a write of one key: false when the file is there but cannot be read.
// Whether it may be replaced is the writer's question.
bool ReadForWrite(const QString &path, QByteArray *data, bool *hadBom)
{
    const QFileInfo info(path);
    return !info.exists() || (info.isFile() && ReadFile(path, data, hadBom));
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
                       const QString &path)
{
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
    // The writer follows only the user's own links and keeps the replaced file's owner and mode.
    return WriteFileAtomically(path,
                               [&out](QIODevice *file) { return file->write(out) == out.size(); });
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
