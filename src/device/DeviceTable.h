#pragma once
// The process-wide call table through which all program code reaches the device library.
// The binding fills it from the loaded library; tests put a recording fake in its place.

#include "device/qrxDApi.h"

#define DXS_FUNCTION_LIST(X)                                                                       \
    X(DXS_devSysLoad)                                                                              \
    X(DXS_devSysUnload)                                                                            \
    X(DXS_devGnGetMotDevMap)                                                                       \
    X(DXS_devGnGetDioNum)                                                                          \
    X(DXS_devConGetMApiVersion)                                                                    \
    X(DXS_devConGetFwVersion)                                                                      \
    X(DXS_devConParamLoad)                                                                         \
    X(DXS_devConParamSave)                                                                         \
    X(DXS_devConInit)                                                                              \
    X(DXS_devConGetCheckOn)                                                                        \
    X(DXS_devConSetCheckOn)                                                                        \
    X(DXS_devDiGetBit)                                                                             \
    X(DXS_devDoGetBit)                                                                             \
    X(DXS_devDoSetBit)                                                                             \
    X(DXS_devDiGetFilterEnable)                                                                    \
    X(DXS_devDiSetFilterEnable)                                                                    \
    X(DXS_devDiGetFilterTime)                                                                      \
    X(DXS_devDiSetFilterTime)                                                                      \
    X(DXS_devDLogGetLevel)                                                                         \
    X(DXS_devDLogSetLevel)                                                                         \
    X(DXS_devDLogGetFile)                                                                          \
    X(DXS_devDLogSetFile)

struct DeviceTable
{
#define DXS_TABLE_MEMBER(name) decltype(&::name) name = nullptr;
    DXS_FUNCTION_LIST(DXS_TABLE_MEMBER)
#undef DXS_TABLE_MEMBER

    // A table whose every function fails with kNotLoaded and writes nothing.
    static DeviceTable Unloaded();
    static constexpr int32_t kNotLoaded = -1;
};

// The table in use. Until a library is installed it is DeviceTable::Unloaded().
//
// The device library is touched from one thread only: the thread that installed the table
// (or, before any was installed, the first that asked for it). Components with threads of their
// own (a network loop, a history writer, a window's background load) never call the device;
// they hand the work to that thread. A debug build asserts it on every call of Dev(); a release
// build checks nothing. A test that calls the device from another thread installs the table on
// that thread first.
const DeviceTable &Dev();
void SetDeviceTable(const DeviceTable &table);
