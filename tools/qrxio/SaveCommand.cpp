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
    // With --all every board is tried, as Save Parameter does; each failure is reported, on
    // stderr and, with --json, as a line of its own among the others.
    int result = kExitOk;
    for (int32_t cardNo : cards) {
        const int32_t status = Dev().DXS_devConParamSave(cardNo);
        if (status >= 0) {
            tool.out.Result({}, {{"card", cardNo}, {"saved", true}});
            continue;
        }
        const FailedCall failed{QStringLiteral("DXS_devConParamSave(card=%1)").arg(cardNo), status};
        tool.out.Result(
            {}, {{"card", cardNo}, {"saved", false}, {"status", status}, {"error", failed.text()}});
        result = Refused(failed);
    }
    return result;
}
