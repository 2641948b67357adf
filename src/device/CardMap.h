#pragma once
// The card map: the 1040-byte block the device library fills, read at fixed offsets.
// Plain C++ so that the simulated library writes it with the very same layout.

#include "device/qrxDApi.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

constexpr int kMaxBoards = 16;
constexpr int kMaxPoints = 64;
constexpr int kPathBytes = DXS_PATH_BYTES;

// A count of boards as the library reported it, bounded to the slots there are.
inline int BoundBoards(int32_t count)
{
    return std::clamp<int32_t>(count, 0, kMaxBoards);
}

// A count of points as the library reported it, bounded to what a board can hold.
inline int BoundPoints(int32_t count)
{
    return std::clamp<int32_t>(count, 0, kMaxPoints);
}

struct CardMap
{
    static constexpr int kBytes = DXS_CARD_MAP_BYTES;
    static constexpr int kCountOffset = 0;
    static constexpr int kSlotOffset = 16;
    static constexpr int kSlotBytes = 64;
    static constexpr int kTypeInSlot = 8;
    static constexpr int kCardNoInSlot = 12;
    static constexpr int kDiCountInSlot = 32;
    static constexpr int kDoCountInSlot = 40;

    unsigned char bytes[kBytes] = {};

    // Raw fields, exactly as the library wrote them. `slot` must be 0..15.
    int32_t mapCount() const { return read(kCountOffset); }
    int32_t cardType(int slot) const { return read(slotOffset(slot) + kTypeInSlot); }
    int32_t cardNo(int slot) const { return read(slotOffset(slot) + kCardNoInSlot); }
    int32_t diCount(int slot) const { return read(slotOffset(slot) + kDiCountInSlot); }
    int32_t doCount(int slot) const { return read(slotOffset(slot) + kDoCountInSlot); }

    // The number of slots that hold a board: mapCount bounded to 0..16.
    int boardSlots() const { return BoundBoards(mapCount()); }

    void setMapCount(int32_t count) { write(kCountOffset, count); }
    void setEntry(int slot, int32_t type, int32_t cardNo, int32_t inputs, int32_t outputs)
    {
        write(slotOffset(slot) + kTypeInSlot, type);
        write(slotOffset(slot) + kCardNoInSlot, cardNo);
        write(slotOffset(slot) + kDiCountInSlot, inputs);
        write(slotOffset(slot) + kDoCountInSlot, outputs);
    }
    void clear() { std::memset(bytes, 0, sizeof bytes); }

private:
    static int slotOffset(int slot)
    {
        return kSlotOffset + kSlotBytes * std::clamp(slot, 0, kMaxBoards - 1);
    }
    int32_t read(int offset) const
    {
        int32_t value;
        std::memcpy(&value, bytes + offset, sizeof value);
        return value;
    }
    void write(int offset, int32_t value) { std::memcpy(bytes + offset, &value, sizeof value); }
};
static_assert(sizeof(CardMap) == DXS_CARD_MAP_BYTES);
