#pragma once
// The point operands that monitor and history share, CARD[:in|out][:POINT|NAME], and the
// message for a name given for the wrong direction, which get and set use as well.

#include "config/PointNames.h"

#include <QString>

#include <cstdint>
#include <optional>

struct PointOperand
{
    int32_t card = 0;
    std::optional<PointDir> dir; // given, or told by a name
    std::optional<int> point; // none: every point of the card (of `dir`, when given)
};

// Reads one operand: the card, then an optional in or out, then the rest, colons included, is a
// point number (0..63) or a name of the card in `names`. False, with `error` saying why, when it
// is not one.
bool ParsePointOperand(const QString &text, const PointNames &names, PointOperand *operand,
                       QString *error);

// When `name` is not a name of `wanted` on the card but of a point of the other direction: the
// message that says so ("\"Lamp\" is the name of output 12 of card 0, not of an input");
// empty otherwise.
QString OtherDirectionName(const PointNames &names, int32_t card, const QString &name,
                           PointDir wanted);
