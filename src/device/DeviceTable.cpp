#include "device/DeviceTable.h"

namespace {

// Each stub fails whatever its arguments; a template avoids one hand-written body per function.
template<typename... Args> int32_t Fail(Args...)
{
    return DeviceTable::kNotLoaded;
}

DeviceTable g_table = DeviceTable::Unloaded();

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
    return g_table;
}

void SetDeviceTable(const DeviceTable &table)
{
    g_table = table;
}
