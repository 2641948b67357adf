#pragma once
// A recording stand-in for the device library, installed in the process-wide call table.
// It records every call with its arguments ("DXS_devDoSetBit(0, 5, 1)"), answers from a
// scripted set of boards, and can be told to fail any function without writing out-values.
//
// It answers as the simulated library does (tst_device_contract runs the same checks against
// both): the same statuses (sim/core/SimStatus.h), checked in the same order (loaded, card,
// point or module, value, out-pointer), no out-value written by a failed call, points only
// within the board, filter module 0 only, values within their ranges. On purpose it differs
// in these ways, and only these (the contract test lists them too):
//  - it records every call (`calls`, `onCall`);
//  - it fails what it is told to (`failing`, `failingCalls`, `failStatus`, `loadStatuses`,
//    `loadStatus`) and can misreport counts (`mapCount`, `reportedBoardCount`) or hand out
//    an unterminated log path (`logFileUnterminated`), which the real library never does;
//  - a board's card map entry may give other point counts (`mapInputs`, `mapOutputs`) than
//    DXS_devGnGetDioNum, which reports the board's own (`inputs`, `outputs`), the counts its
//    point calls accept;
//  - it starts loaded (`loaded`), so that a window test needs no DXS_devSysLoad first;
//  - its boards are whatever a test puts in `boards`, also counts above 64 or below 0 that no
//    board file may hold (points are then bounded by 0..63), and their parameter file is the
//    `saved` member, not a file; a board's inputs are its `in` word, with no loopback or
//    pattern;
//  - DXS_devDLogSetFile takes any non-empty path under 260 bytes without touching the file
//    system, and no log lines are written.

#include "device/DeviceTable.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

// A board's parameters as its parameter file holds them.
struct FakeParams
{
    int32_t filterEnable = 0;
    int32_t filterTime = 0;
    int32_t checkOn = 0;
};

struct FakeBoard
{
    int32_t type = 174;
    int32_t cardNo = 0;
    int32_t inputs = 32;
    int32_t outputs = 32;
    int32_t mapiVersion = 1020304;
    int32_t fwVersion = 0x110;
    uint64_t in = 0;
    uint64_t out = 0;
    int32_t filterEnable = 0;
    int32_t filterTime = 0;
    int32_t checkOn = 0;
    std::optional<FakeParams> saved = {}; // the parameter file; none: DXS_devConParamLoad fails
    FakeParams loaded = {}; // what DXS_devConInit returns the filter and Run LED to
    std::optional<int32_t> mapInputs = {}; // the card map's counts, when they differ
    std::optional<int32_t> mapOutputs = {};
};

// A board of `type` with card number `cardNo` and the given point counts.
FakeBoard Board(int32_t type, int32_t cardNo, int32_t inputs, int32_t outputs, int32_t fw = 0x110);

class FakeDevice
{
public:
    FakeDevice(); // installs itself; only one may exist at a time
    ~FakeDevice(); // puts the unloaded table back

    static FakeDevice *current();

    QList<FakeBoard> boards;
    QList<int32_t> loadStatuses; // answered by DXS_devSysLoad in turn; then loadStatus
    int32_t loadStatus = 0;
    bool loaded = true; // as after a successful DXS_devSysLoad
    std::optional<int32_t> mapCount; // overrides the map's count (the slots still hold `boards`)
    std::optional<int32_t> reportedBoardCount; // overrides the count DXS_devSysLoad reports
    QSet<QString> failing; // names of functions that fail without writing out-values
    QSet<QString> failingCalls; // single calls, as recorded, that fail the same way
    int32_t failStatus = -1;
    int32_t logLevel = 0;
    QByteArray logFile = "C:\\qrx.dbg";
    bool logFileUnterminated = false; // DXS_devDLogGetFile fills all 260 bytes with no NUL

    bool record = true; // off: calls are answered but neither kept nor passed to onCall
    QStringList calls;
    std::function<void(const QString &call)> onCall; // called as each call is recorded
    // The calls recorded since the last take, which are then forgotten.
    QStringList takeCalls();
    // Only the calls of one function.
    QStringList callsOf(const QString &name) const;

    FakeBoard *board(int32_t cardNo);

    // The function table that dispatches to the current fake.
    static DeviceTable Table();
};
