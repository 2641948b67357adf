#include "device/SystemLoad.h"

#include "device/qrxDApi.h"

QString LoadFailureText(int32_t status)
{
    switch (status) {
    case DXS_ERR_NOT_SUPPORT_PROCESS:
        return QStringLiteral("Fail! Not Support the Process...");
    case DXS_ERR_MODULE_POSITION:
        return QStringLiteral("Fail! Module Position Error...");
    case DXS_ERR_PCI_BUS_LINE:
        return QStringLiteral("Fail! PCI Bus Line Error...");
    case DXS_ERR_DIP_SWITCH:
        return QStringLiteral("Fail! DIP Switch Error...");
    case DXS_ERR_CONTROLLER_NOT_FOUND:
        return QStringLiteral("Fail! Controller Not Found Error...");
    case DXS_ERR_DEVICE_HANDLE:
        return QStringLiteral("Fail! Device Handle Error...");
    case DXS_ERR_MEMORY_CREATE:
        return QStringLiteral("Fail! Memory Create Error...");
    default:
        return QStringLiteral("Fail! Load Device Driver...");
    }
}

QString OpenModeQuestion()
{
    return QStringLiteral("Controller Open Mode Error.\nDo you want to reload the controller?");
}
