#include "PointOperand.h"

#include "Arguments.h"
#include "device/CardMap.h"

#include <QStringList>

namespace {

QString PointKind(PointDir dir)
{
    return dir == PointDir::Out ? QStringLiteral("output") : QStringLiteral("input");
}

} // namespace

bool ParsePointOperand(const QString &text, const PointNames &names, PointOperand *operand,
                       QString *error)
{
    QStringList parts = text.split(u':');
    const std::optional<int32_t> card = ParseCard(parts.takeFirst());
    if (!card) {
        *error = QStringLiteral("%1 is not CARD[:in|out][:POINT|NAME]").arg(Quoted(text));
        return false;
    }
    operand->card = *card;
    if (!parts.isEmpty() && (parts.first() == "in" || parts.first() == "out"))
        operand->dir = parts.takeFirst() == "out" ? PointDir::Out : PointDir::In;
    if (parts.isEmpty())
        return true;
    const QString point = parts.join(u':'); // a name may hold colons
    if (const std::optional<int64_t> n = ParseNumber(point, 0, kMaxPoints - 1)) {
        operand->point = int(*n);
        return true;
    }
    PointDir dir = PointDir::In;
    int number = 0;
    if (names.Find(*card, point, &dir, &number, operand->dir)) {
        operand->dir = dir;
        operand->point = number;
        return true;
    }
    *error = operand->dir ? OtherDirectionName(names, *card, point, *operand->dir) : QString();
    if (error->isEmpty())
        *error = QStringLiteral("%1 in %2 is neither a point number (0..%3) nor a point name of "
                                "card %4")
                     .arg(Quoted(point), Quoted(text))
                     .arg(kMaxPoints - 1)
                     .arg(*card);
    return false;
}

QString OtherDirectionName(const PointNames &names, int32_t card, const QString &name,
                           PointDir wanted)
{
    const PointDir other = wanted == PointDir::Out ? PointDir::In : PointDir::Out;
    PointDir dir = other;
    int point = 0;
    if (!names.Find(card, name, &dir, &point, other))
        return {};
    return QStringLiteral("%1 is the name of %2 %3 of card %4, not of an %5")
        .arg(Quoted(name), PointKind(other))
        .arg(point)
        .arg(card)
        .arg(PointKind(wanted));
}
