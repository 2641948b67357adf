#include "Monitor.h"

bool ReadWord(int32_t cardNo, PointDir dir, uint64_t live, uint64_t *word, FailedCall *failed)
{
    // qrxio stops at a refused read: its caller reports it and ends.
    const WordRead read = ReadPoints(cardNo, dir, live);
    if (read.first) {
        if (failed)
            *failed = {read.first->call, read.first->status};
        return false;
    }
    *word = read.word;
    return true;
}

Monitor::Monitor(std::vector<WatchedBoard> boards, bool outputs)
    : m_boards(std::move(boards))
    , m_last(m_boards.size())
    , m_outputs(outputs)
{
}

bool Monitor::Poll(std::vector<PointChange> *changes, FailedCall *failed)
{
    for (size_t i = 0; i < m_boards.size(); ++i) {
        const WatchedBoard &board = m_boards[i];
        Words now;
        if (!ReadWord(board.cardNo, PointDir::In, board.inputs, &now.in, failed))
            return false;
        if (m_outputs && !ReadWord(board.cardNo, PointDir::Out, board.outputs, &now.out, failed))
            return false;
        if (m_started && changes) {
            auto report = [&](bool output, uint64_t before, uint64_t after) {
                for (uint64_t diff = before ^ after; diff; diff &= diff - 1) {
                    const int point = __builtin_ctzll(diff);
                    changes->push_back({board.cardNo, output, point, int((after >> point) & 1)});
                }
            };
            report(false, m_last[i].in, now.in);
            report(true, m_last[i].out, now.out);
        }
        m_last[i] = now;
    }
    m_started = true;
    return true;
}
