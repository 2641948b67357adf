// qrxio reset: a board back to its loaded parameters.
#include "Commands.h"
#include "QrxIo.h"

int RunReset(QrxIo &tool)
{
    const int32_t cardNo = tool.cards.front();
    if (int32_t status = Dev().DXS_devConInit(cardNo); status < 0)
        return Refused(QStringLiteral("DXS_devConInit(card=%1)").arg(cardNo), status);
    tool.out.Result({}, {{"card", cardNo}, {"reset", true}});
    return kExitOk;
}
