#include "diag/ChangeExport.h"

#include "device/CardMap.h"
#include "device/DeviceTable.h"
#include "device/WordText.h"

#include <QIODevice>
#include <QSet>

#include <algorithm>

namespace {

// Collects text and hands it to the device in large pieces.
class Writer
{
public:
    explicit Writer(QIODevice *out)
        : m_out(out)
    {
    }
    Writer &operator<<(const QByteArray &text)
    {
        m_buffer += text;
        if (m_buffer.size() >= kChunk)
            flush();
        return *this;
    }
    Writer &operator<<(const QString &text) { return *this << text.toUtf8(); }
    Writer &operator<<(const char *text) { return *this << QByteArray(text); }
    Writer &operator<<(char c) { return *this << QByteArray(1, c); }
    bool flush()
    {
        if (m_ok && !m_buffer.isEmpty())
            m_ok = m_out->write(m_buffer) == m_buffer.size();
        m_buffer.clear();
        return m_ok;
    }

private:
    static constexpr qsizetype kChunk = 64 * 1024;
    QIODevice *m_out;
    QByteArray m_buffer;
    bool m_ok = true;
};

// The points read at least once, ordered by card, direction and point.
std::vector<uint32_t> ExportedPoints(const ChangeRecorder &recorder)
{
    std::vector<uint32_t> order;
    const std::vector<RecordedPoint> &points = recorder.points();
    for (size_t i = 0; i < points.size(); ++i)
        if (points[i].firstSeenUs >= 0)
            order.push_back(uint32_t(i));
    std::sort(order.begin(), order.end(), [&points](uint32_t a, uint32_t b) {
        return std::tie(points[a].card, points[a].dir, points[a].point) <
            std::tie(points[b].card, points[b].dir, points[b].point);
    });
    return order;
}

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

bool WriteCsv(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names)
{
    Writer w(out);
    w << CsvHeader() << "\n";
    const ChangeRing &ring = recorder.ring();
    const std::vector<RecordedPoint> &points = recorder.points();
    for (quint64 seq = ring.firstSeq(); seq < ring.endSeq(); ++seq) {
        const PointChange &c = ring.at(seq);
        const RecordedPoint &p = points[c.point];
        w << UtcText(recorder.startUtc(), c.us) + QLatin1Char(',') + ElapsedText(c.us) +
                QLatin1Char(',') + QString::number(p.card) + QLatin1Char(',') + DirText(p.dir) +
                QLatin1Char(',') + QString::number(p.point) + QLatin1Char(',') +
                CsvField(names(p)) + QLatin1Char(',') + QString::number(c.value) +
                QLatin1Char('\n');
    }
    return w.flush();
}

QStringList VcdReferences(const ChangeRecorder &recorder, const PointNameLookup &names)
{
    const std::vector<RecordedPoint> &points = recorder.points();
    QStringList refs(qsizetype(points.size()));
    QSet<QString> used;
    // Names first, so that a name keeps its own reference ahead of a point's fixed key.
    for (const bool named : {true, false}) {
        for (uint32_t i : ExportedPoints(recorder)) {
            const RecordedPoint &p = points[i];
            const QString name = VcdIdentifier(names(p));
            if (name.isEmpty() == named)
                continue;
            const QString base = named ? name : PointKey(p.card, p.dir, p.point);
            QString ref = base;
            for (int n = 2; used.contains(ref); ++n)
                ref = base + QStringLiteral("_%1").arg(n);
            used.insert(ref);
            refs[i] = ref;
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

namespace {

// The header and one variable per exported point, each given its code.
void WriteVcdHeader(Writer &w, const ChangeRecorder &recorder, const std::vector<uint32_t> &order,
                    const QStringList &refs, std::vector<QByteArray> &codes)
{
    w << "$date " << recorder.startUtc().toString(Qt::ISODate) << " $end\n"
      << "$version Orvane 14.0.0 $end\n"
      << "$comment times are microseconds since the recording began at "
      << UtcText(recorder.startUtc(), 0) << " $end\n"
      << "$timescale 1us $end\n"
      << "$scope module orvane $end\n";
    for (size_t n = 0; n < order.size(); ++n) {
        codes[order[n]] = VcdCode(int(n));
        w << "$var wire 1 " << codes[order[n]] << ' ' << refs[order[n]] << " $end\n";
    }
    w << "$upscope $end\n$enddefinitions $end\n";
}

// Levels from the newest dropped change on (`start`); a point first read later is unknown until
// then. Answers those points, in the order they were first read.
std::vector<uint32_t> WriteVcdLevels(Writer &w, const std::vector<RecordedPoint> &points,
                                     const std::vector<uint32_t> &order,
                                     const std::vector<QByteArray> &codes, qint64 start)
{
    std::vector<uint32_t> later;
    w << '#' + QByteArray::number(start) + "\n$dumpvars\n";
    for (uint32_t i : order) {
        if (points[i].firstSeenUs > start) {
            later.push_back(i);
            w << 'x' + codes[i] + '\n';
        } else {
            w << (points[i].base ? '1' : '0') + codes[i] + '\n';
        }
    }
    w << "$end\n";
    std::sort(later.begin(), later.end(), [&points](uint32_t a, uint32_t b) {
        return points[a].firstSeenUs < points[b].firstSeenUs;
    });
    return later;
}

} // namespace

bool WriteVcd(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names)
{
    const std::vector<RecordedPoint> &points = recorder.points();
    const std::vector<uint32_t> order = ExportedPoints(recorder);
    std::vector<QByteArray> codes(points.size());
    Writer w(out);
    WriteVcdHeader(w, recorder, order, VcdReferences(recorder, names), codes);
    const qint64 start = recorder.horizonUs();
    const std::vector<uint32_t> later = WriteVcdLevels(w, points, order, codes, start);

    qint64 shown = start;
    auto at = [&](qint64 us) {
        if (us > shown) {
            w << '#' + QByteArray::number(us) + '\n';
            shown = us;
        }
    };
    const ChangeRing &ring = recorder.ring();
    size_t next = 0;
    for (quint64 seq = ring.firstSeq(); seq <= ring.endSeq(); ++seq) {
        const qint64 us = seq < ring.endSeq() ? ring.at(seq).us : INT64_MAX;
        for (; next < later.size() && points[later[next]].firstSeenUs <= us; ++next) {
            const RecordedPoint &p = points[later[next]];
            at(p.firstSeenUs);
            w << (p.base ? '1' : '0') + codes[later[next]] + '\n';
        }
        if (seq == ring.endSeq())
            break;
        const PointChange &c = ring.at(seq);
        at(c.us);
        w << (c.value ? '1' : '0') + codes[c.point] + '\n';
    }
    // A closing time after the last change, so that a reader shows that change too.
    w << '#' + QByteArray::number(std::max(recorder.lastPollUs(), shown + 1)) + '\n';
    return w.flush();
}

BoardSnapshot ReadSnapshot(int32_t card, const QString &label, int32_t inputs, int32_t outputs)
{
    const DeviceTable &dev = Dev();
    BoardSnapshot s;
    s.card = card;
    s.label = label;
    s.inputs = BoundPoints(inputs);
    s.outputs = BoundPoints(outputs);
    for (int bit : LiveBits(PointDir::In, inputs)) {
        int32_t v = 0;
        if (dev.DXS_devDiGetBit(card, bit, &v) >= 0 && v != 0)
            s.inWord |= uint64_t(1) << bit;
    }
    for (int bit : LiveBits(PointDir::Out, outputs)) {
        int32_t v = 0;
        if (dev.DXS_devDoGetBit(card, bit, &v) >= 0 && v != 0)
            s.outWord |= uint64_t(1) << bit;
    }
    dev.DXS_devDiGetFilterEnable(card, 0, &s.filterEnable);
    dev.DXS_devDiGetFilterTime(card, 0, &s.filterTime);
    dev.DXS_devConGetCheckOn(card, &s.runLed);
    return s;
}

QString FilterTimeText(int32_t code)
{
    if (code < 0 || code > 15)
        return QString::number(code);
    return QString::number(0.001 * double(1 << code), 'f', 3);
}

QString SnapshotText(const QList<BoardSnapshot> &boards, const QDateTime &when)
{
    QString text = QStringLiteral("Orvane snapshot, %1\n")
                       .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
    for (const BoardSnapshot &b : boards) {
        text += QStringLiteral("\n%1\n").arg(b.label);
        auto words = [&text](const char *prefix, int count, uint64_t word) {
            for (int tab = 0; tab * 32 < count; ++tab)
                text += QStringLiteral("%1_%2: %3\n")
                            .arg(QLatin1String(prefix))
                            .arg(tab)
                            .arg(WordText(uint32_t(word >> (32 * tab))));
        };
        words("DI", b.inputs, b.inWord);
        words("DO", b.outputs, b.outWord);
        text += QStringLiteral("Filter: %1, %2 msec\n")
                    .arg(b.filterEnable != 0 ? QStringLiteral("Enable") : QStringLiteral("Disable"),
                         FilterTimeText(b.filterTime));
        text += QStringLiteral("Run LED: %1\n")
                    .arg(b.runLed != 0 ? QStringLiteral("on") : QStringLiteral("off"));
    }
    return text;
}
