#pragma once
// Which bits of a board carry a point. Every reader of inputs and outputs asks here: the
// program's pages, the change recording, the command-line tools, the simulated library and
// the test fake. Plain C++ (no Qt), so that the simulated library uses the same rule.

#include <algorithm>
#include <cstdint>
#include <vector>

enum class PointDir : uint8_t { In = 0, Out = 1 };

// A board of 24 inputs wires them to bits 0-7 and 16-31; bits 8-15 are not there.
constexpr int32_t kSplitBoardInputs = 24;
constexpr uint64_t kSplitBoardMask = 0xFFFF00FFull;

// The bits of a direction that carry a point, for the count the library reported: bits
// 0 .. count - 1 with the count bounded to 0..64, and 0-7, 16-31 for a board of 24 inputs.
constexpr uint64_t LiveMask(PointDir dir, int32_t count)
{
    if (dir == PointDir::In && count == kSplitBoardInputs)
        return kSplitBoardMask;
    const int32_t n = std::clamp<int32_t>(count, 0, 64);
    return n >= 64 ? ~0ull : (1ull << n) - 1;
}

// The live bits of a direction, in ascending order.
inline std::vector<int> LiveBits(PointDir dir, int32_t count)
{
    std::vector<int> bits;
    const uint64_t mask = LiveMask(dir, count);
    for (int bit = 0; bit < 64; ++bit)
        if (mask >> bit & 1)
            bits.push_back(bit);
    return bits;
}

// One past the highest live bit: the point numbers a read may name (32 for 24 inputs).
constexpr int ReadablePoints(PointDir dir, int32_t count)
{
    const uint64_t mask = LiveMask(dir, count);
    int n = 0;
    while (n < 64 && (mask >> n) != 0)
        ++n;
    return n;
}

constexpr bool IsLive(PointDir dir, int32_t count, int point)
{
    return point >= 0 && point < 64 && (LiveMask(dir, count) >> point & 1);
}

static_assert(LiveMask(PointDir::In, 24) == 0xFFFF00FFull);
static_assert(LiveMask(PointDir::Out, 24) == 0xFFFFFFull);
static_assert(LiveMask(PointDir::In, 64) == ~0ull && LiveMask(PointDir::In, 99) == ~0ull);
static_assert(LiveMask(PointDir::In, -5) == 0 && ReadablePoints(PointDir::In, 24) == 32);
