#pragma once
// The "Card Type" and "Card No." lists that Save Parameter and System Reset share.

#include "device/SystemInfo.h"

class BoardModel;

class QComboBox;

// Fills the type list with the program's one card class when the card map holds any board,
// selecting the active class, and the card list with the card numbers of the first `boards`
// positions, selecting `cardNo`; a single card leaves the card list disabled. Answers the number
// of types listed; `selectedType` takes the selected class when there is one.
int FillCardLists(const BoardModel &model, QComboBox *typeList, int32_t types[kCardClasses],
                  QComboBox *cardList, int boards, int32_t cardNo, int32_t *selectedType);
