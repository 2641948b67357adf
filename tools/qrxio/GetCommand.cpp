// qrxio get: a board's input and output words, or the values of points given by number or by
// the name the program's Point Names gave them.
#include "Commands.h"
#include "Monitor.h"
#include "QrxIo.h"

#include <QJsonObject>

namespace {

QString Word64(uint64_t word)
{
    return QString::asprintf("0x%016llX", static_cast<unsigned long long>(word));
}

// A point operand that is neither a number nor a name of the card (of the direction `only`).
int NotAPoint(QrxIo &tool, const QString &operand, int32_t card, std::optional<PointDir> only)
{
    const QString other =
        only ? OtherDirectionName(tool.model.names(), card, operand, *only) : QString();
    if (!other.isEmpty())
        return UsageError(other);
    if (tool.model.names().Card(card).isEmpty())
        return UsageError(QStringLiteral("%1 is neither in, out nor a point number (0..%2)")
                              .arg(Quoted(operand))
                              .arg(kMaxPoints - 1));
    return UsageError(QStringLiteral("%1 is neither in, out, a point number (0..%2) nor a "
                                     "point name of card %3")
                          .arg(Quoted(operand))
                          .arg(kMaxPoints - 1)
                          .arg(card));
}

// The board's words: both, or the one of the direction asked for.
int PrintWords(QrxIo &tool, const BoardInfo &board)
{
    QJsonObject json{{"card", board.cardNo}};
    QStringList texts;
    FailedCall failed;
    for (int outputs = 0; outputs < 2; ++outputs) {
        if (tool.direction >= 0 && tool.direction != outputs)
            continue;
        uint64_t word = 0;
        const uint64_t live = board.liveMask(outputs ? PointDir::Out : PointDir::In);
        if (!ReadWord(board.cardNo, PointDir(outputs), live, &word, &failed))
            return Refused(failed);
        const QString key = outputs ? QStringLiteral("out") : QStringLiteral("in");
        texts << (tool.direction < 0 ? key + u'=' + Word64(word) : Word64(word));
        json[key] = Word64(word);
    }
    tool.out.Result(texts.join(u' '), json);
    return kExitOk;
}

int PrintPoints(QrxIo &tool, const BoardInfo &board)
{
    const bool outputs = tool.direction == 1;
    if (int status = tool.CheckPoints(board, outputs ? PointDir::Out : PointDir::In))
        return status;
    QStringList texts;
    QJsonObject values, names;
    FailedCall failed;
    for (const QrxIo::PointValue &p : tool.points) {
        uint64_t word = 0;
        if (!ReadWord(board.cardNo, PointDir(outputs), uint64_t(1) << p.point, &word, &failed))
            return Refused(failed);
        const int value = word != 0;
        const QString name =
            tool.model.names().Name(board.cardNo, outputs ? PointDir::Out : PointDir::In, p.point);
        texts << QStringLiteral("%1=%2").arg(p.point).arg(value ? 1 : 0) +
                (name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name));
        values[QString::number(p.point)] = value ? 1 : 0;
        if (!name.isEmpty())
            names[QString::number(p.point)] = name;
    }
    QJsonObject json{{"card", board.cardNo}, {outputs ? "out" : "in", values}};
    if (!names.isEmpty())
        json[QStringLiteral("names")] = names;
    tool.out.Result(texts.join(u' '), json);
    return kExitOk;
}

} // namespace

// The points of get: numbers, or names the program gave them. Points without in or out are
// inputs, unless they are named as outputs; a name tells its own direction.
int CheckGet(QrxIo &tool)
{
    const QStringList &ops = tool.args.operands;
    qsizetype first = 1;
    if (ops.size() > 1 && (ops[1] == "in" || ops[1] == "out")) {
        tool.direction = ops[1] == "out" ? 1 : 0;
        first = 2;
    }
    const int32_t card = tool.cards.front();
    if (first < ops.size())
        tool.LoadNames();
    const std::optional<PointDir> only =
        tool.direction < 0 ? std::nullopt : std::optional<PointDir>(PointDir(tool.direction));
    int numbers = 0, inputs = 0, outputs = 0; // how the points were given
    for (qsizetype i = first; i < ops.size(); ++i) {
        const std::optional<int64_t> number = ParseNumber(ops[i], 0, kMaxPoints - 1);
        PointDir dir = PointDir::In;
        int point = number ? int(*number) : -1;
        if (number)
            ++numbers;
        else if (tool.model.names().Find(card, ops[i], &dir, &point, only))
            ++(dir == PointDir::Out ? outputs : inputs);
        else
            return NotAPoint(tool, ops[i], card, only);
        tool.points.push_back({point, -1});
    }
    if (tool.direction < 0 && outputs > 0 && numbers + inputs > 0)
        return UsageError(QStringLiteral("get reads inputs or outputs, not both: put in or out "
                                         "before the points"));
    if (!tool.points.empty() && tool.direction < 0)
        tool.direction = outputs > 0 ? 1 : 0; // points given alone are inputs
    return kExitOk;
}

int RunGet(QrxIo &tool)
{
    const BoardInfo *board = nullptr;
    if (int status = tool.ReadBoard(tool.cards.front(), &board))
        return status;
    return tool.points.empty() ? PrintWords(tool, *board) : PrintPoints(tool, *board);
}
