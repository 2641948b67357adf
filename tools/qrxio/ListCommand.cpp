// qrxio list: every board of the card map, as the program's tree names them.
#include "Commands.h"
#include "QrxIo.h"
#include "device/CardCatalogue.h"

#include <QJsonObject>
#include <QJsonValue>

namespace {

void PrintBoard(QrxIo &tool, int position, const BoardInfo &b)
{
    const QByteArray &name = b.name;
    // The tree shows no node for a type it does not know; a listing still names the card.
    const QString label = CardLabel(b.cardNo, name.isEmpty() ? "(unknown type)" : name.data());
    QStringList texts = {label,
                         QStringLiteral("type %1").arg(b.type),
                         OutputCountText(b.outputs),
                         InputCountText(b.inputs),
                         FirmwareVersionText(b.firmware),
                         LibraryVersionText(b.mapiVersion)};
    if (tool.simulated())
        texts << QStringLiteral("simulated");
    tool.out.Result(
        texts.join(u'\t'),
        {{"position", position},
         {"card", b.cardNo},
         {"type", b.type},
         {"name", name.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(name))},
         {"label", name.isEmpty() ? QJsonValue() : QJsonValue(label)},
         {"inputs", b.inputs},
         {"outputs", b.outputs},
         {"firmware", b.firmware},
         {"firmwareText", FirmwareVersionText(b.firmware)},
         {"library", b.mapiVersion},
         {"libraryText", LibraryVersionText(b.mapiVersion)},
         {"simulated", tool.simulated()}});
}

} // namespace

int RunList(QrxIo &tool)
{
    BoardModel &model = tool.model;
    if (model.boardSlots() == 0)
        Output::Message(QStringLiteral("the card map holds no boards"));
    for (int i = 0; i < model.boardSlots(); ++i) {
        if (int32_t status = model.ReadBoard(i); status < 0)
            return Refused(model.failedCall(), status);
        PrintBoard(tool, i, model.board(i));
    }
    return kExitOk;
}
