// qrxio save: the parameters of a board, or of every board, into its parameter file.
#include "Commands.h"
#include "QrxIo.h"

namespace {

const OptionSpec kOptions[] = {
    {"--all", nullptr, nullptr, nullptr,
     [](const QString &, Arguments *a, QString *) {
         return a->all = true;
     }},
};

} // namespace

std::span<const OptionSpec> SaveOptions()
{
    return kOptions;
}

int CheckSave(QrxIo &tool)
{
    if (tool.args.operands.size() != (tool.args.all ? 0 : 1))
        return UsageError(QStringLiteral("wrong number of arguments for \"save\""));
    return kExitOk;
}

int RunSave(QrxIo &tool)
{
    std::vector<int32_t> cards = tool.cards;
    if (tool.args.all) {
        for (int i = 0; i < tool.model.boardSlots(); ++i)
            cards.push_back(tool.model.cardNo(i));
    }
    // With --all every board is tried, as Save Parameter does; each failure is reported.
    int result = kExitOk;
    for (int32_t cardNo : cards) {
        if (int32_t status = Dev().DXS_devConParamSave(cardNo); status < 0)
            result = Refused(QStringLiteral("DXS_devConParamSave(card=%1)").arg(cardNo), status);
        else
            tool.out.Result({}, {{"card", cardNo}, {"saved", true}});
    }
    return result;
}
