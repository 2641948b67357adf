#include "FakeDevice.h"

#include "device/CardMap.h"
#include "device/SystemInfo.h"

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

int32_t SysLoad(int32_t mode, int32_t *count)
{
    FAKE_CALL(DXS_devSysLoad, mode);
    const int32_t status =
        g_fake->loadStatuses.isEmpty() ? g_fake->loadStatus : g_fake->loadStatuses.takeFirst();
    if (status >= 0)
        *count = g_fake->reportedBoardCount.value_or(int32_t(g_fake->boards.size()));
    return status;
}

int32_t SysUnload()
{
    FAKE_CALL(DXS_devSysUnload);
    return 0;
}

int32_t GetMap(void *block)
{
    FAKE_CALL(DXS_devGnGetMotDevMap);
    CardMap map;
    map.setMapCount(g_fake->mapCount.value_or(int32_t(g_fake->boards.size())));
    for (int i = 0; i < g_fake->boards.size() && i < kMaxBoards; ++i) {
        const FakeBoard &b = g_fake->boards[i];
        map.setEntry(i, b.type, b.cardNo, b.inputs, b.outputs);
    }
    std::memcpy(block, map.bytes, sizeof map.bytes);
    return 0;
}

#define FAKE_BOARD(card)                                                                           \
    FakeBoard *b = g_fake->board(card);                                                            \
    if (!b)                                                                                        \
        return -2;

int32_t GetDioNum(int32_t card, int32_t *inputs, int32_t *outputs)
{
    FAKE_CALL(DXS_devGnGetDioNum, card);
    FAKE_BOARD(card);
    *inputs = b->inputs;
    *outputs = b->outputs;
    return 0;
}

int32_t GetMApiVersion(int32_t card, int32_t *version)
{
    FAKE_CALL(DXS_devConGetMApiVersion, card);
    FAKE_BOARD(card);
    *version = b->mapiVersion;
    return 0;
}

int32_t GetFwVersion(int32_t card, int32_t *version)
{
    FAKE_CALL(DXS_devConGetFwVersion, card);
    FAKE_BOARD(card);
    *version = b->fwVersion;
    return 0;
}

int32_t ParamLoad(int32_t card)
{
    FAKE_CALL(DXS_devConParamLoad, card);
    return 0;
}

int32_t ParamSave(int32_t card)
{
    FAKE_CALL(DXS_devConParamSave, card);
    return 0;
}

int32_t Init(int32_t card)
{
    FAKE_CALL(DXS_devConInit, card);
    FAKE_BOARD(card);
    b->out = 0;
    return 0;
}

int32_t GetCheckOn(int32_t card, int32_t *on)
{
    FAKE_CALL(DXS_devConGetCheckOn, card);
    FAKE_BOARD(card);
    *on = b->checkOn;
    return 0;
}

int32_t SetCheckOn(int32_t card, int32_t on)
{
    FAKE_CALL(DXS_devConSetCheckOn, card, on);
    FAKE_BOARD(card);
    b->checkOn = on;
    return 0;
}

// Bits are answered for every point 0..63, whatever the board's counts, so that tests see
// exactly which points the program asks for.
bool ValidBit(int32_t bit)
{
    return bit >= 0 && bit < 64;
}

int32_t DiGetBit(int32_t card, int32_t bit, int32_t *value)
{
    FAKE_CALL(DXS_devDiGetBit, card, bit);
    FAKE_BOARD(card);
    if (!ValidBit(bit))
        return -3;
    *value = int32_t((b->in >> bit) & 1);
    return 0;
}

int32_t DoGetBit(int32_t card, int32_t bit, int32_t *value)
{
    FAKE_CALL(DXS_devDoGetBit, card, bit);
    FAKE_BOARD(card);
    if (!ValidBit(bit))
        return -3;
    *value = int32_t((b->out >> bit) & 1);
    return 0;
}

int32_t DoSetBit(int32_t card, int32_t bit, int32_t value)
{
    FAKE_CALL(DXS_devDoSetBit, card, bit, value);
    FAKE_BOARD(card);
    if (!ValidBit(bit))
        return -3;
    const uint64_t mask = uint64_t(1) << bit;
    b->out = value ? (b->out | mask) : (b->out & ~mask);
    return 0;
}

int32_t GetFilterEnable(int32_t card, int32_t module, int32_t *enable)
{
    FAKE_CALL(DXS_devDiGetFilterEnable, card, module);
    FAKE_BOARD(card);
    *enable = b->filterEnable;
    return 0;
}

int32_t SetFilterEnable(int32_t card, int32_t module, int32_t enable)
{
    FAKE_CALL(DXS_devDiSetFilterEnable, card, module, enable);
    FAKE_BOARD(card);
    b->filterEnable = enable;
    return 0;
}

int32_t GetFilterTime(int32_t card, int32_t module, int32_t *code)
{
    FAKE_CALL(DXS_devDiGetFilterTime, card, module);
    FAKE_BOARD(card);
    *code = b->filterTime;
    return 0;
}

int32_t SetFilterTime(int32_t card, int32_t module, int32_t code)
{
    FAKE_CALL(DXS_devDiSetFilterTime, card, module, code);
    FAKE_BOARD(card);
    b->filterTime = code;
    return 0;
}

int32_t LogGetLevel(int32_t *level)
{
    FAKE_CALL(DXS_devDLogGetLevel);
    *level = g_fake->logLevel;
    return 0;
}

int32_t LogSetLevel(int32_t level)
{
    FAKE_CALL(DXS_devDLogSetLevel, level);
    g_fake->logLevel = level;
    return 0;
}

int32_t LogGetFile(char *path)
{
    FAKE_CALL(DXS_devDLogGetFile);
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
        g_fake->calls << QStringLiteral("DXS_devDLogSetFile(%1)").arg(QString::fromLocal8Bit(path));
        if (g_fake->onCall)
            g_fake->onCall(g_fake->calls.back());
    }
    if (Fails("DXS_devDLogSetFile"))
        return g_fake->failStatus;
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
