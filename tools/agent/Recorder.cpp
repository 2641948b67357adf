#include "Recorder.h"

#include "model/PointIo.h"

#include <algorithm>

Recorder::Recorder(size_t bufferLimit, std::function<size_t()> waiting)
    : m_bufferLimit(bufferLimit)
    , m_waiting(std::move(waiting))
{
}

void Recorder::SetHistory(const QHash<uint64_t, bool> &last, int64_t lastUs)
{
    m_last = last;
    m_lastUs = lastUs;
}

void Recorder::SetBoards(const std::vector<RecordedBoard> &boards)
{
    std::vector<Board> kept;
    kept.swap(m_boards);
    // What a board polled before recorded is the value a board chosen again starts from.
    for (const Board &b : kept) {
        for (PointDir dir : {PointDir::In, PointDir::Out}) {
            for (uint64_t bits = b.known[int(dir)]; bits; bits &= bits - 1) {
                const int bit = __builtin_ctzll(bits);
                m_last.insert(HistoryPointKey(b.board.card, dir, bit),
                              b.recorded[int(dir)] >> bit & 1);
            }
        }
    }
    for (const RecordedBoard &rb : boards) {
        // A board polled before keeps what it knows (a reload); the others start from `last`.
        const auto same = std::find_if(kept.begin(), kept.end(), [&rb](const Board &b) {
            return b.board.card == rb.card && b.board.inMask == rb.inMask &&
                b.board.outMask == rb.outMask;
        });
        if (same != kept.end()) {
            m_boards.push_back(*same);
            continue;
        }
        Board b;
        b.board = rb;
        for (PointDir dir : {PointDir::In, PointDir::Out}) {
            const uint64_t mask = dir == PointDir::In ? rb.inMask : rb.outMask;
            for (int bit = 0; bit < 64; ++bit) {
                const auto it = m_last.constFind(HistoryPointKey(rb.card, dir, bit));
                if (!(mask >> bit & 1) || it == m_last.constEnd())
                    continue;
                b.known[int(dir)] |= uint64_t(1) << bit;
                b.recorded[int(dir)] |= uint64_t(*it) << bit;
                b.read[int(dir)] |= uint64_t(*it) << bit;
            }
        }
        m_boards.push_back(b);
    }
}

void Recorder::ForgetRecorded()
{
    m_last.clear();
    for (Board &b : m_boards)
        b.known[0] = b.known[1] = 0;
}

uint64_t Recorder::ReadWord(int32_t card, PointDir dir, uint64_t mask, uint64_t last)
{
    const WordRead read = ReadPoints(card, dir, mask);
    // A refused point keeps its last value; the refusal is counted, not reported each poll.
    if (read.first && m_refusals == 0)
        m_firstRefusal = read.first->text();
    m_refusals += __builtin_popcountll(read.refused);
    return read.word | (last & read.refused);
}

void Recorder::Record(Board &b, PointDir dir, uint64_t word, int64_t us)
{
    const int d = int(dir);
    const uint64_t mask = dir == PointDir::In ? b.board.inMask : b.board.outMask;
    const uint64_t differs = ((word ^ b.recorded[d]) | ~b.known[d]) & mask;
    for (uint64_t bits = differs; bits; bits &= bits - 1) {
        const int bit = __builtin_ctzll(bits);
        const uint64_t one = uint64_t(1) << bit;
        const bool value = word & one;
        if (m_buffer.size() + m_waitingNow >= m_bufferLimit) {
            // Counted once until the point's value is recorded, when there is room again.
            m_overflow += (b.pending[d] & one) == 0;
            b.pending[d] |= one;
            continue;
        }
        b.pending[d] &= ~one;
        const HistoryChange change{us, b.board.card, dir, uint8_t(bit), value};
        m_buffer.push_back(change);
        m_polled.push_back(change);
        b.known[d] |= one;
        b.recorded[d] = (b.recorded[d] & ~one) | (value ? one : 0);
    }
    b.read[d] = word;
}

const std::vector<HistoryChange> &Recorder::Poll(int64_t nowUs)
{
    m_polled.clear();
    m_waitingNow = m_waiting ? m_waiting() : 0;
    Stamp(nowUs);
    for (Board &b : m_boards) {
        Record(b, PointDir::In, ReadWord(b.board.card, PointDir::In, b.board.inMask, b.read[0]),
               m_lastUs);
        Record(b, PointDir::Out, ReadWord(b.board.card, PointDir::Out, b.board.outMask, b.read[1]),
               m_lastUs);
    }
    return m_polled;
}

std::vector<HistoryChange> Recorder::State() const
{
    std::vector<HistoryChange> state;
    for (const Board &b : m_boards) {
        for (PointDir dir : {PointDir::In, PointDir::Out}) {
            const uint64_t mask = dir == PointDir::In ? b.board.inMask : b.board.outMask;
            for (uint64_t bits = mask; bits; bits &= bits - 1) {
                const int bit = __builtin_ctzll(bits);
                state.push_back(
                    {m_lastUs, b.board.card, dir, uint8_t(bit), bool(b.read[int(dir)] >> bit & 1)});
            }
        }
    }
    return state;
}

void Recorder::Stamp(int64_t nowUs)
{
    if (nowUs > m_lastUs) {
        m_lastUs = nowUs;
        m_behind = false;
        return;
    }
    if (m_lastUs - nowUs > kClockBoundUs) {
        // A time far ahead must not hold every later one: the clock's time again, and every
        // point's value recorded at it.
        m_clockStep = ClockStep{m_lastUs, nowUs, true};
        m_lastUs = nowUs;
        m_behind = false;
        ForgetRecorded();
        return;
    }
    if (!m_behind && nowUs < m_lastUs)
        m_clockStep = ClockStep{m_lastUs, nowUs, false};
    m_behind = m_behind || nowUs < m_lastUs;
    ++m_lastUs;
}

int64_t Recorder::TakeRefusals(QString *firstCall)
{
    *firstCall = m_firstRefusal;
    m_firstRefusal.clear();
    return std::exchange(m_refusals, 0);
}

int64_t Recorder::TakeOverflow()
{
    return std::exchange(m_overflow, 0);
}
