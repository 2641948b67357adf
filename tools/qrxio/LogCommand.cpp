// qrxio log: the device library's log level and file.
#include "Commands.h"
#include "QrxIo.h"

#include <cstring>

int RunLog(QrxIo &tool)
{
    int32_t level = 0;
    char path[kPathBytes] = {};
    if (int32_t status = Dev().DXS_devDLogGetLevel(&level); status < 0)
        return Refused(QStringLiteral("DXS_devDLogGetLevel()"), status);
    if (int32_t status = Dev().DXS_devDLogGetFile(path); status < 0)
        return Refused(QStringLiteral("DXS_devDLogGetFile()"), status);
    const QString file = QString::fromLocal8Bit(path, qsizetype(strnlen(path, kPathBytes)));
    tool.out.Result(QStringLiteral("level=%1\nfile=%2").arg(level).arg(file),
                    {{"level", level}, {"file", file}});
    return kExitOk;
}
