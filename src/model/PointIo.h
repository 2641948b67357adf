#pragma once
// Point I/O: the one way every program reads a board's points and writes an output. Each
// caller decides what a refused read means to it (stop, keep the last value, skip, show it as
// unknown) where it stands; these only read, write and tell what was refused. Every function
// makes its calls through Dev(), one call a point, in ascending point order, and no other.

#include "device/LiveBits.h"

#include <QString>

#include <cstdint>
#include <optional>

// The first refused call of a read or a write, as the call with its arguments and the
// negative status it answered: call = "DXS_devDiGetBit(card=3, bit=5)".
struct PointFailure
{
    QString call;
    int32_t status = 0;

    // "CALL failed with status S"
    QString text() const;
};

// A board's word: bit i holds point i. `refused` holds the points whose read was refused; their
// bits in `word` are 0. `first` is the first refusal, if any.
struct WordRead
{
    uint64_t word = 0;
    uint64_t refused = 0;
    std::optional<PointFailure> first;

    bool ok() const { return refused == 0; }
};

// Reads every point of `mask` (bits 0..63), whether or not the board has it: the caller chooses
// the points (a board's live mask, a page's range, one point). A refusal does not stop the read.
WordRead ReadPoints(int32_t card, PointDir dir, uint64_t mask);

// Writes one output, nothing more (the output page's patterns and toggle); the refusal, if any.
std::optional<PointFailure> WritePoint(int32_t card, int point, bool value);

// What a verified write did: `ok` when the write and the read-back succeeded and the output
// reads back `value`. Otherwise `reason` says why: the refused call (also in `failure`), or
// "output P of card C reads V after W was written".
struct WriteResult
{
    bool ok = false;
    bool written = false; // the write succeeded
    bool readBack = false; // the read-back succeeded; `value` holds what it read
    bool value = false;
    QString reason;
    std::optional<PointFailure> failure;
};

// Writes one output and reads it back.
WriteResult VerifiedWrite(int32_t card, int point, bool value);
