#include "Monitor.h"

bool ReadWord(const DeviceTable &dev, int32_t cardNo, bool outputs, uint64_t live, uint64_t *word,
              FailedCall *failed)
{
    const auto getBit = outputs ? dev.DXS_devDoGetBit : dev.DXS_devDiGetBit;
    uint64_t bits = 0;
    for (uint64_t rest = live; rest; rest &= rest - 1) {
        const int point = __builtin_ctzll(rest);
        int32_t value = 0;
        const int32_t status = getBit(cardNo, point, &value);
        if (status < 0) {
            if (failed)
                *failed = {QStringLiteral("%1(card=%2, bit=%3)")
                               .arg(outputs ? "DXS_devDoGetBit" : "DXS_devDiGetBit")
                               .arg(cardNo)
                               .arg(point),
                           status};
            return false;
        }
        if (value != 0)
            bits |= uint64_t(1) << point;
    }
    *word = bits;
    return true;
}

Monitor::Monitor(const DeviceTable &dev, std::vector<WatchedBoard> boards, bool outputs)
    : m_dev(dev)
    , m_boards(std::move(boards))
    , m_last(m_boards.size())
    , m_outputs(outputs)
{
}

bool Monitor::Poll(std::vector<PointChange> *changes, FailedCall *failed)
{
    for (size_t i = 0; i < m_boards.size(); ++i) {
        const WatchedBoard &board = m_boards[i];
        Words now;
        if (!ReadWord(m_dev, board.cardNo, false, board.inputs, &now.in, failed))
            return false;
        if (m_outputs && !ReadWord(m_dev, board.cardNo, true, board.outputs, &now.out, failed))
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
