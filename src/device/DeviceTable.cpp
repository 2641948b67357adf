#include "device/DeviceTable.h"

#include <QtGlobal>

#include <atomic>
#include <thread>

namespace {

// Each stub fails whatever its arguments; a template avoids one hand-written body per function.
template<typename... Args> int32_t Fail(Args...)
{
    return DeviceTable::kNotLoaded;
}

DeviceTable g_table = DeviceTable::Unloaded();

#ifndef QT_NO_DEBUG
// The thread that may call the device; none until the table is first installed or asked for.
std::atomic<std::thread::id> g_owner;

void CheckThread()
{
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id owner = g_owner.load(std::memory_order_relaxed);
    if (owner == std::thread::id() && g_owner.compare_exchange_strong(owner, self))
        return;
    Q_ASSERT_X(owner == self, "Dev()",
               "the device library is called from a thread other than the one that "
               "installed it");
}
#endif

} // namespace

DeviceTable DeviceTable::Unloaded()
{
    DeviceTable table;
#define DXS_STUB(name)                                                                             \
    table.name = [](auto... args) {                                                                \
        return Fail(args...);                                                                      \
    };
    DXS_FUNCTION_LIST(DXS_STUB)
#undef DXS_STUB
    return table;
}

const DeviceTable &Dev()
{
#ifndef QT_NO_DEBUG
    CheckThread();
#endif
    return g_table;
}

void SetDeviceTable(const DeviceTable &table)
{
#ifndef QT_NO_DEBUG
    g_owner = std::this_thread::get_id();
#endif
    g_table = table;
}
