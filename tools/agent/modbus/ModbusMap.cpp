#include "ModbusMap.h"

#include <algorithm>
#include <cstring>

namespace ModbusMap {

namespace {

constexpr uint8_t kIllegalFunction = MODBUS_EXCEPTION_ILLEGAL_FUNCTION;
constexpr uint8_t kIllegalAddress = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
constexpr uint8_t kIllegalValue = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
constexpr uint8_t kFailure = MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE;
constexpr uint8_t kNoTarget = MODBUS_EXCEPTION_GATEWAY_TARGET;

uint16_t Word(const uint8_t *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

Verdict Refuse(uint8_t exception)
{
    Verdict v;
    v.exception = exception;
    return v;
}

// The kinds of range a request may name.
enum class Block : uint8_t {
    None,
    OutBits,
    InBits,
    StatusBits,
    InWords,
    OutWords,
    Status,
    Watchdog
};

// The block the range [address, address + count) lies in for the function, in the whole image.
Block BlockOf(int fc, int address, int count)
{
    const int end = address + count;
    const auto within = [&](int from, int to) {
        return address >= from && end <= to;
    };
    switch (fc) {
    case MODBUS_FC_READ_COILS:
    case MODBUS_FC_WRITE_SINGLE_COIL:
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
        return within(0, kPointBitsEnd) ? Block::OutBits : Block::None;
    case MODBUS_FC_READ_DISCRETE_INPUTS:
        return within(0, kPointBitsEnd)           ? Block::InBits
            : within(kPresentBase, kInputBitsEnd) ? Block::StatusBits
                                                  : Block::None;
    case MODBUS_FC_READ_INPUT_REGISTERS:
        return within(0, kWordsEnd)                            ? Block::InWords
            : within(kOutWordsBase, kOutWordsBase + kWordsEnd) ? Block::OutWords
            : within(kStatusBase, kStatusEnd)                  ? Block::Status
                                                               : Block::None;
    default: // holding registers
        return within(0, kWordsEnd)                 ? Block::OutWords
            : within(kTimeoutRegister, kHoldingEnd) ? Block::Watchdog
                                                    : Block::None;
    }
}

// A unit's address in the whole image: unit n (1-16) of UnitMode=per-board is the board at
// position n-1 with its addresses from 0; the status block and the watchdog registers are
// shared. -1 for a range outside the unit's board.
int Translate(int fc, int address, int count, int board)
{
    const bool bits = fc == MODBUS_FC_READ_COILS || fc == MODBUS_FC_READ_DISCRETE_INPUTS ||
        fc == MODBUS_FC_WRITE_SINGLE_COIL || fc == MODBUS_FC_WRITE_MULTIPLE_COILS;
    const int end = address + count;
    if (bits) {
        if (end <= 64)
            return address + board * 64;
        if (fc == MODBUS_FC_READ_DISCRETE_INPUTS && count == 1 &&
            (address == kPresentBase || address == kSafeBase))
            return address + board;
        return -1;
    }
    if (end <= 4)
        return address + board * 4;
    if (fc == MODBUS_FC_READ_INPUT_REGISTERS && address >= kOutWordsBase &&
        end <= kOutWordsBase + 4)
        return address + board * 4;
    return address >= kStatusBase ? address : -1;
}

// Whether the range holds a live point of a present board (status ranges always do).
bool HoldsLivePoint(Block block, int address, int count, const Image &image)
{
    if (block == Block::StatusBits || block == Block::Status || block == Block::Watchdog)
        return true;
    for (int a = address; a < address + count; ++a) {
        const bool words = block == Block::InWords || block == Block::OutWords;
        const int index =
            words ? (block == Block::OutWords && a >= kOutWordsBase ? a - kOutWordsBase : a) : a;
        const ImageBoard &b = image.boards[size_t(words ? index / 4 : index / 64)];
        const uint64_t mask =
            block == Block::InBits || block == Block::InWords ? b.inMask : b.outMask;
        const uint64_t live =
            words ? mask >> (16 * (index % 4)) & 0xFFFF : mask >> (index % 64) & 1;
        if (b.present && live)
            return true;
    }
    return false;
}

bool BoardFailed(Block block, int address, int count, const Image &image)
{
    const bool words = block == Block::InWords || block == Block::OutWords;
    const int from =
        block == Block::OutWords && address >= kOutWordsBase ? address - kOutWordsBase : address;
    const int per = words ? 4 : 64;
    for (int b = from / per; b <= (from + count - 1) / per; ++b)
        if (image.boards[size_t(b)].present && image.boards[size_t(b)].failed)
            return true;
    return false;
}

struct Parsed
{
    int fc = 0;
    int address = 0;
    int count = 0;
    const uint8_t *values = nullptr; // FC 15, 16: the data; FC 5, 6: the value
};

// The quantity, byte count and value checks (exception 03); 0 when the PDU is sound.
uint8_t ParsePdu(const uint8_t *pdu, int length, Parsed *p)
{
    p->fc = pdu[0];
    if (length < 5)
        return kIllegalValue;
    p->address = Word(pdu + 1);
    p->count = Word(pdu + 3);
    p->values = pdu + 3;
    switch (p->fc) {
    case MODBUS_FC_READ_COILS:
    case MODBUS_FC_READ_DISCRETE_INPUTS:
        return length == 5 && p->count >= 1 && p->count <= MODBUS_MAX_READ_BITS ? 0 : kIllegalValue;
    case MODBUS_FC_READ_HOLDING_REGISTERS:
    case MODBUS_FC_READ_INPUT_REGISTERS:
        return length == 5 && p->count >= 1 && p->count <= MODBUS_MAX_READ_REGISTERS
            ? 0
            : kIllegalValue;
    case MODBUS_FC_WRITE_SINGLE_COIL: {
        const uint16_t v = Word(pdu + 3);
        p->count = 1;
        return length == 5 && (v == 0xFF00 || v == 0) ? 0 : kIllegalValue;
    }
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
        p->count = 1;
        return length == 5 ? 0 : kIllegalValue;
    default: { // FC 15, 16
        const bool coils = p->fc == MODBUS_FC_WRITE_MULTIPLE_COILS;
        const int max = coils ? MODBUS_MAX_WRITE_BITS : MODBUS_MAX_WRITE_REGISTERS;
        const int bytes = coils ? (p->count + 7) / 8 : p->count * 2;
        p->values = pdu + 6;
        return length >= 6 && p->count >= 1 && p->count <= max && pdu[5] == bytes &&
                length == 6 + bytes
            ? 0
            : kIllegalValue;
    }
    }
}

// The points a coil or register write names, or 01 when one may not be written.
uint8_t PointWrites(const Parsed &p, int flat, const Image &image, std::vector<PointWrite> *out)
{
    const bool coils =
        p.fc == MODBUS_FC_WRITE_SINGLE_COIL || p.fc == MODBUS_FC_WRITE_MULTIPLE_COILS;
    for (int n = 0; n < p.count; ++n) {
        const int a = flat + n;
        const ImageBoard &b = image.boards[size_t(coils ? a / 64 : a / 4)];
        const int first = coils ? a % 64 : a % 4 * 16;
        uint16_t bits = 0;
        if (p.fc == MODBUS_FC_WRITE_SINGLE_COIL)
            bits = p.values[0] == 0xFF;
        else if (p.fc == MODBUS_FC_WRITE_MULTIPLE_COILS)
            bits = p.values[n / 8] >> (n % 8) & 1;
        else
            bits = Word(p.values + 2 * n);
        for (int i = 0; i < (coils ? 1 : 16); ++i) {
            const int point = first + i;
            const bool value = bits >> i & 1;
            const bool live = b.present && (b.outMask >> point & 1);
            // A coil names its point; a register its live points, and a 1 names any bit.
            if ((coils || live || value) && !(live && (b.writable >> point & 1)))
                return kIllegalFunction;
            if (live)
                out->push_back({b.card, point, value});
        }
    }
    return 0;
}

Verdict WatchdogWrite(const Parsed &p)
{
    Verdict v;
    v.action = Action::WriteWatchdog;
    v.isWrite = true;
    for (int n = 0; n < p.count; ++n) {
        const int value =
            p.fc == MODBUS_FC_WRITE_SINGLE_REGISTER ? Word(p.values) : Word(p.values + 2 * n);
        if (p.address + n == kTimeoutRegister) {
            if (value != 0 && (value < 100 || value > 60000))
                return Refuse(kIllegalValue);
            v.timeoutMs = value;
        } else if (value != 1) {
            return Refuse(kIllegalValue);
        } else {
            v.clear = true;
        }
    }
    return v;
}

bool IsWriteFunction(int fc)
{
    return fc == MODBUS_FC_WRITE_SINGLE_COIL || fc == MODBUS_FC_WRITE_SINGLE_REGISTER ||
        fc == MODBUS_FC_WRITE_MULTIPLE_COILS || fc == MODBUS_FC_WRITE_MULTIPLE_REGISTERS;
}

Verdict CheckWrite(const Parsed &p, Block block, int flat, const Image &image, const Access &access)
{
    if (!access.allowWrite || access.client != ClientAccess::Write)
        return Refuse(kIllegalFunction);
    if (block == Block::Watchdog) {
        Parsed translated = p;
        translated.address = flat;
        return WatchdogWrite(translated);
    }
    Verdict v;
    if (const uint8_t e = PointWrites(p, flat, image, &v.writes))
        return Refuse(e);
    if (access.tripped)
        return Refuse(kFailure);
    v.action = Action::WritePoints;
    v.isWrite = true;
    return v;
}

} // namespace

int RestLength(const uint8_t *header)
{
    const int protocol = Word(header + 2);
    const int length = Word(header + 4); // the unit id and the PDU
    if (protocol != 0 || length < 2 || length > MODBUS_MAX_PDU_LENGTH + 1)
        return -1;
    return length - 1;
}

Verdict CheckRequest(const uint8_t *frame, int length, const Image &image, const Access &access)
{
    const int unit = frame[6];
    const uint8_t *pdu = frame + kHeaderBytes;
    const int fc = pdu[0];
    int board = -1;
    if (access.unitMode == UnitMode::PerBoard && unit != 0 && unit != 255) {
        if (unit > kBoards)
            return Refuse(kNoTarget);
        board = unit - 1;
    }
    static constexpr int kSupported[] = {1, 2, 3, 4, 5, 6, 15, 16};
    if (std::find(std::begin(kSupported), std::end(kSupported), fc) == std::end(kSupported))
        return Refuse(kIllegalFunction);
    Parsed p;
    if (const uint8_t e = ParsePdu(pdu, length - kHeaderBytes, &p))
        return Refuse(e);
    const int flat = board < 0 ? p.address : Translate(fc, p.address, p.count, board);
    const Block block = flat < 0 ? Block::None : BlockOf(fc, flat, p.count);
    if (block == Block::None || !HoldsLivePoint(block, flat, p.count, image))
        return Refuse(kIllegalAddress);
    if (IsWriteFunction(fc)) {
        Verdict v = CheckWrite(p, block, flat, image, access);
        v.isWrite = true;
        return v;
    }
    if (block != Block::Status && block != Block::StatusBits && block != Block::Watchdog &&
        BoardFailed(block, flat, p.count, image))
        return Refuse(kFailure);
    Verdict v;
    v.action = Action::Read;
    v.flatAddress = flat;
    return v;
}

modbus_mapping_t *NewMapping()
{
    return modbus_mapping_new(kPointBitsEnd, kInputBitsEnd, kHoldingEnd, kStatusEnd);
}

void FillMapping(const Image &image, modbus_mapping_t *m)
{
    for (int b = 0; b < kBoards; ++b) {
        const ImageBoard &board = image.boards[size_t(b)];
        const uint64_t in = board.present ? board.in & board.inMask : 0;
        const uint64_t out = board.present ? board.out & board.outMask : 0;
        for (int i = 0; i < 64; ++i) {
            m->tab_bits[b * 64 + i] = out >> i & 1;
            m->tab_input_bits[b * 64 + i] = in >> i & 1;
        }
        for (int w = 0; w < 4; ++w) {
            m->tab_input_registers[b * 4 + w] = uint16_t(in >> (16 * w));
            m->tab_input_registers[kOutWordsBase + b * 4 + w] = uint16_t(out >> (16 * w));
            m->tab_registers[b * 4 + w] = uint16_t(out >> (16 * w));
        }
        m->tab_input_bits[kPresentBase + b] = board.present;
        m->tab_input_bits[kSafeBase + b] = board.present && board.safe;
    }
    uint16_t *status = m->tab_input_registers + kStatusBase;
    status[0] = uint16_t(image.watchdogState);
    status[2] = uint16_t(std::min(image.trips, 65535));
    uint16_t present = 0;
    for (int b = 0; b < kBoards; ++b)
        present |= uint16_t(image.boards[size_t(b)].present) << b;
    status[4] = present;
    status[5] = uint16_t(image.versionMajor);
    status[6] = uint16_t(image.versionMinor);
    m->tab_registers[kTimeoutRegister] = uint16_t(image.watchdogTimeoutMs);
    m->tab_registers[kClearRegister] = 0;
}

void FillLiveStatus(const LiveStatus &live, modbus_mapping_t *m)
{
    uint16_t *status = m->tab_input_registers + kStatusBase;
    status[1] = uint16_t(std::clamp<int64_t>(live.msSinceRequest, 0, 65535));
    status[3] = uint16_t(std::clamp(live.connections, 0, 65535));
    status[7] = uint16_t(live.uptimeS >> 16);
    status[8] = uint16_t(live.uptimeS);
}

std::array<uint8_t, 12> WriteReply(const uint8_t *frame)
{
    std::array<uint8_t, 12> reply{};
    std::memcpy(reply.data(), frame, reply.size());
    reply[4] = 0;
    reply[5] = 6;
    return reply;
}

} // namespace ModbusMap
