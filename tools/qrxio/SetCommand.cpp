// qrxio set: switch outputs by point or a page's word at once, each read back as it is written.
#include "Commands.h"
#include "QrxIo.h"
#include "model/PointIo.h"

#include <QJsonObject>

#include <bit>

namespace {

bool SetWord(const QString &value, Arguments *args, QString *error)
{
    QString digits = value;
    if (digits.startsWith("0x", Qt::CaseInsensitive))
        digits = digits.mid(2);
    bool ok = !digits.isEmpty() && digits.size() <= 8;
    for (QChar c : digits)
        ok = ok && QStringLiteral("0123456789abcdefABCDEF").contains(c);
    if (!ok) {
        *error =
            QStringLiteral("--word takes a 32-bit hexadecimal word, not %1").arg(Quoted(value));
        return false;
    }
    args->word = digits.toUInt(nullptr, 16);
    return true;
}

const OptionSpec kOptions[] = {
    {"--word", nullptr, "HEX", nullptr, SetWord},
    {"--page", nullptr, "0|1", nullptr,
     [](const QString &v, Arguments *a, QString *e) {
         a->pageGiven = true;
         return (a->page = OptionNumber("--page", v, 0, 1, e).value_or(-1)) >= 0;
     }},
};

// The points of the page's word, each with its value; a usage error for bits beyond the board.
int WordPoints(QrxIo &tool, const BoardInfo &board)
{
    const Arguments &args = tool.args;
    const int first = args.page * 32;
    const uint32_t live = uint32_t(board.liveMask(PointDir::Out) >> first);
    if (live == 0)
        return UsageError(
            QStringLiteral("card %1 has no outputs on page %2").arg(board.cardNo).arg(args.page));
    if ((*args.word & ~live) != 0)
        return UsageError(QStringLiteral("0x%1 sets outputs beyond the %2 of page %3 of card %4")
                              .arg(*args.word, 0, 16)
                              .arg(std::popcount(live))
                              .arg(args.page)
                              .arg(board.cardNo));
    tool.points.clear();
    for (uint32_t rest = live; rest; rest &= rest - 1) {
        const int bit = std::countr_zero(rest);
        tool.points.push_back({first + bit, int((*args.word >> bit) & 1)});
    }
    return kExitOk;
}

// Writes each point and reads it back: each must hold what was written.
int WritePoints(QrxIo &tool, int32_t cardNo)
{
    QJsonObject json{{"card", cardNo}}, values;
    uint32_t pageWord = 0;
    for (const QrxIo::PointValue &p : tool.points) {
        const WriteResult written = VerifiedWrite(cardNo, p.point, p.value != 0);
        if (written.failure)
            return Refused(FailedCall{written.failure->call, written.failure->status});
        if (!written.ok)
            return RefusedWith(written.reason);
        values[QString::number(p.point)] = int(written.value);
        pageWord |= uint32_t(written.value) << (p.point % 32);
    }
    if (tool.args.word) {
        json["page"] = tool.args.page;
        json["out"] = QString::asprintf("0x%08X", pageWord);
    } else {
        json["out"] = values;
    }
    tool.out.Result({}, json);
    return kExitOk;
}

// One POINT=VALUE or NAME=VALUE, split at the last "=" (a name may hold one); a name is an
// output's name of the card.
int ReadSetting(QrxIo &tool, const QString &setting)
{
    const qsizetype equals = setting.lastIndexOf(u'=');
    const QString target = setting.left(std::max<qsizetype>(equals, 0));
    const int32_t card = tool.cards.front();
    std::optional<int64_t> point = ParseNumber(target, 0, kMaxPoints - 1);
    PointDir dir = PointDir::Out;
    int named = 0;
    if (!point && !target.isEmpty() &&
        tool.model.names().Find(card, target, &dir, &named, PointDir::Out))
        point = named;
    const int value = equals < 0 ? -1 : ParseSwitch(setting.mid(equals + 1));
    if (point && value >= 0) {
        tool.points.push_back({int(*point), value});
        return kExitOk;
    }
    const QString other = OtherDirectionName(tool.model.names(), card, target, PointDir::Out);
    if (!point && !other.isEmpty())
        return UsageError(other);
    return UsageError(QStringLiteral("%1 is not POINT=VALUE (a point 0..%2, a value 0 or 1)")
                          .arg(Quoted(setting))
                          .arg(kMaxPoints - 1));
}

} // namespace

std::span<const OptionSpec> SetOptions()
{
    return kOptions;
}

int CheckSet(QrxIo &tool)
{
    const QStringList &ops = tool.args.operands;
    if (tool.args.word && ops.size() != 1)
        return UsageError(QStringLiteral("set takes either POINT=VALUE or --word, not both"));
    if (tool.args.pageGiven && !tool.args.word)
        return UsageError(QStringLiteral("--page belongs to --word"));
    if (!tool.args.word && ops.size() < 2)
        return UsageError(QStringLiteral("set needs POINT=VALUE or --word"));
    // The names file is read only for a name, so that a number never meets its messages.
    for (qsizetype i = 1; i < ops.size(); ++i) {
        if (!ParseNumber(ops[i].left(std::max<qsizetype>(ops[i].lastIndexOf(u'='), 0)), 0,
                         kMaxPoints - 1)) {
            tool.LoadNames();
            break;
        }
    }
    for (qsizetype i = 1; i < ops.size(); ++i) {
        if (int status = ReadSetting(tool, ops[i]))
            return status;
    }
    return kExitOk;
}

int RunSet(QrxIo &tool)
{
    const BoardInfo *board = nullptr;
    if (int status = tool.ReadBoard(tool.cards.front(), &board))
        return status;
    if (int status =
            tool.args.word ? WordPoints(tool, *board) : tool.CheckPoints(*board, PointDir::Out))
        return status;
    return WritePoints(tool, board->cardNo);
}
