// A device library that lacks DXS_devDLogSetFile: the binding must name the missing function.
#include "device/qrxDApi.h"

#define STUB(name, ...)                                                                            \
    extern "C" QRX_API int32_t name(__VA_ARGS__)                                                   \
    {                                                                                              \
        return 0;                                                                                  \
    }

STUB(DXS_devSysLoad, int32_t, int32_t *)
STUB(DXS_devSysUnload, void)
STUB(DXS_devGnGetMotDevMap, void *)
STUB(DXS_devGnGetDioNum, int32_t, int32_t *, int32_t *)
STUB(DXS_devConGetMApiVersion, int32_t, int32_t *)
STUB(DXS_devConGetFwVersion, int32_t, int32_t *)
STUB(DXS_devConParamLoad, int32_t)
STUB(DXS_devConParamSave, int32_t)
STUB(DXS_devConInit, int32_t)
STUB(DXS_devConGetCheckOn, int32_t, int32_t *)
STUB(DXS_devConSetCheckOn, int32_t, int32_t)
STUB(DXS_devDiGetBit, int32_t, int32_t, int32_t *)
STUB(DXS_devDoGetBit, int32_t, int32_t, int32_t *)
STUB(DXS_devDoSetBit, int32_t, int32_t, int32_t)
STUB(DXS_devDiGetFilterEnable, int32_t, int32_t, int32_t *)
STUB(DXS_devDiSetFilterEnable, int32_t, int32_t, int32_t)
STUB(DXS_devDiGetFilterTime, int32_t, int32_t, int32_t *)
STUB(DXS_devDiSetFilterTime, int32_t, int32_t, int32_t)
STUB(DXS_devDLogGetLevel, int32_t *)
STUB(DXS_devDLogSetLevel, int32_t)
STUB(DXS_devDLogGetFile, char *)
