// The 22 exported functions of the simulated device library. Each one checks its arguments in
// a fixed order (loaded, card, point or module, value, out-pointer), writes its out-values only
// on success, and hands one line to the log when the log level asks for it.

#include "device/qrxDApi.h"

#include "InputWord.h"
#include "ParamFile.h"
#include "Simulator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

Simulator g_sim;

DeviceLog &Log()
{
    return g_sim.log();
}

// "call -> status[ outs]" as one log line.
void LogCall(int32_t status, const std::string &call, const std::string &outs = {})
{
    std::string line = call + " -> " + std::to_string(status);
    if (status >= 0 && !outs.empty())
        line += " " + outs;
    Log().Write(line);
}

// The log line of a bit read, out of the read's own way: building it needs strings and a stack
// frame the read itself does without.
// Answers `status`, so that the read ends in a jump to it.
[[gnu::noinline, gnu::cold]] int32_t LogBitRead(const char *function, int32_t card, int32_t bit,
                                                int32_t status, const int32_t *value)
{
    LogCall(status, Format("%s(card=%d, bit=%d)", function, card, bit),
            status >= 0 ? Format("value=%d", *value) : "");
    return status;
}

// Finds the board of `card` and runs `body(position)` on it. The state file may be cut short
// under the body's reads and writes; the call then answers kSimStateLost, and a body that
// hands out what it read checks Lost() before it writes its out-values.
template<typename Body> int32_t OnBoard(int32_t card, Body body)
{
    int position = 0;
    const int32_t found = g_sim.Find(card, &position);
    if (found != kSimOk)
        return found;
    const int32_t status = body(position);
    return g_sim.lost() ? int32_t(kSimStateLost) : status;
}

bool Lost()
{
    return g_sim.lost();
}

// The log line of an input read, when the log wants it; answers `status`.
inline int32_t LoggedInputRead(int32_t card, int32_t bit, const int32_t *value, int32_t status)
{
    if (Log().Wants(DeviceLog::kInputReads, status)) [[unlikely]]
        return LogBitRead("DXS_devDiGetBit", card, bit, status, value);
    return status;
}

// The end of an input read once the board's input word is known: the value is handed out only
// while the state is not lost, and the call answers kSimStateLost when it was lost meanwhile.
inline int32_t EndInputRead(int32_t card, int32_t bit, int32_t *value, uint64_t word)
{
    int32_t status = kSimStateLost;
    if (!Lost()) {
        *value = static_cast<int32_t>((word >> bit) & 1);
        status = Lost() ? kSimStateLost : kSimOk;
    }
    return LoggedInputRead(card, bit, value, status);
}

// The end of a read of a board with a time-driven pattern, out of the plain read's way.
[[gnu::noinline]] int32_t EndPatternRead(int position, int32_t card, int32_t bit, int32_t *value,
                                         uint64_t word)
{
    return EndInputRead(card, bit, value,
                        (word | PatternInputs(g_sim.board(position))) &
                            g_sim.inputs(position).mask);
}

int32_t CheckModule(int32_t module)
{
    return module == 0 ? kSimOk : kSimBadModule;
}

bool InRange(int32_t value, int32_t lo, int32_t hi)
{
    return value >= lo && value <= hi;
}

// Getter of one int32 field of a board's live state; `argStatus` judges the other arguments
// once the board is known.
template<typename Field>
int32_t GetField(int32_t card, int32_t argStatus, int32_t *out, Field field)
{
    return OnBoard(card, [&](int position) {
        if (argStatus != kSimOk)
            return argStatus;
        if (!out)
            return int32_t(kSimNullPointer);
        const int32_t value = Atomic(field(g_sim.slot(position))).load(std::memory_order_relaxed);
        if (Lost())
            return int32_t(kSimStateLost);
        *out = value;
        return int32_t(kSimOk);
    });
}

template<typename Field>
int32_t SetField(int32_t card, int32_t argStatus, int32_t value, int32_t hi, Field field)
{
    return OnBoard(card, [&](int position) {
        if (argStatus != kSimOk)
            return argStatus;
        if (!InRange(value, 0, hi))
            return int32_t(kSimBadValue);
        Atomic(field(g_sim.slot(position))).store(value, std::memory_order_relaxed);
        return int32_t(kSimOk);
    });
}

} // namespace

extern "C" {

QRX_API int32_t DXS_devSysLoad(int32_t mode, int32_t *boardCount)
{
    std::string reason;
    int32_t status = kSimNullPointer;
    if (boardCount)
        status = g_sim.Load(mode, &reason);
    else
        g_sim.Unload(); // like every failed load
    if (status == kSimOk)
        *boardCount = g_sim.boardCount();
    if (!reason.empty())
        std::fprintf(stderr, "qrxsim: %s\n", reason.c_str());
    if (Log().Wants(DeviceLog::kChanges, status)) {
        const std::string call = Format("DXS_devSysLoad(mode=%d)", mode);
        if (!reason.empty())
            Log().Write(call + " -> " + std::to_string(status) + " (" + reason + ")");
        else
            LogCall(status, call, Format("boardCount=%d", g_sim.boardCount()));
    }
    return status;
}

QRX_API int32_t DXS_devSysUnload(void)
{
    const int32_t status = g_sim.loaded() ? int32_t(kSimOk) : int32_t(kSimNotLoaded);
    g_sim.Unload();
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status, "DXS_devSysUnload()");
    return status;
}

QRX_API int32_t DXS_devGnGetMotDevMap(void *cardMap)
{
    int32_t status = g_sim.Usable();
    if (status == kSimOk && !cardMap)
        status = kSimNullPointer;
    if (status == kSimOk) {
        CardMap map;
        map.setMapCount(g_sim.boardCount());
        for (int i = 0; i < g_sim.boardCount(); ++i) {
            const BoardDef &b = g_sim.board(i);
            map.setEntry(i, b.type, b.cardNo, b.inputs, b.outputs);
        }
        std::memcpy(cardMap, map.bytes, sizeof map.bytes);
    }
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, "DXS_devGnGetMotDevMap()", Format("mapCount=%d", g_sim.boardCount()));
    return status;
}

QRX_API int32_t DXS_devGnGetDioNum(int32_t card, int32_t *inputs, int32_t *outputs)
{
    const int32_t status = OnBoard(card, [&](int position) {
        if (!inputs || !outputs)
            return int32_t(kSimNullPointer);
        *inputs = g_sim.board(position).inputs;
        *outputs = g_sim.board(position).outputs;
        return int32_t(kSimOk);
    });
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, Format("DXS_devGnGetDioNum(card=%d)", card),
                status >= 0 ? Format("inputs=%d outputs=%d", *inputs, *outputs) : "");
    return status;
}

QRX_API int32_t DXS_devConGetMApiVersion(int32_t card, int32_t *version)
{
    const int32_t status = OnBoard(card, [&](int) {
        if (!version)
            return int32_t(kSimNullPointer);
        *version = g_sim.config().mApiVersion;
        return int32_t(kSimOk);
    });
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, Format("DXS_devConGetMApiVersion(card=%d)", card),
                status >= 0 ? Format("version=%d", *version) : "");
    return status;
}

QRX_API int32_t DXS_devConGetFwVersion(int32_t card, int32_t *version)
{
    const int32_t status = OnBoard(card, [&](int position) {
        if (!version)
            return int32_t(kSimNullPointer);
        *version = g_sim.board(position).firmware;
        return int32_t(kSimOk);
    });
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, Format("DXS_devConGetFwVersion(card=%d)", card),
                status >= 0 ? Format("version=0x%x", *version) : "");
    return status;
}

QRX_API int32_t DXS_devConParamLoad(int32_t card)
{
    const int32_t status = OnBoard(card, [&](int position) {
        const BoardDef &board = g_sim.board(position);
        BoardParams params;
        const int32_t loaded = ParamFile::Load(
            ParamFile::PathFor(g_sim.config().dataDir, board.cardNo), board.type, &params);
        if (loaded != kSimOk)
            return loaded;
        BoardSlot &s = g_sim.slot(position);
        Atomic(s.loadedEnable).store(params.filterEnable);
        Atomic(s.loadedTime).store(params.filterTime);
        Atomic(s.loadedCheckOn).store(params.checkOn);
        Atomic(s.filterEnable).store(params.filterEnable);
        Atomic(s.filterTime).store(params.filterTime);
        Atomic(s.checkOn).store(params.checkOn);
        return int32_t(kSimOk);
    });
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status, Format("DXS_devConParamLoad(card=%d)", card));
    return status;
}

QRX_API int32_t DXS_devConParamSave(int32_t card)
{
    const int32_t status = OnBoard(card, [&](int position) {
        const BoardDef &board = g_sim.board(position);
        BoardSlot &s = g_sim.slot(position);
        BoardParams params;
        params.filterEnable = Atomic(s.filterEnable).load();
        params.filterTime = Atomic(s.filterTime).load();
        params.checkOn = Atomic(s.checkOn).load() ? 1 : 0;
        if (Lost())
            return int32_t(kSimStateLost);
        return ParamFile::Save(ParamFile::PathFor(g_sim.config().dataDir, board.cardNo), board.type,
                               params);
    });
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status, Format("DXS_devConParamSave(card=%d)", card));
    return status;
}

QRX_API int32_t DXS_devConInit(int32_t card)
{
    const int32_t status = OnBoard(card, [&](int position) {
        BoardSlot &s = g_sim.slot(position);
        Atomic(s.outputs).store(0);
        Atomic(s.filterEnable).store(Atomic(s.loadedEnable).load());
        Atomic(s.filterTime).store(Atomic(s.loadedTime).load());
        Atomic(s.checkOn).store(Atomic(s.loadedCheckOn).load());
        return int32_t(kSimOk);
    });
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status, Format("DXS_devConInit(card=%d)", card));
    return status;
}

QRX_API int32_t DXS_devConGetCheckOn(int32_t card, int32_t *on)
{
    const int32_t status =
        GetField(card, kSimOk, on, [](BoardSlot &s) -> int32_t & { return s.checkOn; });
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, Format("DXS_devConGetCheckOn(card=%d)", card),
                status >= 0 ? Format("on=%d", *on) : "");
    return status;
}

QRX_API int32_t DXS_devConSetCheckOn(int32_t card, int32_t on)
{
    const int32_t status =
        SetField(card, kSimOk, on, 1, [](BoardSlot &s) -> int32_t & { return s.checkOn; });
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status, Format("DXS_devConSetCheckOn(card=%d, on=%d)", card, on));
    return status;
}

QRX_API int32_t DXS_devDiGetBit(int32_t card, int32_t bit, int32_t *value)
{
    // OnBoard's steps, spelled out so that a board with a pattern leaves the plain read at
    // once: the clock it asks would give every read a stack frame.
    int position = 0;
    const int32_t found = g_sim.Find(card, &position);
    if (found != kSimOk)
        return LoggedInputRead(card, bit, value, found);
    const Simulator::Inputs &inputs = g_sim.inputs(position);
    const bool pointOk = InRange(bit, 0, inputs.points - 1);
    if (!pointOk || !value) // a bad point comes before a null pointer
        return LoggedInputRead(card, bit, value,
                               Lost() ? int32_t(kSimStateLost)
                                      : int32_t(pointOk ? kSimNullPointer : kSimBadPoint));
    BoardSlot &slot = g_sim.slot(position);
    uint64_t word = Atomic(slot.held).load(std::memory_order_relaxed);
    if (inputs.loopback)
        word |= Atomic(slot.outputs).load(std::memory_order_relaxed);
    if (inputs.pattern) [[unlikely]]
        return EndPatternRead(position, card, bit, value, word);
    return EndInputRead(card, bit, value, word & inputs.mask);
}

QRX_API int32_t DXS_devDoGetBit(int32_t card, int32_t bit, int32_t *value)
{
    const int32_t status = OnBoard(card, [&](int position) {
        if (!InRange(bit, 0, g_sim.board(position).outputs - 1))
            return int32_t(kSimBadPoint);
        if (!value)
            return int32_t(kSimNullPointer);
        const uint64_t word = Atomic(g_sim.slot(position).outputs).load(std::memory_order_relaxed);
        if (Lost())
            return int32_t(kSimStateLost);
        *value = static_cast<int32_t>((word >> bit) & 1);
        return int32_t(kSimOk);
    });
    if (Log().Wants(DeviceLog::kOutputReads, status)) [[unlikely]]
        return LogBitRead("DXS_devDoGetBit", card, bit, status, value);
    return status;
}

QRX_API int32_t DXS_devDoSetBit(int32_t card, int32_t bit, int32_t value)
{
    const int32_t status = OnBoard(card, [&](int position) {
        if (!InRange(bit, 0, g_sim.board(position).outputs - 1))
            return int32_t(kSimBadPoint);
        if (!InRange(value, 0, 1))
            return int32_t(kSimBadValue);
        auto outputs = Atomic(g_sim.slot(position).outputs);
        const uint64_t mask = uint64_t(1) << bit;
        if (value)
            outputs.fetch_or(mask, std::memory_order_relaxed);
        else
            outputs.fetch_and(~mask, std::memory_order_relaxed);
        return int32_t(kSimOk);
    });
    if (Log().Wants(DeviceLog::kChanges, status)) [[unlikely]]
        LogCall(status, Format("DXS_devDoSetBit(card=%d, bit=%d, value=%d)", card, bit, value));
    return status;
}

QRX_API int32_t DXS_devDiGetFilterEnable(int32_t card, int32_t module, int32_t *enable)
{
    const int32_t status = GetField(card, CheckModule(module), enable,
                                    [](BoardSlot &s) -> int32_t & { return s.filterEnable; });
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, Format("DXS_devDiGetFilterEnable(card=%d, module=%d)", card, module),
                status >= 0 ? Format("enable=%d", *enable) : "");
    return status;
}

QRX_API int32_t DXS_devDiSetFilterEnable(int32_t card, int32_t module, int32_t enable)
{
    const int32_t status = SetField(card, CheckModule(module), enable, 1,
                                    [](BoardSlot &s) -> int32_t & { return s.filterEnable; });
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status,
                Format("DXS_devDiSetFilterEnable(card=%d, module=%d, enable=%d)", card, module,
                       enable));
    return status;
}

QRX_API int32_t DXS_devDiGetFilterTime(int32_t card, int32_t module, int32_t *code)
{
    const int32_t status = GetField(card, CheckModule(module), code,
                                    [](BoardSlot &s) -> int32_t & { return s.filterTime; });
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, Format("DXS_devDiGetFilterTime(card=%d, module=%d)", card, module),
                status >= 0 ? Format("code=%d", *code) : "");
    return status;
}

QRX_API int32_t DXS_devDiSetFilterTime(int32_t card, int32_t module, int32_t code)
{
    const int32_t status = SetField(card, CheckModule(module), code, 15,
                                    [](BoardSlot &s) -> int32_t & { return s.filterTime; });
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status,
                Format("DXS_devDiSetFilterTime(card=%d, module=%d, code=%d)", card, module, code));
    return status;
}

QRX_API int32_t DXS_devDLogGetLevel(int32_t *level)
{
    const int32_t status = level ? int32_t(kSimOk) : int32_t(kSimNullPointer);
    if (level)
        *level = Log().level();
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, "DXS_devDLogGetLevel()", status >= 0 ? Format("level=%d", *level) : "");
    return status;
}

QRX_API int32_t DXS_devDLogSetLevel(int32_t level)
{
    const int32_t status = InRange(level, 0, 5) ? int32_t(kSimOk) : int32_t(kSimBadValue);
    // The new level takes effect at once, so it already decides about its own line.
    if (status == kSimOk)
        Log().setLevel(level);
    if (Log().Wants(DeviceLog::kChanges, status))
        LogCall(status, Format("DXS_devDLogSetLevel(level=%d)", level));
    return status;
}

QRX_API int32_t DXS_devDLogGetFile(char *path)
{
    const int32_t status = path ? int32_t(kSimOk) : int32_t(kSimNullPointer);
    const std::string file = Log().file();
    if (path) {
        // Always terminated within the buffer, whatever the path's length.
        const size_t n = std::min(file.size(), size_t(DXS_PATH_BYTES - 1));
        std::memcpy(path, file.data(), n);
        path[n] = '\0';
    }
    if (Log().Wants(DeviceLog::kQueries, status))
        LogCall(status, "DXS_devDLogGetFile()", status >= 0 ? "path=" + std::string(path) : "");
    return status;
}

QRX_API int32_t DXS_devDLogSetFile(const char *path)
{
    int32_t status = kSimOk;
    if (!path)
        status = kSimNullPointer;
    else if (strnlen(path, DXS_PATH_BYTES) >= size_t(DXS_PATH_BYTES))
        status = kSimPathTooLong;
    else if (!*path)
        status = kSimBadValue;
    else if (!DeviceLog::Usable(path))
        status = kSimLogFileError;
    if (status == kSimOk)
        Log().setFile(path);
    if (Log().Wants(DeviceLog::kChanges, status)) {
        const std::string shown = !path ? std::string("(null)")
            : status == kSimPathTooLong ? std::string(path, 40) + "..."
                                        : std::string(path);
        LogCall(status, "DXS_devDLogSetFile(path=" + shown + ")");
    }
    return status;
}

} // extern "C"
