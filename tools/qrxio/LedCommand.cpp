// qrxio led: show or switch a board's Run LED.
#include "Commands.h"
#include "QrxIo.h"

namespace {

QString OnOff(int32_t value)
{
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

int CheckLed(QrxIo &tool)
{
    const QStringList &ops = tool.args.operands;
    if (ops.size() == 2 && (tool.led = ParseSwitch(ops[1])) < 0)
        return UsageError(QStringLiteral("the Run LED is on or off, not %1").arg(Quoted(ops[1])));
    return kExitOk;
}

int RunLed(QrxIo &tool)
{
    const int32_t cardNo = tool.cards.front();
    const int led = tool.led;
    if (led >= 0) {
        if (int32_t status = Dev().DXS_devConSetCheckOn(cardNo, led); status < 0)
            return Refused(
                QStringLiteral("DXS_devConSetCheckOn(card=%1, on=%2)").arg(cardNo).arg(led),
                status);
    }
    int32_t on = 0;
    if (int32_t status = Dev().DXS_devConGetCheckOn(cardNo, &on); status < 0)
        return Refused(QStringLiteral("DXS_devConGetCheckOn(card=%1)").arg(cardNo), status);
    if (led >= 0 && (on != 0) != (led != 0))
        return RefusedWith(QStringLiteral("the Run LED of card %1 reads %2 after %3 was written")
                               .arg(cardNo)
                               .arg(OnOff(on), OnOff(led)));
    tool.out.Result(led >= 0 ? QString() : OnOff(on), {{"card", cardNo}, {"led", OnOff(on)}});
    return kExitOk;
}
