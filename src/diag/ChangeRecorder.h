#pragma once
// The change log's recording: it polls the live inputs and outputs of the chosen boards
// through the device table, and keeps every change in a bounded ring, with the time since the
// recording began. It also keeps, per point, the value it had at the oldest kept change, so
// that an export starts from the right levels after old changes were dropped. QtCore only.

#include "config/PointNames.h"
#include "diag/ChangeRing.h"

#include <QDateTime>
#include <QHash>
#include <QList>

#include <algorithm>
#include <functional>
#include <vector>

// A board to poll: its card number and its input and output counts (as the board model has them).
struct PolledBoard
{
    int32_t card = 0;
    int32_t inputs = 0;
    int32_t outputs = 0;

    bool operator==(const PolledBoard &) const = default;
};

// A point the recording has seen.
struct RecordedPoint
{
    int32_t card = 0;
    PointDir dir = PointDir::In;
    uint8_t point = 0;
    bool last = false; // value at the last poll
    bool base = false; // value before the oldest kept change of this point
    qint64 firstSeenUs = 0; // first poll of the point, since the recording began
    bool changed = false; // it changed since the recording began
};

class ChangeRecorder
{
public:
    static constexpr qsizetype kDefaultCapacity = 1'000'000;
    // Monotonic microseconds from any fixed origin.
    using Clock = std::function<qint64()>;

    explicit ChangeRecorder(qsizetype capacity = kDefaultCapacity, Clock clock = {});

    // The boards polled from now on. Points of boards no longer chosen keep their history.
    void SetBoards(const QList<PolledBoard> &boards);
    const QList<PolledBoard> &boards() const { return m_boards; }

    // Reads every live point of the chosen boards once and records each value that differs
    // from the previous poll. A point read for the first time only sets its start value; a
    // failed read is skipped. Answers the number of changes recorded.
    int Poll();
    // Forgets every change and begins a new recording now.
    void Clear();

    // The interval the recording was polled at: it bounds how exactly its times are known.
    qint64 pollIntervalUs() const { return m_pollIntervalUs; }
    void SetPollIntervalUs(qint64 us) { m_pollIntervalUs = std::max<qint64>(1, us); }

    // A recording read back (from a history) instead of polled. Replay() forgets every board,
    // point and change and begins at `startUtc`; ReplayPoint() adds a point with its level at
    // the start (-1: not known yet); ReplayValue() takes a recorded value as Poll() takes a
    // read one (without a start level, a point's first value is its first read), and answers
    // false, taking nothing, once the ring is full; ReplayEnd() sets where the recording ends.
    void Replay(const QDateTime &startUtc);
    uint32_t ReplayPoint(int32_t card, PointDir dir, int point, int startValue);
    bool ReplayValue(uint32_t index, bool value, qint64 us);
    void ReplayEnd(qint64 us) { m_lastPollUs = std::max(m_lastPollUs, us); }

    // When the recording began (UTC) and what a time of the recording is on the wall clock.
    QDateTime startUtc() const { return m_startUtc; }
    QDateTime WallTime(qint64 us) const { return m_startUtc.addMSecs(us / 1000); }
    // Microseconds since the recording began: of the last poll, and of the newest change
    // (-1 when there is none).
    qint64 lastPollUs() const { return m_lastPollUs; }
    qint64 newestUs() const { return m_ring.isEmpty() ? -1 : m_ring.at(m_ring.endSeq() - 1).us; }
    // The time of the newest dropped change: from then on the kept changes are complete.
    qint64 horizonUs() const { return m_horizonUs; }
    quint64 dropped() const { return m_dropped; }

    const ChangeRing &ring() const { return m_ring; }
    const std::vector<RecordedPoint> &points() const { return m_points; }
    // The points that changed since the recording began, ordered by card, direction, point,
    // and how many there are.
    std::vector<uint32_t> ChangedPoints() const;
    size_t changedCount() const { return m_changedCount; }
    // The index of a point in points(), or -1.
    int PointIndex(int32_t card, PointDir dir, int point) const;

    // Bytes held on the heap by the changes and the points.
    size_t memoryBytes() const;

private:
    struct BoardPlan
    {
        int32_t card;
        std::vector<std::pair<int, uint32_t>> inputs; // (bit, point index)
        std::vector<std::pair<int, uint32_t>> outputs;
        uint64_t inMask = 0; // the bits of `inputs` and `outputs`
        uint64_t outMask = 0;
    };

    uint32_t AddPoint(int32_t card, PointDir dir, int bit);
    void Record(uint32_t index, bool value, qint64 us);

    Clock m_clock;
    qint64 m_originUs = 0;
    QDateTime m_startUtc;
    qint64 m_lastPollUs = 0;
    qint64 m_horizonUs = 0;
    quint64 m_dropped = 0;
    qint64 m_pollIntervalUs = 10'000;
    size_t m_changedCount = 0;
    ChangeRing m_ring;
    QList<PolledBoard> m_boards;
    std::vector<BoardPlan> m_plan;
    std::vector<RecordedPoint> m_points;
    QHash<quint64, uint32_t> m_index; // (card, direction, point) -> index into m_points
};
