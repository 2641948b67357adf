#include "system/CardLists.h"

#include "device/CardCatalogue.h"
#include "model/BoardModel.h"

#include <QComboBox>

int FillCardLists(const BoardModel &model, QComboBox *typeList, int32_t types[kCardClasses],
                  QComboBox *cardList, int boards, int32_t cardNo, int32_t *selectedType)
{
    const SystemInfo *info = &model.record();
    int typeCount = 0;
    if (info->cardMap->mapCount() != 0) {
        typeList->insertItem(0, FamilyText());
        types[0] = kDigitalIoClass;
        typeCount = 1;
    }
    typeList->setEnabled(false);

    typeList->setCurrentIndex(-1);
    for (int i = 0; i < typeCount; ++i) {
        if (types[i] == info->activeCardType) {
            typeList->setCurrentIndex(i);
            *selectedType = types[i];
            break;
        }
    }

    for (int i = 0; i < boards; ++i)
        cardList->insertItem(i, QString::number(info->cardMap->cardNo(i)));
    if (boards == 1)
        cardList->setEnabled(false);
    const int32_t index = model.CardIndexOf(cardNo);
    cardList->setCurrentIndex(index < boards ? index : -1);
    return typeCount;
}
