#include "diag/ChangeRecorder.h"

#include "device/CardMap.h"
#include "model/PointIo.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

quint64 Key(int32_t card, PointDir dir, int point)
{
    return (quint64(uint32_t(card)) << 16) | (quint64(dir) << 8) | quint64(point & 0xFF);
}

qint64 SteadyMicroseconds()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.nsecsElapsed() / 1000;
}

} // namespace

ChangeRecorder::ChangeRecorder(qsizetype capacity, Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(SteadyMicroseconds))
    , m_ring(capacity)
{
    Clear();
}

void ChangeRecorder::SetBoards(const QList<PolledBoard> &boards)
{
    m_boards = boards;
    m_plan.clear();
    for (const PolledBoard &b : boards) {
        BoardPlan plan{
            b.card, {}, {}, LiveMask(PointDir::In, b.inputs), LiveMask(PointDir::Out, b.outputs)};
        for (int bit : LiveBits(PointDir::In, b.inputs))
            plan.inputs.emplace_back(bit, AddPoint(b.card, PointDir::In, bit));
        for (int bit : LiveBits(PointDir::Out, b.outputs))
            plan.outputs.emplace_back(bit, AddPoint(b.card, PointDir::Out, bit));
        m_plan.push_back(std::move(plan));
    }
}

uint32_t ChangeRecorder::AddPoint(int32_t card, PointDir dir, int bit)
{
    const int known = PointIndex(card, dir, bit);
    if (known >= 0)
        return uint32_t(known);
    RecordedPoint p;
    p.card = card;
    p.dir = dir;
    p.point = uint8_t(bit);
    p.firstSeenUs = -1; // not read yet
    m_points.push_back(p);
    const uint32_t index = uint32_t(m_points.size() - 1);
    m_index.insert(Key(card, dir, bit), index);
    return index;
}

int ChangeRecorder::PointIndex(int32_t card, PointDir dir, int point) const
{
    if (point < 0 || point >= kMaxPoints)
        return -1;
    const auto it = m_index.constFind(Key(card, dir, point));
    return it == m_index.cend() ? -1 : int(*it);
}

void ChangeRecorder::Record(uint32_t index, bool value, qint64 us)
{
    RecordedPoint &p = m_points[index];
    if (p.firstSeenUs < 0) {
        p.firstSeenUs = us;
        p.last = p.base = value;
        return;
    }
    if (p.last == value)
        return;
    p.last = value;
    if (!p.changed) {
        p.changed = true;
        ++m_changedCount;
    }
    PointChange gone;
    if (m_ring.push({us, index, value ? 1u : 0u}, &gone)) {
        m_points[gone.point].base = gone.value != 0;
        m_horizonUs = gone.us;
        ++m_dropped;
    }
}

int ChangeRecorder::Poll()
{
    const qint64 us = std::max<qint64>(0, m_clock() - m_originUs);
    m_lastPollUs = us;
    const quint64 before = m_ring.endSeq();
    // The common case, a point read as it was, stays in this loop. A refused read is skipped:
    // the point keeps its last value and records nothing until a read succeeds.
    auto take = [&](const std::vector<std::pair<int, uint32_t>> &bits, const WordRead &read) {
        for (const auto &[bit, index] : bits) {
            const RecordedPoint &p = m_points[index];
            const bool value = read.word >> bit & 1;
            if (!(read.refused >> bit & 1) && (p.last != value || p.firstSeenUs < 0))
                Record(index, value, us);
        }
    };
    for (const BoardPlan &plan : m_plan) {
        take(plan.inputs, ReadPoints(plan.card, PointDir::In, plan.inMask));
        take(plan.outputs, ReadPoints(plan.card, PointDir::Out, plan.outMask));
    }
    return int(m_ring.endSeq() - before);
}

void ChangeRecorder::Clear()
{
    m_ring.clear();
    m_dropped = 0;
    m_changedCount = 0;
    m_horizonUs = 0;
    m_lastPollUs = 0;
    m_originUs = m_clock();
    m_startUtc = QDateTime::currentDateTimeUtc();
    for (RecordedPoint &p : m_points) {
        p.base = p.last;
        p.changed = false;
        if (p.firstSeenUs >= 0)
            p.firstSeenUs = 0;
    }
}

void ChangeRecorder::Replay(const QDateTime &startUtc)
{
    SetBoards({});
    m_points.clear();
    m_index.clear();
    Clear();
    m_startUtc = startUtc;
}

uint32_t ChangeRecorder::ReplayPoint(int32_t card, PointDir dir, int point, int startValue)
{
    const uint32_t index = AddPoint(card, dir, point);
    if (startValue >= 0)
        Record(index, startValue != 0, 0);
    return index;
}

bool ChangeRecorder::ReplayValue(uint32_t index, bool value, qint64 us)
{
    const RecordedPoint &p = m_points[index];
    if (p.firstSeenUs >= 0 && p.last != value && m_ring.size() >= m_ring.capacity())
        return false;
    if (p.firstSeenUs < 0 || p.last != value)
        Record(index, value, us);
    m_lastPollUs = std::max(m_lastPollUs, us);
    return true;
}

std::vector<uint32_t> ChangeRecorder::ChangedPoints() const
{
    std::vector<uint32_t> changed;
    for (size_t i = 0; i < m_points.size(); ++i)
        if (m_points[i].changed)
            changed.push_back(uint32_t(i));
    std::sort(changed.begin(), changed.end(), [this](uint32_t a, uint32_t b) {
        const RecordedPoint &p = m_points[a];
        const RecordedPoint &q = m_points[b];
        return std::tie(p.card, p.dir, p.point) < std::tie(q.card, q.dir, q.point);
    });
    return changed;
}

size_t ChangeRecorder::memoryBytes() const
{
    size_t bytes = m_ring.memoryBytes() + m_points.capacity() * sizeof(RecordedPoint);
    for (const BoardPlan &plan : m_plan)
        bytes += (plan.inputs.capacity() + plan.outputs.capacity()) * sizeof(plan.inputs[0]);
    return bytes;
}
