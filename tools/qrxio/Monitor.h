#pragma once
// The polling behind "qrxio monitor": every watched point read once per poll, and the points
// whose value changed since the poll before.

#include "Status.h"
#include "model/PointIo.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Reads the live points of a board (the bits of `live`, as the board model gives them) into a
// word, bit i holding point i; the other bits stay 0. False, with the first refused call, when
// a read is refused: every qrxio command stops there.
bool ReadWord(int32_t cardNo, PointDir dir, uint64_t live, uint64_t *word, FailedCall *failed);

struct WatchedBoard
{
    int32_t cardNo = 0;
    uint64_t inputs = 0; // the live bits read
    uint64_t outputs = 0;
};

struct PointChange
{
    int32_t cardNo;
    bool output;
    int point;
    int value;
};

class Monitor
{
public:
    // Watches the inputs of the boards, and their outputs too when `outputs` is set.
    Monitor(std::vector<WatchedBoard> boards, bool outputs);

    // Reads every watched point and appends what changed since the last poll, board by board
    // in the given order, inputs before outputs, points counting up. The first poll only takes
    // the values to compare with. False when a read is refused.
    bool Poll(std::vector<PointChange> *changes, FailedCall *failed);

private:
    struct Words
    {
        uint64_t in = 0;
        uint64_t out = 0;
    };
    std::vector<WatchedBoard> m_boards;
    std::vector<Words> m_last;
    bool m_outputs;
    bool m_started = false;
};
