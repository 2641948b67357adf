#include "history/ChangeFormat.h"

#include "config/PointNames.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <ctime>

ChunkWriter &ChunkWriter::operator<<(const QByteArray &text)
{
    m_buffer += text;
    if (m_buffer.size() >= kChunk)
        flush();
    return *this;
}

bool ChunkWriter::flush()
{
    // A pipe may take part of a piece; the rest is written again, so that a failure shows with
    // its reason (a reader that has gone) at once.
    for (qsizetype done = 0; m_ok && done < m_buffer.size();) {
        const qint64 n = m_out->write(m_buffer.constData() + done, m_buffer.size() - done);
        m_ok = n > 0;
        done += n;
    }
    m_buffer.clear();
    return m_ok;
}

QByteArray ChangeTime(int64_t us, bool local)
{
    const int64_t micro = ((us % 1'000'000) + 1'000'000) % 1'000'000;
    const time_t seconds = time_t((us - micro) / 1'000'000);
    tm parts = {};
    if (local)
        localtime_r(&seconds, &parts);
    else
        gmtime_r(&seconds, &parts);
    char text[80];
    size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    n += size_t(std::snprintf(text + n, sizeof text - n, ".%06lld", static_cast<long long>(micro)));
    if (!local) {
        std::snprintf(text + n, sizeof text - n, "Z");
    } else {
        const long offset = parts.tm_gmtoff / 60; // minutes east of UTC
        const long magnitude = offset < 0 ? -offset : offset;
        std::snprintf(text + n, sizeof text - n, "%c%02ld:%02ld", offset < 0 ? '-' : '+',
                      magnitude / 60, magnitude % 60);
    }
    return QByteArray(text);
}

QString ChangeLine(const ChangeEvent &c, bool local)
{
    return QStringLiteral("%1 %2 %3 %4 %5")
               .arg(QString::fromLatin1(ChangeTime(c.timeUs, local)))
               .arg(c.card)
               .arg(DirText(c.dir))
               .arg(c.point)
               .arg(c.value ? 1 : 0) +
        (c.name.isEmpty() ? QString() : u' ' + c.name);
}

QByteArray ChangeJson(const ChangeEvent &c, bool local)
{
    QByteArray json = "{\"time\": \"" + ChangeTime(c.timeUs, local) +
        "\", \"card\": " + QByteArray::number(c.card) + ", \"dir\": \"" +
        DirText(c.dir).toLatin1() + "\", \"point\": " + QByteArray::number(c.point) +
        ", \"value\": " + (c.value ? "1" : "0");
    if (!c.name.isEmpty()) {
        // The name as a JSON string, with its quotes.
        const QByteArray array = QJsonDocument(QJsonArray{c.name}).toJson(QJsonDocument::Compact);
        json += ", \"name\": " + array.mid(1, array.size() - 2);
    }
    return json + '}';
}

QString UtcText(const QDateTime &startUtc, qint64 us)
{
    return QString::fromLatin1(ChangeTime(startUtc.toMSecsSinceEpoch() * 1000 + us));
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
    return QStringLiteral("time_utc,elapsed_s,card,direction,point,name,value,event");
}

qint64 VcdTickUs(qint64 pollIntervalUs)
{
    qint64 tick = 1;
    while (tick < 1'000'000 && tick * 10 * 2 <= pollIntervalUs)
        tick *= 10;
    return tick;
}

QString VcdReference(const ExportPoint &point)
{
    QString ref =
        QStringLiteral("c%1_%2%3").arg(point.card).arg(DirText(point.dir)).arg(point.point);
    // Accents become their base letters; what is left outside ASCII letters and digits
    // becomes one "_" per run, none at the end.
    const QString name = point.name.normalized(QString::NormalizationForm_KD);
    bool gap = true;
    for (QChar c : name) {
        if (c.isMark())
            continue;
        const bool plain = c.unicode() < 128 && c.isLetterOrNumber();
        if (plain && gap)
            ref += QLatin1Char('_');
        if (plain)
            ref += c;
        gap = !plain;
    }
    return ref;
}

QStringList VcdReferences(const std::vector<ExportPoint> &points)
{
    QStringList refs;
    for (const ExportPoint &p : points)
        refs << VcdReference(p);
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

namespace {

const char *const kUnitNames[] = {"us", "ms", "s"};

// "1ms", "100us": the VCD timescale of a tick.
QByteArray TimescaleText(qint64 tickUs)
{
    int unit = 0;
    while (unit < 2 && tickUs >= 1000) {
        tickUs /= 1000;
        ++unit;
    }
    return QByteArray::number(tickUs) + kUnitNames[unit];
}

// A name in the wire map: quoted, with "\" and quotes escaped, line ends as "\n", and "$" as
// "\x24" so that no name can end the comment, whichever way a reader looks for its end.
QByteArray MapName(const QString &name)
{
    QString text = name;
    text.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'$', QStringLiteral("\\x24"))
        .replace(u'\n', QStringLiteral("\\n"))
        .replace(u'\r', QStringLiteral("\\r"));
    return '"' + text.toUtf8() + '"';
}

} // namespace

ChangeFileWriter::ChangeFileWriter(QIODevice *out, ChangeFileFormat format, qint64 pollIntervalUs)
    : m_w(out)
    , m_format(format)
    , m_tickUs(VcdTickUs(pollIntervalUs))
{
}

void ChangeFileWriter::Begin(const QDateTime &startUtc, const std::vector<ExportPoint> &points,
                             qint64 startUs)
{
    m_startUtc = startUtc;
    m_points = points;
    m_codes.clear();
    for (size_t n = 0; n < points.size(); ++n)
        m_codes.push_back(VcdCode(int(n)));
    m_lastTick.assign(points.size(), startUs / m_tickUs);
    m_shown = startUs / m_tickUs;
    if (m_format == ChangeFileFormat::Csv) {
        m_w << CsvHeader() << "\n";
        for (size_t n = 0; n < points.size(); ++n)
            if (points[n].startValue >= 0)
                CsvRow(startUs, int(n), points[n].startValue, "start");
        return;
    }
    VcdHeader(startUtc);
    m_w << '#' + QByteArray::number(m_shown) + "\n$dumpvars\n";
    for (size_t n = 0; n < points.size(); ++n) {
        const int level = points[n].startValue;
        m_w << (level < 0 ? 'x' : level ? '1' : '0') + m_codes[n] + '\n';
    }
    m_w << "$end\n";
}

void ChangeFileWriter::VcdHeader(const QDateTime &startUtc)
{
    m_w << "$date " << startUtc.toString(Qt::ISODate) << " $end\n"
        << "$version Orvane 14.0.0 $end\n"
        << "$comment times are in steps of the timescale since the recording began at "
        << UtcText(startUtc, 0) << " $end\n"
        << "$timescale " << TimescaleText(m_tickUs) << " $end\n";
    const QStringList refs = VcdReferences(m_points);
    for (size_t n = 0; n < m_points.size(); ++n) {
        const int32_t card = m_points[n].card;
        if (n == 0 || m_points[n - 1].card != card)
            m_w << "$scope module card" << QByteArray::number(card) << " $end\n";
        m_w << "$var wire 1 " << m_codes[n] << ' ' << refs[qsizetype(n)] << " $end\n";
        if (n + 1 == m_points.size() || m_points[n + 1].card != card)
            m_w << "$upscope $end\n";
    }
    // The wire map: code, reference, card, direction, point and the full name.
    m_w << "$comment wires\n";
    for (size_t n = 0; n < m_points.size(); ++n) {
        const ExportPoint &p = m_points[n];
        m_w << "wire " << m_codes[n] << ' ' << refs[qsizetype(n)] << " card "
            << QByteArray::number(p.card) << ' ' << DirText(p.dir) << ' '
            << QByteArray::number(p.point) << ' ' << MapName(p.name) << '\n';
    }
    m_w << "$end\n$enddefinitions $end\n";
}

void ChangeFileWriter::CsvRow(qint64 us, int wire, int value, const char *event)
{
    const ExportPoint &p = m_points[size_t(wire)];
    m_w << UtcText(m_startUtc, us) + QLatin1Char(',') + ElapsedText(us) + QLatin1Char(',') +
            QString::number(p.card) + QLatin1Char(',') + DirText(p.dir) + QLatin1Char(',') +
            QString::number(p.point) + QLatin1Char(',') + CsvField(p.name) + QLatin1Char(',') +
            QString::number(value) + QLatin1Char(',') + QLatin1String(event) + QLatin1Char('\n');
}

void ChangeFileWriter::VcdAt(qint64 tick)
{
    if (tick > m_shown) {
        m_w << '#' + QByteArray::number(tick) + '\n';
        m_shown = tick;
    }
}

// A wire's value goes at its tick, or one after its previous value when the timer's jitter put
// two polls into one tick, so that no value hides another; times never go back.
void ChangeFileWriter::VcdValue(qint64 us, int wire, char value)
{
    qint64 &last = m_lastTick[size_t(wire)];
    const qint64 tick = std::max({us / m_tickUs, last + 1, m_shown});
    VcdAt(tick);
    last = tick;
    m_w << value + m_codes[size_t(wire)] + '\n';
}

void ChangeFileWriter::Start(qint64 us, int wire, bool value)
{
    if (m_format == ChangeFileFormat::Csv)
        CsvRow(us, wire, value ? 1 : 0, "start");
    else
        VcdValue(us, wire, value ? '1' : '0');
}

void ChangeFileWriter::Change(qint64 us, int wire, bool value)
{
    if (m_format == ChangeFileFormat::Csv)
        CsvRow(us, wire, value ? 1 : 0, "change");
    else
        VcdValue(us, wire, value ? '1' : '0');
}

bool ChangeFileWriter::End(qint64 lastUs)
{
    if (m_format == ChangeFileFormat::Vcd)
        m_w << '#' + QByteArray::number(std::max(lastUs / m_tickUs, m_shown + 1)) + '\n';
    return m_w.flush();
}
