#include "history/ChangeFormat.h"

#include "config/PointNames.h"

#include <QIODevice>
#include <QSet>

#include <algorithm>

ChunkWriter &ChunkWriter::operator<<(const QByteArray &text)
{
    m_buffer += text;
    if (m_buffer.size() >= kChunk)
        flush();
    return *this;
}

bool ChunkWriter::flush()
{
    if (m_ok && !m_buffer.isEmpty())
        m_ok = m_out->write(m_buffer) == m_buffer.size();
    m_buffer.clear();
    return m_ok;
}

QString UtcText(const QDateTime &startUtc, qint64 us)
{
    const qint64 total = startUtc.toMSecsSinceEpoch() * 1000 + us;
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(total / 1000, Qt::UTC);
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
        QStringLiteral("%1Z").arg(total % 1000, 3, 10, QLatin1Char('0'));
}

QString ElapsedText(qint64 us)
{
    return QStringLiteral("%1.%2").arg(us / 1000000).arg(us % 1000000, 6, 10, QLatin1Char('0'));
}

QString CsvField(const QString &text)
{
    // A spreadsheet runs a cell beginning with one of these as a formula; the quote makes it
    // text, and the spreadsheet does not show it.
    static const QString kFormulaStarts = QStringLiteral("=+-@");
    const QString cell =
        !text.isEmpty() && kFormulaStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
    if (!cell.contains(QLatin1Char(',')) && !cell.contains(QLatin1Char('"')) &&
        !cell.contains(QLatin1Char('\n')) && !cell.contains(QLatin1Char('\r')))
        return cell;
    QString quoted = cell;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CsvHeader()
{
    return QStringLiteral("time_utc,elapsed_s,card,direction,point,name,value");
}

QString CsvLine(const QDateTime &startUtc, qint64 us, int32_t card, PointDir dir, int point,
                const QString &name, int value)
{
    return UtcText(startUtc, us) + QLatin1Char(',') + ElapsedText(us) + QLatin1Char(',') +
        QString::number(card) + QLatin1Char(',') + DirText(dir) + QLatin1Char(',') +
        QString::number(point) + QLatin1Char(',') + CsvField(name) + QLatin1Char(',') +
        QString::number(value) + QLatin1Char('\n');
}

namespace {

QString VcdIdentifier(const QString &name)
{
    QString id;
    for (QChar c : name) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
            (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
        id += plain ? c : QLatin1Char('_');
    }
    if (!id.isEmpty() && id[0].isDigit())
        id.prepend(QLatin1Char('_'));
    return id;
}

} // namespace

QStringList VcdReferences(const std::vector<VcdPoint> &points)
{
    QStringList refs(qsizetype(points.size()));
    QSet<QString> used;
    // Names first, so that a name keeps its own reference ahead of a point's fixed key.
    for (const bool named : {true, false}) {
        for (size_t i = 0; i < points.size(); ++i) {
            const VcdPoint &p = points[i];
            const QString name = VcdIdentifier(p.name);
            if (name.isEmpty() == named)
                continue;
            const QString base = named ? name : PointKey(p.card, p.dir, p.point);
            QString ref = base;
            for (int n = 2; used.contains(ref); ++n)
                ref = base + QStringLiteral("_%1").arg(n);
            used.insert(ref);
            refs[qsizetype(i)] = ref;
        }
    }
    return refs;
}

QByteArray VcdCode(int n)
{
    QByteArray code;
    do {
        code.append(char('!' + n % 94));
        n /= 94;
    } while (n > 0);
    return code;
}

void VcdWriter::Begin(const QDateTime &startUtc, const QStringList &references,
                      const std::vector<int> &levels, qint64 startUs)
{
    m_w << "$date " << startUtc.toString(Qt::ISODate) << " $end\n"
        << "$version Orvane 14.0.0 $end\n"
        << "$comment times are microseconds since the recording began at " << UtcText(startUtc, 0)
        << " $end\n"
        << "$timescale 1us $end\n"
        << "$scope module orvane $end\n";
    m_codes.clear();
    for (int n = 0; n < int(references.size()); ++n) {
        m_codes.push_back(VcdCode(n));
        m_w << "$var wire 1 " << m_codes.back() << ' ' << references[n] << " $end\n";
    }
    m_w << "$upscope $end\n$enddefinitions $end\n";
    m_w << '#' + QByteArray::number(startUs) + "\n$dumpvars\n";
    for (size_t n = 0; n < m_codes.size(); ++n) {
        const int level = n < levels.size() ? levels[n] : -1;
        m_w << (level < 0 ? 'x' : level ? '1' : '0') + m_codes[n] + '\n';
    }
    m_w << "$end\n";
    m_shown = startUs;
}

void VcdWriter::At(qint64 us)
{
    if (us > m_shown) {
        m_w << '#' + QByteArray::number(us) + '\n';
        m_shown = us;
    }
}

void VcdWriter::Change(qint64 us, int wire, bool value)
{
    At(us);
    m_w << (value ? '1' : '0') + m_codes[size_t(wire)] + '\n';
}

bool VcdWriter::End(qint64 lastUs)
{
    m_w << '#' + QByteArray::number(std::max(lastUs, m_shown + 1)) + '\n';
    return m_w.flush();
}
