#pragma once
// A recording stand-in for the device library, installed in the process-wide call table.
// It records every call with its arguments ("DXS_devDoSetBit(0, 5, 1)"), answers from a
// scripted set of boards, and can be told to fail any function without writing out-values.

#include "device/DeviceTable.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

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
};

class FakeDevice
{
public:
    FakeDevice(); // installs itself; only one may exist at a time
    ~FakeDevice(); // puts the unloaded table back

    static FakeDevice *current();

    QList<FakeBoard> boards;
    QList<int32_t> loadStatuses; // answered by DXS_devSysLoad in turn; then loadStatus
    int32_t loadStatus = 0;
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
