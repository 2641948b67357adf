#pragma once
// STAND-IN, until the model layer's point I/O (model/PointIo.h) is in this branch: the same
// VerifiedWrite signature, on the same two device calls the plant link makes. Once
// model/PointIo.h exists this header only includes it.

#if __has_include("model/PointIo.h")
#include "model/PointIo.h"
#else
#include "device/DeviceTable.h"

#include <QString>

#include <cstdint>
#include <optional>

struct PointFailure
{
    QString call;
    int32_t status = 0;
};

struct WriteResult
{
    bool ok = false;
    bool written = false;
    bool readBack = false;
    QString reason;
    std::optional<PointFailure> failure;
};

inline WriteResult VerifiedWrite(int32_t card, int point, bool value)
{
    WriteResult r;
    const QString args = QStringLiteral("(card=%1, bit=%2").arg(card).arg(point);
    if (const int32_t s = Dev().DXS_devDoSetBit(card, point, value ? 1 : 0); s < 0) {
        r.failure = PointFailure{
            QStringLiteral("DXS_devDoSetBit%1, value=%2)").arg(args).arg(int(value)), s};
        r.reason = QStringLiteral("%1 failed with status %2").arg(r.failure->call).arg(s);
        return r;
    }
    r.written = true;
    int32_t back = 0;
    if (const int32_t s = Dev().DXS_devDoGetBit(card, point, &back); s < 0) {
        r.failure = PointFailure{QStringLiteral("DXS_devDoGetBit%1)").arg(args), s};
        r.reason = QStringLiteral("%1 failed with status %2").arg(r.failure->call).arg(s);
        return r;
    }
    r.readBack = true;
    r.ok = (back != 0) == value;
    if (!r.ok)
        r.reason = QStringLiteral("output %1 of card %2 reads %3 after %4 was written")
                       .arg(point)
                       .arg(card)
                       .arg(back != 0 ? 1 : 0)
                       .arg(int(value));
    return r;
}
#endif
