// qrxio filter: show or set a board's input filter (module 0).
#include "Commands.h"
#include "QrxIo.h"

#include <cmath>

namespace {

const OptionSpec kOptions[] = {
    {"--enable", nullptr, "0|1", nullptr,
     [](const QString &v, Arguments *a, QString *e) {
         return (a->filterEnable = OptionNumber("--enable", v, 0, 1, e)).has_value();
     }},
    {"--time", nullptr, "CODE", nullptr,
     [](const QString &v, Arguments *a, QString *e) {
         return (a->filterTime = OptionNumber("--time", v, 0, 15, e)).has_value();
     }},
};

// The filter time of a code in milliseconds as the Digital IO window lists it: 0.001 × 2^code.
QString FilterTimeText(int32_t code)
{
    return QString::number(std::ldexp(0.001, code), 'f', 3);
}

int WriteFilter(int32_t cardNo, const Arguments &args)
{
    if (args.filterEnable) {
        const int32_t enable = *args.filterEnable;
        if (int32_t status = Dev().DXS_devDiSetFilterEnable(cardNo, 0, enable); status < 0)
            return Refused(QStringLiteral("DXS_devDiSetFilterEnable(card=%1, module=0, enable=%2)")
                               .arg(cardNo)
                               .arg(enable),
                           status);
    }
    if (args.filterTime) {
        const int32_t time = *args.filterTime;
        if (int32_t status = Dev().DXS_devDiSetFilterTime(cardNo, 0, time); status < 0)
            return Refused(QStringLiteral("DXS_devDiSetFilterTime(card=%1, module=0, code=%2)")
                               .arg(cardNo)
                               .arg(time),
                           status);
    }
    return kExitOk;
}

} // namespace

std::span<const OptionSpec> FilterOptions()
{
    return kOptions;
}

int RunFilter(QrxIo &tool)
{
    const int32_t cardNo = tool.cards.front();
    const std::optional<int32_t> enable = tool.args.filterEnable;
    const std::optional<int32_t> time = tool.args.filterTime;
    if (int status = WriteFilter(cardNo, tool.args))
        return status;
    int32_t readEnable = 0, readTime = 0;
    if (int32_t status = Dev().DXS_devDiGetFilterEnable(cardNo, 0, &readEnable); status < 0)
        return Refused(QStringLiteral("DXS_devDiGetFilterEnable(card=%1, module=0)").arg(cardNo),
                       status);
    if (int32_t status = Dev().DXS_devDiGetFilterTime(cardNo, 0, &readTime); status < 0)
        return Refused(QStringLiteral("DXS_devDiGetFilterTime(card=%1, module=0)").arg(cardNo),
                       status);
    if ((enable && *enable != readEnable) || (time && *time != readTime))
        return RefusedWith(QStringLiteral("the filter of card %1 reads enable %2, time code %3 "
                                          "after it was written")
                               .arg(cardNo)
                               .arg(readEnable)
                               .arg(readTime));
    const bool changed = enable || time;
    const QString msec = FilterTimeText(readTime);
    tool.out.Result(
        changed
            ? QString()
            : QStringLiteral("enable=%1 time=%2 msec=%3").arg(readEnable).arg(readTime).arg(msec),
        {{"card", cardNo}, {"enable", readEnable}, {"time", readTime}, {"msec", msec.toDouble()}});
    return kExitOk;
}
