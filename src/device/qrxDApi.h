/* The device access library's C interface.
 *
 * Every function answers a signed 32-bit status: 0 or more on success, negative on failure.
 * A failed call writes none of its out-values. Paths are ANSI strings of at most 260 bytes
 * including the terminator. The same declarations are implemented by the board vendor's
 * library and by the simulated boards in sim/. */
#ifndef QRXDAPI_H
#define QRXDAPI_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(QRX_BUILD_LIBRARY)
#define QRX_API __declspec(dllexport)
#else
#define QRX_API __declspec(dllimport)
#endif
#else
#define QRX_API __attribute__((visibility("default")))
#endif

/* Size of the card map block filled by DXS_devGnGetMotDevMap. */
#define DXS_CARD_MAP_BYTES 1040
/* Size of a path buffer, terminator included. */
#define DXS_PATH_BYTES 260

/* Loading modes of DXS_devSysLoad. */
#define DXS_LOAD_AUTO 0
#define DXS_LOAD_MANUAL 1

/* Load statuses the program tells apart. */
#define DXS_ERR_MEMORY_CREATE (-1001)
#define DXS_ERR_DEVICE_HANDLE (-1003)
#define DXS_ERR_CONTROLLER_NOT_FOUND (-1030)
#define DXS_ERR_DIP_SWITCH (-1032)
#define DXS_ERR_PCI_BUS_LINE (-1034)
#define DXS_ERR_MODULE_POSITION (-1035)
#define DXS_ERR_NOT_SUPPORT_PROCESS (-1036)
#define DXS_ERR_OPEN_MODE (-1038)

#ifdef __cplusplus
extern "C" {
#endif

QRX_API int32_t DXS_devSysLoad(int32_t mode, int32_t *boardCount);
QRX_API int32_t DXS_devSysUnload(void);
QRX_API int32_t DXS_devGnGetMotDevMap(void *cardMap);
QRX_API int32_t DXS_devGnGetDioNum(int32_t card, int32_t *inputs, int32_t *outputs);
QRX_API int32_t DXS_devConGetMApiVersion(int32_t card, int32_t *version);
QRX_API int32_t DXS_devConGetFwVersion(int32_t card, int32_t *version);
QRX_API int32_t DXS_devConParamLoad(int32_t card);
QRX_API int32_t DXS_devConParamSave(int32_t card);
QRX_API int32_t DXS_devConInit(int32_t card);
QRX_API int32_t DXS_devConGetCheckOn(int32_t card, int32_t *on);
QRX_API int32_t DXS_devConSetCheckOn(int32_t card, int32_t on);
QRX_API int32_t DXS_devDiGetBit(int32_t card, int32_t bit, int32_t *value);
QRX_API int32_t DXS_devDoGetBit(int32_t card, int32_t bit, int32_t *value);
QRX_API int32_t DXS_devDoSetBit(int32_t card, int32_t bit, int32_t value);
QRX_API int32_t DXS_devDiGetFilterEnable(int32_t card, int32_t module, int32_t *enable);
QRX_API int32_t DXS_devDiSetFilterEnable(int32_t card, int32_t module, int32_t enable);
QRX_API int32_t DXS_devDiGetFilterTime(int32_t card, int32_t module, int32_t *code);
QRX_API int32_t DXS_devDiSetFilterTime(int32_t card, int32_t module, int32_t code);
QRX_API int32_t DXS_devDLogGetLevel(int32_t *level);
QRX_API int32_t DXS_devDLogSetLevel(int32_t level);
QRX_API int32_t DXS_devDLogGetFile(char *path);
QRX_API int32_t DXS_devDLogSetFile(const char *path);

#ifdef __cplusplus
}
#endif

#endif
