// qrxio info: every live point of the boards, one a line (card, direction, point, value, name),
// or one JSON object a board.
#include "Commands.h"
#include "Monitor.h"
#include "QrxIo.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

int PrintBoard(QrxIo &tool, const BoardInfo &board)
{
    QStringList lines;
    QJsonObject json{{"card", board.cardNo}};
    FailedCall failed;
    for (PointDir dir : {PointDir::In, PointDir::Out}) {
        const uint64_t live = board.liveMask(dir);
        uint64_t word = 0;
        if (!ReadWord(board.cardNo, dir, live, &word, &failed))
            return Refused(failed);
        QJsonArray points;
        for (uint64_t rest = live; rest; rest &= rest - 1) {
            const int point = __builtin_ctzll(rest);
            const int value = int(word >> point & 1);
            const QString name = tool.model.names().Name(board.cardNo, dir, point);
            lines << QStringLiteral("%1 %2 %3 %4")
                         .arg(board.cardNo)
                         .arg(DirText(dir))
                         .arg(point)
                         .arg(value) +
                    (name.isEmpty() ? QString() : u' ' + name);
            QJsonObject p{{"point", point}, {"value", value}};
            if (!name.isEmpty())
                p[QStringLiteral("name")] = name;
            points.append(p);
        }
        json[DirText(dir)] = points;
    }
    tool.out.Result(lines.join(u'\n'), json);
    return kExitOk;
}

} // namespace

int RunInfo(QrxIo &tool)
{
    tool.LoadNames();
    for (int32_t cardNo : tool.CardsOrAll()) {
        const BoardInfo *board = nullptr;
        if (int status = tool.ReadBoard(cardNo, &board))
            return status;
        if (int status = PrintBoard(tool, *board))
            return status;
    }
    return kExitOk;
}
