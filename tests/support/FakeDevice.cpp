#include "FakeDevice.h"

#include "SimStatus.h"
#include "device/CardMap.h"
#include "device/LiveBits.h"
#include "device/SystemInfo.h"

#include <algorithm>
#include <cstring>

namespace {

FakeDevice *g_fake = nullptr;

bool Fails(const char *name)
{
    // The empty check spares a long run one string per call.
    return !g_fake->failing.isEmpty() && g_fake->failing.contains(QLatin1String(name));
}

// Records the call and tells whether it is to fail, by its name or as this very call.
template<typename... Args> bool RecordAndFail(const char *name, Args... args)
{
    const bool failsByName = Fails(name);
    if (!g_fake->record && g_fake->failingCalls.isEmpty())
        return failsByName;
    QStringList parts;
    (void)(parts << ... << QString::number(args));
    const QString call =
        QStringLiteral("%1(%2)").arg(QLatin1String(name), parts.join(QStringLiteral(", ")));
    if (g_fake->record) {
        g_fake->calls << call;
        if (g_fake->onCall)
            g_fake->onCall(call);
    }
    return failsByName || g_fake->failingCalls.contains(call);
}

#define FAKE_CALL(name, ...)                                                                       \
    if (RecordAndFail(#name __VA_OPT__(, ) __VA_ARGS__))                                           \
        return g_fake->failStatus;

bool InRange(int32_t value, int32_t lo, int32_t hi)
{
    return value >= lo && value <= hi;
}

int32_t SysLoad(int32_t mode, int32_t *count)
{
    FAKE_CALL(DXS_devSysLoad, mode);
    if (!count) {
        g_fake->loaded = false; // like every failed load
        return kSimNullPointer;
    }
    int32_t status =
        g_fake->loadStatuses.isEmpty() ? g_fake->loadStatus : g_fake->loadStatuses.takeFirst();
    if (status >= 0 && !InRange(mode, DXS_LOAD_AUTO, DXS_LOAD_MANUAL))
        status = DXS_ERR_OPEN_MODE;
    g_fake->loaded = status >= 0;
    if (status >= 0)
        *count = g_fake->reportedBoardCount.value_or(int32_t(g_fake->boards.size()));
    return status;
}

int32_t SysUnload()
{
    FAKE_CALL(DXS_devSysUnload);
    const bool wasLoaded = g_fake->loaded;
    g_fake->loaded = false;
    return wasLoaded ? kSimOk : kSimNotLoaded;
}

int32_t GetMap(void *block)
{
    FAKE_CALL(DXS_devGnGetMotDevMap);
    if (!g_fake->loaded)
        return kSimNotLoaded;
    if (!block)
        return kSimNullPointer;
    CardMap map;
    map.setMapCount(g_fake->mapCount.value_or(int32_t(g_fake->boards.size())));
    for (int i = 0; i < g_fake->boards.size() && i < kMaxBoards; ++i) {
        const FakeBoard &b = g_fake->boards[i];
        map.setEntry(i, b.type, b.cardNo, b.mapInputs.value_or(b.inputs),
                     b.mapOutputs.value_or(b.outputs));
    }
    std::memcpy(block, map.bytes, sizeof map.bytes);
    return 0;
}

// Finds the board of `card`, or answers why there is none.
#define FAKE_BOARD(card)                                                                           \
    if (!g_fake->loaded)                                                                           \
        return kSimNotLoaded;                                                                      \
    FakeBoard *b = g_fake->board(card);                                                            \
    if (!b)                                                                                        \
        return kSimBadCard;

#define FAKE_OUT(...)                                                                              \
    if (!(__VA_ARGS__))                                                                            \
        return kSimNullPointer;

int32_t GetDioNum(int32_t card, int32_t *inputs, int32_t *outputs)
{
    FAKE_CALL(DXS_devGnGetDioNum, card);
    FAKE_BOARD(card);
    FAKE_OUT(inputs && outputs);
    *inputs = b->inputs;
    *outputs = b->outputs;
    return 0;
}

int32_t GetMApiVersion(int32_t card, int32_t *version)
{
    FAKE_CALL(DXS_devConGetMApiVersion, card);
    FAKE_BOARD(card);
    FAKE_OUT(version);
    *version = b->mapiVersion;
    return 0;
}

int32_t GetFwVersion(int32_t card, int32_t *version)
{
    FAKE_CALL(DXS_devConGetFwVersion, card);
    FAKE_BOARD(card);
    FAKE_OUT(version);
    *version = b->fwVersion;
    return 0;
}

int32_t ParamLoad(int32_t card)
{
    FAKE_CALL(DXS_devConParamLoad, card);
    FAKE_BOARD(card);
    if (!b->saved)
        return kSimParamFileMissing;
    b->loaded = *b->saved;
    b->filterEnable = b->loaded.filterEnable;
    b->filterTime = b->loaded.filterTime;
    b->checkOn = b->loaded.checkOn;
    return 0;
}

int32_t ParamSave(int32_t card)
{
    FAKE_CALL(DXS_devConParamSave, card);
    FAKE_BOARD(card);
    b->saved = FakeParams{b->filterEnable, b->filterTime, b->checkOn};
    return 0;
}

int32_t Init(int32_t card)
{
    FAKE_CALL(DXS_devConInit, card);
    FAKE_BOARD(card);
    b->out = 0;
    b->filterEnable = b->loaded.filterEnable;
    b->filterTime = b->loaded.filterTime;
    b->checkOn = b->loaded.checkOn;
    return 0;
}

int32_t GetCheckOn(int32_t card, int32_t *on)
{
    FAKE_CALL(DXS_devConGetCheckOn, card);
    FAKE_BOARD(card);
    FAKE_OUT(on);
    *on = b->checkOn;
    return 0;
}

int32_t SetCheckOn(int32_t card, int32_t on)
{
    FAKE_CALL(DXS_devConSetCheckOn, card, on);
    FAKE_BOARD(card);
    if (!InRange(on, 0, 1))
        return kSimBadValue;
    b->checkOn = on;
    return 0;
}

// The point numbers of a board, as the library takes them, by the live-bit rule: 0..count-1
// (at most 64); a board of 24 inputs is wired as 0..7 and 16..31, so its inputs take 0..31 and
// 8..15 read 0. A test may give a board any count.
int32_t InputPoints(const FakeBoard &b)
{
    return ReadablePoints(PointDir::In, b.inputs);
}

int32_t OutputPoints(const FakeBoard &b)
{
    return ReadablePoints(PointDir::Out, b.outputs);
}

uint64_t InputWord(const FakeBoard &b)
{
    return b.in & LiveMask(PointDir::In, b.inputs);
}

int32_t DiGetBit(int32_t card, int32_t bit, int32_t *value)
{
    FAKE_CALL(DXS_devDiGetBit, card, bit);
    FAKE_BOARD(card);
    if (!InRange(bit, 0, InputPoints(*b) - 1))
        return kSimBadPoint;
    FAKE_OUT(value);
    *value = int32_t((InputWord(*b) >> bit) & 1);
    return 0;
}

int32_t DoGetBit(int32_t card, int32_t bit, int32_t *value)
{
    FAKE_CALL(DXS_devDoGetBit, card, bit);
    FAKE_BOARD(card);
    if (!InRange(bit, 0, OutputPoints(*b) - 1))
        return kSimBadPoint;
    FAKE_OUT(value);
    *value = int32_t((b->out >> bit) & 1);
    return 0;
}

int32_t DoSetBit(int32_t card, int32_t bit, int32_t value)
{
    FAKE_CALL(DXS_devDoSetBit, card, bit, value);
    FAKE_BOARD(card);
    if (!InRange(bit, 0, OutputPoints(*b) - 1))
        return kSimBadPoint;
    if (!InRange(value, 0, 1))
        return kSimBadValue;
    const uint64_t mask = uint64_t(1) << bit;
    b->out = value ? (b->out | mask) : (b->out & ~mask);
    return 0;
}

// The filter calls take module 0 only.
#define FAKE_MODULE(module)                                                                        \
    if (module != 0)                                                                               \
        return kSimBadModule;

int32_t GetFilterEnable(int32_t card, int32_t module, int32_t *enable)
{
    FAKE_CALL(DXS_devDiGetFilterEnable, card, module);
    FAKE_BOARD(card);
    FAKE_MODULE(module);
    FAKE_OUT(enable);
    *enable = b->filterEnable;
    return 0;
}

int32_t SetFilterEnable(int32_t card, int32_t module, int32_t enable)
{
    FAKE_CALL(DXS_devDiSetFilterEnable, card, module, enable);
    FAKE_BOARD(card);
    FAKE_MODULE(module);
    if (!InRange(enable, 0, 1))
        return kSimBadValue;
    b->filterEnable = enable;
    return 0;
}

int32_t GetFilterTime(int32_t card, int32_t module, int32_t *code)
{
    FAKE_CALL(DXS_devDiGetFilterTime, card, module);
    FAKE_BOARD(card);
    FAKE_MODULE(module);
    FAKE_OUT(code);
    *code = b->filterTime;
    return 0;
}

int32_t SetFilterTime(int32_t card, int32_t module, int32_t code)
{
    FAKE_CALL(DXS_devDiSetFilterTime, card, module, code);
    FAKE_BOARD(card);
    FAKE_MODULE(module);
    if (!InRange(code, 0, 15))
        return kSimBadValue;
    b->filterTime = code;
    return 0;
}

int32_t LogGetLevel(int32_t *level)
{
    FAKE_CALL(DXS_devDLogGetLevel);
    FAKE_OUT(level);
    *level = g_fake->logLevel;
    return 0;
}

int32_t LogSetLevel(int32_t level)
{
    FAKE_CALL(DXS_devDLogSetLevel, level);
    if (!InRange(level, 0, 5))
        return kSimBadValue;
    g_fake->logLevel = level;
    return 0;
}

int32_t LogGetFile(char *path)
{
    FAKE_CALL(DXS_devDLogGetFile);
    FAKE_OUT(path);
    if (g_fake->logFileUnterminated) {
        std::memset(path, 'x', kPathBytes);
        return 0;
    }
    CopyAnsi(path, kPathBytes, g_fake->logFile.constData());
    return 0;
}

int32_t LogSetFile(const char *path)
{
    if (g_fake->record) {
        const QString shown = path ? QString::fromLocal8Bit(path) : QStringLiteral("(null)");
        g_fake->calls << QStringLiteral("DXS_devDLogSetFile(%1)").arg(shown);
        if (g_fake->onCall)
            g_fake->onCall(g_fake->calls.back());
    }
    if (Fails("DXS_devDLogSetFile"))
        return g_fake->failStatus;
    FAKE_OUT(path);
    if (strnlen(path, kPathBytes) >= size_t(kPathBytes))
        return kSimPathTooLong;
    if (!*path)
        return kSimBadValue;
    g_fake->logFile = path;
    return 0;
}

} // namespace

FakeDevice::FakeDevice()
{
    Q_ASSERT(!g_fake);
    g_fake = this;
    SetDeviceTable(Table());
}

FakeDevice::~FakeDevice()
{
    SetDeviceTable(DeviceTable::Unloaded());
    g_fake = nullptr;
}

FakeDevice *FakeDevice::current()
{
    return g_fake;
}

QStringList FakeDevice::takeCalls()
{
    QStringList taken;
    taken.swap(calls);
    return taken;
}

QStringList FakeDevice::callsOf(const QString &name) const
{
    QStringList result;
    for (const QString &call : calls)
        if (call.startsWith(name + QLatin1Char('(')))
            result << call;
    return result;
}

FakeBoard *FakeDevice::board(int32_t cardNo)
{
    for (FakeBoard &b : boards)
        if (b.cardNo == cardNo)
            return &b;
    return nullptr;
}

DeviceTable FakeDevice::Table()
{
    DeviceTable t;
    t.DXS_devSysLoad = SysLoad;
    t.DXS_devSysUnload = SysUnload;
    t.DXS_devGnGetMotDevMap = GetMap;
    t.DXS_devGnGetDioNum = GetDioNum;
    t.DXS_devConGetMApiVersion = GetMApiVersion;
    t.DXS_devConGetFwVersion = GetFwVersion;
    t.DXS_devConParamLoad = ParamLoad;
    t.DXS_devConParamSave = ParamSave;
    t.DXS_devConInit = Init;
    t.DXS_devConGetCheckOn = GetCheckOn;
    t.DXS_devConSetCheckOn = SetCheckOn;
    t.DXS_devDiGetBit = DiGetBit;
    t.DXS_devDoGetBit = DoGetBit;
    t.DXS_devDoSetBit = DoSetBit;
    t.DXS_devDiGetFilterEnable = GetFilterEnable;
    t.DXS_devDiSetFilterEnable = SetFilterEnable;
    t.DXS_devDiGetFilterTime = GetFilterTime;
    t.DXS_devDiSetFilterTime = SetFilterTime;
    t.DXS_devDLogGetLevel = LogGetLevel;
    t.DXS_devDLogSetLevel = LogSetLevel;
    t.DXS_devDLogGetFile = LogGetFile;
    t.DXS_devDLogSetFile = LogSetFile;
    return t;
}

FakeBoard Board(int32_t type, int32_t cardNo, int32_t inputs, int32_t outputs, int32_t fw)
{
    FakeBoard b;
    b.type = type;
    b.cardNo = cardNo;
    b.inputs = inputs;
    b.outputs = outputs;
    b.fwVersion = fw;
    return b;
}
