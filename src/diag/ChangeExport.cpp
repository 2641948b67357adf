#include "diag/ChangeExport.h"

#include "device/CardMap.h"
#include "device/DeviceTable.h"
#include "device/WordText.h"
#include "model/PointIo.h"

#include <QIODevice>
#include <QStringList>

#include <algorithm>

namespace {

// The chosen points read at least once, ordered by card, direction and point.
std::vector<uint32_t> ExportedPoints(const ChangeRecorder &recorder, const ExportChoice &choice)
{
    std::vector<uint32_t> order;
    const std::vector<RecordedPoint> &points = recorder.points();
    for (size_t i = 0; i < points.size(); ++i)
        if (points[i].firstSeenUs >= 0 && (!choice.changedOnly || points[i].changed) &&
            (!choice.includes || choice.includes(uint32_t(i))))
            order.push_back(uint32_t(i));
    std::sort(order.begin(), order.end(), [&points](uint32_t a, uint32_t b) {
        return std::tie(points[a].card, points[a].dir, points[a].point) <
            std::tie(points[b].card, points[b].dir, points[b].point);
    });
    return order;
}

// The exported points, in order, with their names and their levels at `startUs` (unknown for
// a point first read later).
std::vector<ExportPoint> ExportPoints(const ChangeRecorder &recorder,
                                      const std::vector<uint32_t> &order,
                                      const PointNameLookup &names, qint64 startUs)
{
    std::vector<ExportPoint> exported;
    for (uint32_t i : order) {
        const RecordedPoint &p = recorder.points()[i];
        exported.push_back(
            {p.card, p.dir, p.point, names(p), p.firstSeenUs > startUs ? -1 : int(p.base)});
    }
    return exported;
}

// A 32-point word of a snapshot from point `first` on; a refused point's digit is "?", and the
// refused points are named.
QString SnapshotWord(uint64_t word, uint64_t refused, int first)
{
    QString text = WordText(uint32_t(word >> first));
    const uint32_t missing = uint32_t(refused >> first);
    if (missing == 0)
        return text;
    QStringList points;
    for (int bit = 0; bit < 32; ++bit) {
        if (missing >> bit & 1)
            points << QString::number(first + bit);
    }
    for (int digit = 0; digit < 8; ++digit)
        if ((missing >> (4 * digit) & 0xF) != 0)
            text[9 - digit] = u'?';
    return text + QStringLiteral(" (not read: %1)").arg(points.join(QStringLiteral(", ")));
}

} // namespace

bool WriteChanges(QIODevice *out, ChangeFileFormat format, const ChangeRecorder &recorder,
                  const PointNameLookup &names, const ExportChoice &choice)
{
    const std::vector<RecordedPoint> &points = recorder.points();
    const std::vector<uint32_t> order = ExportedPoints(recorder, choice);
    // Levels from the newest dropped change on (`start`); a point first read later is unknown
    // until then, and takes its level in the order the points were first read.
    const qint64 start = recorder.horizonUs();
    std::vector<int> wireOf(points.size(), -1);
    std::vector<uint32_t> later;
    for (size_t n = 0; n < order.size(); ++n) {
        wireOf[order[n]] = int(n);
        if (points[order[n]].firstSeenUs > start)
            later.push_back(order[n]);
    }
    std::sort(later.begin(), later.end(), [&points](uint32_t a, uint32_t b) {
        return points[a].firstSeenUs < points[b].firstSeenUs;
    });
    ChangeFileWriter w(out, format, recorder.pollIntervalUs());
    w.Begin(recorder.startUtc(), ExportPoints(recorder, order, names, start), start);
    const ChangeRing &ring = recorder.ring();
    size_t next = 0;
    for (quint64 seq = ring.firstSeq(); seq <= ring.endSeq(); ++seq) {
        const qint64 us = seq < ring.endSeq() ? ring.at(seq).us : INT64_MAX;
        for (; next < later.size() && points[later[next]].firstSeenUs <= us; ++next) {
            const RecordedPoint &p = points[later[next]];
            w.Start(p.firstSeenUs, wireOf[later[next]], p.base);
        }
        if (seq == ring.endSeq())
            break;
        const PointChange &c = ring.at(seq);
        if (wireOf[c.point] >= 0)
            w.Change(c.us, wireOf[c.point], c.value != 0);
    }
    return w.End(recorder.lastPollUs());
}

bool WriteCsv(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names,
              const ExportChoice &choice)
{
    return WriteChanges(out, ChangeFileFormat::Csv, recorder, names, choice);
}

bool WriteVcd(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names,
              const ExportChoice &choice)
{
    return WriteChanges(out, ChangeFileFormat::Vcd, recorder, names, choice);
}

QStringList VcdReferences(const ChangeRecorder &recorder, const PointNameLookup &names)
{
    QStringList refs(qsizetype(recorder.points().size()));
    for (size_t i = 0; i < recorder.points().size(); ++i) {
        const RecordedPoint &p = recorder.points()[i];
        if (p.firstSeenUs >= 0)
            refs[qsizetype(i)] = VcdReference({p.card, p.dir, p.point, names(p), -1});
    }
    return refs;
}

BoardSnapshot ReadSnapshot(int32_t card, const QString &label, int32_t inputs, int32_t outputs)
{
    const DeviceTable &dev = Dev();
    BoardSnapshot s;
    s.card = card;
    s.label = label;
    s.inputs = BoundPoints(inputs);
    s.outputs = BoundPoints(outputs);
    const WordRead in = ReadPoints(card, PointDir::In, LiveMask(PointDir::In, inputs));
    const WordRead out = ReadPoints(card, PointDir::Out, LiveMask(PointDir::Out, outputs));
    s.inWord = in.word;
    s.inRefused = in.refused;
    s.outWord = out.word;
    s.outRefused = out.refused;
    s.filterRead = dev.DXS_devDiGetFilterEnable(card, 0, &s.filterEnable) >= 0;
    s.filterRead = dev.DXS_devDiGetFilterTime(card, 0, &s.filterTime) >= 0 && s.filterRead;
    s.runLedRead = dev.DXS_devConGetCheckOn(card, &s.runLed) >= 0;
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
        auto words = [&text](const char *prefix, int count, uint64_t word, uint64_t refused) {
            for (int tab = 0; tab * 32 < count; ++tab)
                text += QStringLiteral("%1_%2: %3\n")
                            .arg(QLatin1String(prefix))
                            .arg(tab)
                            .arg(SnapshotWord(word, refused, 32 * tab));
        };
        words("DI", b.inputs, b.inWord, b.inRefused);
        words("DO", b.outputs, b.outWord, b.outRefused);
        const QString notRead = QStringLiteral("not read");
        text += QStringLiteral("Filter: %1\n")
                    .arg(!b.filterRead ? notRead
                                       : QStringLiteral("%1, %2 msec")
                                             .arg(b.filterEnable != 0 ? QStringLiteral("Enable")
                                                                      : QStringLiteral("Disable"),
                                                  FilterTimeText(b.filterTime)));
        text += QStringLiteral("Run LED: %1\n")
                    .arg(!b.runLedRead       ? notRead
                             : b.runLed != 0 ? QStringLiteral("on")
                                             : QStringLiteral("off"));
    }
    return text;
}
