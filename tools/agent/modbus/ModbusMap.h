#pragma once
// The Modbus register map of the agent's boards, and the checks of one request, without a
// socket: the server's threads ask CheckRequest what to do with each frame and answer reads
// from a libmodbus mapping filled from the newest poll's image (FillMapping).
//
// Addresses (0-based, b = the board's card map position, 0-15):
//   coils (FC 1, 5, 15)            b*64 + i   output i
//   discrete inputs (FC 2)         b*64 + i   input i;  4096 + b present;  4112 + b safe state
//   input registers (FC 4)         b*4 + w    inputs 16w..16w+15;  256 + b*4 + w  the outputs
//                                  4096.. 4104 the status block
//   holding registers (FC 3, 6, 16) b*4 + w   outputs 16w..16w+15;  4352 watchdog timeout (ms);
//                                  4353 watchdog clear (write 1)

#include "ModbusConfig.h"

#include <modbus/modbus.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ModbusMap {

constexpr int kBoards = 16;
constexpr int kHeaderBytes = 7; // MBAP: transaction, protocol, length, unit
constexpr int kPointBitsEnd = kBoards * 64; // 1024
constexpr int kPresentBase = 4096;
constexpr int kSafeBase = 4112;
constexpr int kInputBitsEnd = kSafeBase + kBoards; // 4128
constexpr int kWordsEnd = kBoards * 4; // 64
constexpr int kOutWordsBase = 256;
constexpr int kStatusBase = 4096;
constexpr int kStatusEnd = 4105;
constexpr int kTimeoutRegister = 4352;
constexpr int kClearRegister = 4353;
constexpr int kHoldingEnd = 4354;

struct ImageBoard
{
    bool present = false;
    int32_t card = 0;
    uint64_t inMask = 0; // live points
    uint64_t outMask = 0;
    uint64_t in = 0; // values, as the newest poll read them
    uint64_t out = 0;
    uint64_t writable = 0; // outputs a client may write (WritablePoints=)
    bool failed = false; // the newest poll's read of the board was refused
    bool safe = false; // its outputs hold the watchdog's safe values
};

// What a read answers: the newest poll's values and the watchdog's state.
struct Image
{
    std::array<ImageBoard, kBoards> boards;
    int watchdogState = 0; // 0 off, 1 armed, 2 tripped
    int watchdogTimeoutMs = 0;
    int trips = 0;
    int versionMajor = 0;
    int versionMinor = 0;
};

// The status words that change between polls, filled in per request.
struct LiveStatus
{
    int64_t msSinceRequest = 65535;
    int connections = 0;
    uint32_t uptimeS = 0;
};

// What the client sending the request may do.
struct Access
{
    bool allowWrite = false;
    ClientAccess client = ClientAccess::Write;
    bool tripped = false;
    UnitMode unitMode = UnitMode::Any;
};

struct PointWrite
{
    int32_t card = 0;
    int point = 0;
    bool value = false;
    bool operator==(const PointWrite &) const = default;
};

enum class Action : uint8_t { Exception, Read, WritePoints, WriteWatchdog };

struct Verdict
{
    Action action = Action::Exception;
    uint8_t exception = 0; // with Action::Exception
    int flatAddress = 0; // a read's first address in the whole image (a unit's translated)
    bool isWrite = false; // the function writes (for the watchdog's Trigger=writes)
    std::vector<PointWrite> writes; // WritePoints, in address order
    std::optional<int> timeoutMs; // WriteWatchdog
    bool clear = false;
};

// The length of the rest of a frame after its 7-byte header (unit id included in the
// header), or -1 when the header is not one to answer (protocol id not 0, length below 2 or
// above 254): the frame is dropped and the connection closed.
int RestLength(const uint8_t *header);

// What to do with one whole frame (header and PDU, `length` bytes, RestLength checked).
Verdict CheckRequest(const uint8_t *frame, int length, const Image &image, const Access &access);

// The whole image into a mapping of modbus_mapping_new(kPointBitsEnd, kInputBitsEnd,
// kHoldingEnd, kStatusEnd); `live` into the status block.
modbus_mapping_t *NewMapping();
void FillMapping(const Image &image, modbus_mapping_t *mapping);
void FillLiveStatus(const LiveStatus &live, modbus_mapping_t *mapping);

// The reply to a write carried out: the request's first 12 bytes with length 6.
std::array<uint8_t, 12> WriteReply(const uint8_t *frame);

} // namespace ModbusMap
