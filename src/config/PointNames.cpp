#include "config/PointNames.h"

#include "config/AtomicFile.h"
#include "config/FolderLock.h"
#include "config/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A names file is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;
const QByteArray kBom = "\xEF\xBB\xBF";

// The card number of a "[CardN]" line; -1 for any other line.
int32_t SectionCard(const QByteArray &line, bool *isSection)
{
    static const QRegularExpression card(QStringLiteral("^card\\s*(\\d{1,9})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QByteArray t = line.trimmed();
    *isSection = t.startsWith('[');
    if (!*isSection)
        return -1;
    const qsizetype close = t.indexOf(']');
    const QString name = QString::fromUtf8(close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    const QRegularExpressionMatch m = card.match(name);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// A "InK=..." or "OutK=..." line: its direction, point and value.
bool PointLine(const QByteArray &line, PointDir *dir, int *point, QByteArray *value)
{
    static const QRegularExpression key(QStringLiteral("^(in|out)(\\d{1,2})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QByteArray t = line.trimmed();
    const qsizetype eq = t.indexOf('=');
    if (t.startsWith(';') || t.startsWith('#') || eq < 0)
        return false;
    const QRegularExpressionMatch m = key.match(QString::fromUtf8(t.left(eq)).trimmed());
    if (!m.hasMatch() || m.captured(2).toInt() >= kNamedPoints)
        return false;
    *dir = m.captured(1).compare(QLatin1String("in"), Qt::CaseInsensitive) == 0 ? PointDir::In
                                                                                : PointDir::Out;
    *point = m.captured(2).toInt();
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return true;
}

bool Quoted(const QByteArray &v)
{
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

QString DecodeValue(QByteArray value)
{
    if (Quoted(value))
        value = value.mid(1, value.size() - 2);
    return CleanName(QString::fromUtf8(value));
}

QByteArray EncodeValue(const QString &name)
{
    const QByteArray v = name.toUtf8();
    // A name that is itself quoted keeps its quotes through the reader's unquoting.
    return Quoted(v) ? '"' + v + '"' : v;
}

bool ReadNamesFile(const QString &path, QByteArray *data)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly))
        return false;
    *data = file.read(kMaxFileBytes + 1);
    return data->size() <= kMaxFileBytes;
}

} // namespace

bool CardNames::isEmpty() const
{
    for (const auto &dir : names)
        for (const QString &n : dir)
            if (!n.isEmpty())
                return false;
    return true;
}

QString DirText(PointDir dir)
{
    return dir == PointDir::In ? QStringLiteral("in") : QStringLiteral("out");
}

QString PointLabel(PointDir dir, int point, const QString &name)
{
    const QString label =
        (dir == PointDir::In ? QStringLiteral("Input %1") : QStringLiteral("Output %1")).arg(point);
    return name.isEmpty() ? label : label + QStringLiteral(", ") + name;
}

QString PointKey(int32_t card, PointDir dir, int point)
{
    return QStringLiteral("card%1_%2%3").arg(card).arg(DirText(dir)).arg(point);
}

QString CleanName(const QString &name)
{
    QString clean = name;
    for (QChar &c : clean)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return clean.trimmed();
}

QString NamesProblem(const CardNames &names)
{
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    QHash<QString, QString> labels; // name folded to lower case -> the first point's label
    for (PointDir dir : {PointDir::In, PointDir::Out})
        for (int p = 0; p < kNamedPoints; ++p) {
            const QString name = CleanName(names.at(dir, p));
            if (name.isEmpty())
                continue;
            if (number.match(name).hasMatch())
                return QStringLiteral("%1 cannot be named \"%2\": a number stands for a point.")
                    .arg(PointLabel(dir, p), name);
            const QString folded = name.toCaseFolded();
            if (labels.contains(folded))
                return QStringLiteral("%1 and %2 are both named \"%3\": the names of a board "
                                      "must differ, not only in case.")
                    .arg(labels.value(folded), PointLabel(dir, p), name);
            labels.insert(folded, PointLabel(dir, p));
        }
    return {};
}

QHash<int32_t, CardNames> ParseNames(const QByteArray &text)
{
    QHash<int32_t, CardNames> cards;
    QHash<int32_t, bool> seen; // the first section of a card wins, as with every profile file
    CardNames *current = nullptr;
    std::array<std::array<bool, kNamedPoints>, 2> given{};
    for (const Line &line : SplitLines(text.startsWith(kBom) ? text.mid(3) : text)) {
        bool isSection = false;
        const int32_t card = SectionCard(line.text, &isSection);
        if (isSection) {
            current = nullptr;
            if (card >= 0 && !seen.value(card)) {
                seen.insert(card, true);
                current = &cards[card];
                given = {};
            }
            continue;
        }
        PointDir dir;
        int point;
        QByteArray value;
        if (!current || !PointLine(line.text, &dir, &point, &value) || given[int(dir)][point])
            continue;
        given[int(dir)][point] = true;
        current->at(dir, point) = DecodeValue(value);
    }
    for (auto it = cards.begin(); it != cards.end();)
        it = it->isEmpty() ? cards.erase(it) : std::next(it);
    return cards;
}

namespace {

// The end of the first line that has one; a newline without any.
QByteArray LineEnd(const QList<Line> &lines)
{
    for (const Line &l : lines)
        if (!l.end.isEmpty())
            return l.end;
    return "\n";
}

// The first section of the card: its header line (-1: none) and the end of its lines.
std::pair<int, int> CardSection(const QList<Line> &lines, int32_t card)
{
    int header = -1;
    for (int i = 0; i < lines.size(); ++i) {
        bool isSection = false;
        const int32_t c = SectionCard(lines[i].text, &isSection);
        if (!isSection)
            continue;
        if (header >= 0)
            return {header, i};
        if (c == card)
            header = i;
    }
    return {header, int(lines.size())};
}

// One key line per named point, inputs first.
QList<Line> NameLines(const CardNames &names, const QByteArray &eol)
{
    QList<Line> keys;
    for (PointDir dir : {PointDir::In, PointDir::Out})
        for (int p = 0; p < kNamedPoints; ++p) {
            const QString name = CleanName(names.at(dir, p));
            if (!name.isEmpty())
                keys.append({(dir == PointDir::In ? "In" : "Out") + QByteArray::number(p) + '=' +
                                 EncodeValue(name),
                             eol});
        }
    return keys;
}

// A new section for the card at the end, after a blank line.
void AppendSection(QList<Line> &lines, int32_t card, const QList<Line> &keys, const QByteArray &eol)
{
    if (!lines.isEmpty() && lines.back().end.isEmpty())
        lines.back().end = eol;
    if (!lines.isEmpty() && !lines.back().text.trimmed().isEmpty())
        lines.append({{}, eol});
    lines.append({"[Card" + QByteArray::number(card) + ']', eol});
    lines.append(keys);
}

// The section's point keys replaced by `keys`; its other lines stay.
void ReplaceSectionKeys(QList<Line> &lines, int header, int end, const QList<Line> &keys,
                        const QByteArray &eol)
{
    for (int i = end - 1; i > header; --i) {
        PointDir dir;
        int point;
        if (PointLine(lines[i].text, &dir, &point, nullptr)) {
            lines.removeAt(i);
            --end;
        }
    }
    int insert = end;
    while (insert > header + 1 && lines[insert - 1].text.trimmed().isEmpty())
        --insert;
    if (keys.isEmpty() && insert == header + 1) {
        // Nothing is left in the section: it goes, with the blank lines that followed it.
        lines.erase(lines.begin() + header, lines.begin() + end);
        return;
    }
    if (lines[insert - 1].end.isEmpty())
        lines[insert - 1].end = eol;
    for (int k = 0; k < keys.size(); ++k)
        lines.insert(insert + k, keys[k]);
}

} // namespace

QByteArray WithCardNames(const QByteArray &text, int32_t card, const CardNames &names)
{
    const bool bom = text.startsWith(kBom);
    QList<Line> lines = SplitLines(bom ? text.mid(3) : text);
    const QByteArray eol = LineEnd(lines);
    const auto [header, end] = CardSection(lines, card);
    const QList<Line> keys = NameLines(names, eol);
    if (header < 0) {
        if (keys.isEmpty())
            return text;
        AppendSection(lines, card, keys, eol);
    } else {
        ReplaceSectionKeys(lines, header, end, keys, eol);
    }

    QByteArray out = bom ? kBom : QByteArray();
    for (const Line &l : lines)
        out += l.text + l.end;
    return out;
}

CardNames MergedNames(const CardNames &current, const CardNames &base, const CardNames &edited)
{
    CardNames merged = current;
    for (PointDir dir : {PointDir::In, PointDir::Out})
        for (int p = 0; p < kNamedPoints; ++p)
            if (CleanName(edited.at(dir, p)) != base.at(dir, p))
                merged.at(dir, p) = CleanName(edited.at(dir, p));
    return merged;
}

QString PointNames::PathBeside(const QString &settingsPath)
{
    return QFileInfo(settingsPath).dir().filePath(QStringLiteral("OrvanePointNames.ini"));
}

void PointNames::Load(const QString &path)
{
    m_path = path;
    QByteArray data;
    const bool read = ReadNamesFile(path, &data);
    const QFileInfo info(path);
    m_loadError = read || (!info.exists() && !info.isSymLink()) ? QString()
        : !info.isFile() ? QStringLiteral("it is not a regular file")
        : info.size() > kMaxFileBytes
        ? QStringLiteral("it is larger than %1 MiB").arg(kMaxFileBytes >> 20)
        : QStringLiteral("it cannot be read");
    const QHash<int32_t, CardNames> cards = read ? ParseNames(data) : QHash<int32_t, CardNames>();
    if (cards == m_cards)
        return;
    m_cards = cards;
    emit changed();
}

QString PointNames::Name(int32_t card, PointDir dir, int point) const
{
    if (point < 0 || point >= kNamedPoints)
        return {};
    const auto it = m_cards.constFind(card);
    return it == m_cards.cend() ? QString() : it->at(dir, point);
}

bool PointNames::SaveCard(int32_t card, const CardNames &names, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_path.isEmpty())
        return fail(QStringLiteral("No place for the names file."));
    // Another program may save the same file: read, merge and replace it in turn.
    const FolderLock lock(QFileInfo(m_path).absolutePath());
    if (!lock.isLocked())
        return fail(lock.error());
    QByteArray old;
    // Whatever else stands in the file's place is the writer's to refuse.
    if (QFileInfo(m_path).isFile() && !ReadNamesFile(m_path, &old))
        return fail(QStringLiteral("%1 cannot be read.").arg(QDir::toNativeSeparators(m_path)));

    // Only the points changed since these names were read are written; the others keep what
    // the file says now, which another program may have saved meanwhile.
    const CardNames merged = MergedNames(ParseNames(old).value(card), m_cards.value(card), names);
    const QByteArray text = WithCardNames(old, card, merged);
    QString why;
    if (!WriteFileAtomically(
            m_path, [&text](QIODevice *out) { return out->write(text) == text.size(); }, &why))
        return fail(why);

    // What the file now says is what is shown, cleaned names and all.
    const CardNames stored = ParseNames(text).value(card);
    if (stored.isEmpty())
        m_cards.remove(card);
    else
        m_cards.insert(card, stored);
    emit changed();
    return true;
}

bool PointNames::Find(int32_t card, const QString &name, PointDir *dir, int *point,
                      std::optional<PointDir> only) const
{
    const QString wanted = name.trimmed();
    const auto it = m_cards.constFind(card);
    if (wanted.isEmpty() || it == m_cards.cend())
        return false;
    for (PointDir d : {PointDir::In, PointDir::Out})
        for (int p = 0; p < kNamedPoints && (!only || *only == d); ++p)
            if (it->at(d, p).compare(wanted, Qt::CaseInsensitive) == 0) {
                *dir = d;
                *point = p;
                return true;
            }
    return false;
}
