#pragma once
// What a board's inputs read: an input is on when its held value is on, or loopback is wired
// and the output of the same number is on, or the board's pattern sets it. Patterns follow the
// monotonic clock, so every process sees the same pattern whatever it reads and how often.

#include "BoardConfig.h"
#include "SharedState.h"

#include <cstdint>
#include <ctime>

constexpr int64_t kWalkStepMs = 250; // the walking input moves one position per step
constexpr int64_t kCounterStepMs = 100; // the counter counts up once per step

// The coarse monotonic clock (a few ms resolution, far finer than a pattern step) is read
// without a system call and costs a fraction of the precise one.
inline int64_t MonotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

inline uint64_t PatternWord(InputPattern pattern, int32_t inputs, int64_t nowMs)
{
    if (inputs <= 0)
        return 0;
    switch (pattern) {
    case InputPattern::Walk:
        return uint64_t(1) << ((nowMs / kWalkStepMs) % inputs);
    case InputPattern::Counter:
        return static_cast<uint64_t>(nowMs / kCounterStepMs);
    case InputPattern::None:
        break;
    }
    return 0;
}

// The pattern word counts the board's inputs from 0 up; on a 24-input board its bits 8..23
// go to the inputs 16..31.
inline uint64_t WiredPattern(const BoardDef &board, uint64_t word)
{
    if (board.inputs != kSplitBoardInputs)
        return word;
    return (word & 0xFF) | ((word & 0xFFFF00) << 8);
}

inline uint64_t PatternInputs(const BoardDef &board)
{
    return WiredPattern(board, PatternWord(board.pattern, board.inputs, MonotonicMs()));
}

inline uint64_t InputWord(const BoardDef &board, BoardSlot &slot)
{
    uint64_t word = Atomic(slot.held).load(std::memory_order_relaxed);
    if (board.loopback)
        word |= Atomic(slot.outputs).load(std::memory_order_relaxed);
    if (board.pattern != InputPattern::None)
        word |= PatternInputs(board);
    return word & board.inputMask();
}
