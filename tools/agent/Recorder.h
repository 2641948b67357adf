#pragma once
// The agent's recording: every live point of the chosen boards read once per poll, each value
// that differs from the last one recorded kept with its time, and taken by the agent for the
// history writer after each poll. A point with no recorded value yet (a new database, a board
// that appeared) records its starting value. A refused read keeps the point's last value and
// is counted. What waits for the history (taken or not) is bounded: a change that does not fit
// is counted, and the point's value is recorded once there is room again.
//
// Times: a point's rows never go back, and no two share a time. The time of a poll is the
// clock's, or the last one plus 1 us while the clock stands behind it (a step back, said
// once); when the clock stands more than kClockBoundUs behind (a clock that was set ahead and
// then corrected), recording follows the clock again: the agent moves the rows stamped ahead
// of it aside, and every point's value is recorded again at the clock's time.

#include "history/HistoryFile.h"

#include <QHash>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

struct RecordedBoard
{
    int32_t card = 0;
    uint64_t inMask = 0; // live bits
    uint64_t outMask = 0;
};

class Recorder
{
public:
    static constexpr size_t kDefaultBufferLimit = 1'000'000;

    static constexpr int64_t kClockBoundUs = 60'000'000;

    // `waiting` answers how many changes taken before still wait for the history.
    explicit Recorder(size_t bufferLimit = kDefaultBufferLimit,
                      std::function<size_t()> waiting = {});

    // What the history holds at the start: each point's last value and the last time.
    void SetHistory(const QHash<uint64_t, bool> &last, int64_t lastUs);
    // The boards polled from now on; the next poll records every point whose value differs
    // from the last one recorded or has none. The time kept stays as it is.
    void SetBoards(const std::vector<RecordedBoard> &boards);
    // Every point's value is recorded again at the next poll (a new database).
    void ForgetRecorded();
    // Reads every live point at `nowUs` (wall clock, microseconds since 1970). Answers the
    // changes of this poll.
    const std::vector<HistoryChange> &Poll(int64_t nowUs);
    // Every point's current value, as the last poll read it.
    std::vector<HistoryChange> State() const;

    // The changes recorded since they were last taken, in order.
    std::vector<HistoryChange> Take() { return std::exchange(m_buffer, {}); }
    size_t buffered() const { return m_buffer.size(); }

    // The clock's last step back, once: `fromUs` the time kept, `toUs` the clock's; `reset`
    // when it was beyond the bound and recording follows the clock again.
    struct ClockStep
    {
        int64_t fromUs = 0, toUs = 0;
        bool reset = false;
    };
    std::optional<ClockStep> TakeClockStep() { return std::exchange(m_clockStep, std::nullopt); }
    int64_t lastTimeUs() const { return m_lastUs; }

    // Counters since they were last taken: refused reads (with the first refused call) and
    // points whose value did not fit the buffer (each once until it is recorded).
    int64_t TakeRefusals(QString *firstCall);
    int64_t TakeOverflow();

private:
    struct Board
    {
        RecordedBoard board;
        uint64_t read[2] = {0, 0}; // last value read, per direction
        uint64_t recorded[2] = {0, 0}; // last value recorded (in the history or the buffer)
        uint64_t known[2] = {0, 0}; // points with a recorded value
        uint64_t pending[2] = {0, 0}; // points whose value did not fit the buffer
    };
    uint64_t ReadWord(int32_t card, PointDir dir, uint64_t mask, uint64_t last);
    void Record(Board &b, PointDir dir, uint64_t word, int64_t us);
    void Stamp(int64_t nowUs);

    size_t m_bufferLimit;
    std::function<size_t()> m_waiting;
    size_t m_waitingNow = 0; // at the start of the poll
    QHash<uint64_t, bool> m_last; // the last value recorded of points not polled now
    std::vector<Board> m_boards;
    std::vector<HistoryChange> m_buffer;
    std::vector<HistoryChange> m_polled;
    int64_t m_lastUs = 0;
    int64_t m_refusals = 0;
    QString m_firstRefusal;
    int64_t m_overflow = 0;
    bool m_behind = false; // the clock stands behind the time kept (said)
    std::optional<ClockStep> m_clockStep;
};
