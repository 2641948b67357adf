// qrxio list: every board of the card map, as the program's tree names them.
#include "Commands.h"
#include "QrxIo.h"
#include "device/CardCatalogue.h"

#include <QJsonObject>
#include <QJsonValue>

namespace {

struct Listed
{
    int position;
    int32_t cardNo, type, inputs, outputs, firmware, version;
};

void PrintBoard(QrxIo &tool, const Listed &b)
{
    const QByteArray name = BoardName(b.type, b.inputs, b.outputs);
    // The tree shows no node for a type it does not know; a listing still names the card.
    const QString label = CardLabel(b.cardNo, name.isEmpty() ? "(unknown type)" : name.data());
    QStringList texts = {label,
                         QStringLiteral("type %1").arg(b.type),
                         OutputCountText(b.outputs),
                         InputCountText(b.inputs),
                         FirmwareVersionText(b.firmware),
                         LibraryVersionText(b.version)};
    if (tool.simulated())
        texts << QStringLiteral("simulated");
    tool.out.Result(
        texts.join(u'\t'),
        {{"position", b.position},
         {"card", b.cardNo},
         {"type", b.type},
         {"name", name.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(name))},
         {"label", name.isEmpty() ? QJsonValue() : QJsonValue(label)},
         {"inputs", b.inputs},
         {"outputs", b.outputs},
         {"firmware", b.firmware},
         {"firmwareText", FirmwareVersionText(b.firmware)},
         {"library", b.version},
         {"libraryText", LibraryVersionText(b.version)},
         {"simulated", tool.simulated()}});
}

} // namespace

int RunList(QrxIo &tool)
{
    for (int i = 0; i < tool.map.boardSlots(); ++i) {
        Listed b{i, tool.map.cardNo(i), tool.map.cardType(i), 0, 0, 0, 0};
        const QString card = QStringLiteral("(card=%1)").arg(b.cardNo);
        if (int32_t s = Dev().DXS_devGnGetDioNum(b.cardNo, &b.inputs, &b.outputs); s < 0)
            return Refused("DXS_devGnGetDioNum" + card, s);
        if (int32_t s = Dev().DXS_devConGetFwVersion(b.cardNo, &b.firmware); s < 0)
            return Refused("DXS_devConGetFwVersion" + card, s);
        if (int32_t s = Dev().DXS_devConGetMApiVersion(b.cardNo, &b.version); s < 0)
            return Refused("DXS_devConGetMApiVersion" + card, s);
        PrintBoard(tool, b);
    }
    return kExitOk;
}
