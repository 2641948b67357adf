#pragma once
// The agent's recording: every live point of the chosen boards read once per poll, each value
// that differs from the last one recorded kept in a bounded buffer with its time, and the
// buffer written to the history in one transaction at least once a second. A point with no
// recorded value yet (a new database, a board that appeared) records its starting value. A
// refused read keeps the point's last value and is counted; a failed write (a full disk) keeps
// the buffer and is tried again; a change that does not fit the buffer is counted, and the
// point's value is recorded once there is room again.

#include "history/HistoryWriter.h"

#include <QHash>
#include <QString>

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

    explicit Recorder(HistoryWriter *writer, size_t bufferLimit = kDefaultBufferLimit);

    // The boards polled from now on, and the last recorded value of each point (from the
    // history); the next poll records every point whose value differs from it or has none.
    void SetBoards(const std::vector<RecordedBoard> &boards, const QHash<uint64_t, bool> &last);
    // Reads every live point at `nowUs` (wall clock, microseconds since 1970); the time kept
    // never goes back (a step back of the clock records the last time plus 1 us). Answers the
    // changes of this poll.
    const std::vector<HistoryChange> &Poll(int64_t nowUs);
    // Every point's current value, as the last poll read it.
    std::vector<HistoryChange> State() const;

    // Writes the buffer; false with `error` set when the writer refused (the buffer stays).
    bool Flush(QString *error);
    size_t buffered() const { return m_buffer.size(); }

    // Counters since they were last taken: refused reads (with the first refused call) and
    // points whose value did not fit the buffer (each once until it is recorded).
    int64_t TakeRefusals(QString *firstCall);
    int64_t TakeOverflow();
    void SetLastTime(int64_t us) { m_lastUs = us; }

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

    HistoryWriter *m_writer;
    size_t m_bufferLimit;
    std::vector<Board> m_boards;
    std::vector<HistoryChange> m_buffer;
    std::vector<HistoryChange> m_polled;
    int64_t m_lastUs = 0;
    int64_t m_refusals = 0;
    QString m_firstRefusal;
    int64_t m_overflow = 0;
};
