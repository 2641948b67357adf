#include "model/PointIo.h"

#include "device/DeviceTable.h"

namespace {

QString ReadCall(PointDir dir, int32_t card, int point)
{
    return QStringLiteral("%1(card=%2, bit=%3)")
        .arg(dir == PointDir::In ? "DXS_devDiGetBit" : "DXS_devDoGetBit")
        .arg(card)
        .arg(point);
}

} // namespace

QString PointFailure::text() const
{
    return QStringLiteral("%1 failed with status %2").arg(call).arg(status);
}

WordRead ReadPoints(int32_t card, PointDir dir, uint64_t mask)
{
    const DeviceTable &dev = Dev();
    const auto getBit = dir == PointDir::In ? dev.DXS_devDiGetBit : dev.DXS_devDoGetBit;
    WordRead read;
    for (uint64_t rest = mask; rest; rest &= rest - 1) {
        const int point = __builtin_ctzll(rest);
        const uint64_t bit = uint64_t(1) << point;
        int32_t value = 0;
        if (const int32_t status = getBit(card, point, &value); status < 0) {
            read.refused |= bit;
            if (!read.first)
                read.first = PointFailure{ReadCall(dir, card, point), status};
        } else if (value != 0) {
            read.word |= bit;
        }
    }
    return read;
}

std::optional<PointFailure> WritePoint(int32_t card, int point, bool value)
{
    const int32_t status = Dev().DXS_devDoSetBit(card, point, value ? 1 : 0);
    if (status >= 0)
        return std::nullopt;
    return PointFailure{QStringLiteral("DXS_devDoSetBit(card=%1, bit=%2, value=%3)")
                            .arg(card)
                            .arg(point)
                            .arg(int(value)),
                        status};
}

WriteResult VerifiedWrite(int32_t card, int point, bool value)
{
    WriteResult result;
    result.failure = WritePoint(card, point, value);
    result.written = !result.failure;
    if (result.written) {
        int32_t back = 0;
        if (const int32_t status = Dev().DXS_devDoGetBit(card, point, &back); status < 0)
            result.failure = PointFailure{ReadCall(PointDir::Out, card, point), status};
        result.readBack = !result.failure;
        result.value = back != 0;
    }
    if (result.failure)
        result.reason = result.failure->text();
    else if (result.value != value)
        result.reason = QStringLiteral("output %1 of card %2 reads %3 after %4 was written")
                            .arg(point)
                            .arg(card)
                            .arg(int(result.value))
                            .arg(int(value));
    result.ok = result.reason.isEmpty();
    return result;
}
