#include "Recorder.h"

#include "model/PointIo.h"

#include <algorithm>

Recorder::Recorder(HistoryWriter *writer, size_t bufferLimit)
    : m_writer(writer)
    , m_bufferLimit(bufferLimit)
{
}

void Recorder::SetBoards(const std::vector<RecordedBoard> &boards,
                         const QHash<uint64_t, bool> &last)
{
    std::vector<Board> kept;
    kept.swap(m_boards);
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
                const auto it = last.constFind(HistoryPointKey(rb.card, dir, bit));
                if (!(mask >> bit & 1) || it == last.constEnd())
                    continue;
                b.known[int(dir)] |= uint64_t(1) << bit;
                b.recorded[int(dir)] |= uint64_t(*it) << bit;
                b.read[int(dir)] |= uint64_t(*it) << bit;
            }
        }
        m_boards.push_back(b);
    }
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
        if (m_buffer.size() >= m_bufferLimit) {
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
    m_lastUs = std::max(nowUs, m_lastUs + 1);
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

bool Recorder::Flush(QString *error)
{
    if (m_buffer.empty())
        return true;
    if (!m_writer->Append(m_buffer, error))
        return false;
    m_buffer.clear();
    if (m_buffer.capacity() > 65536)
        m_buffer.shrink_to_fit(); // the memory of a long outage goes back
    return true;
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
