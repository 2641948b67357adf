// The one function the simulated library exports beside the 22 of the device interface: a
// program that looks it up (optionally) can tell its user that the boards are simulated. A
// vendor library does not have it.

#include "device/qrxDApi.h"

extern "C" QRX_API int32_t QRXSIM_IsSimulated(void)
{
    return 1;
}
