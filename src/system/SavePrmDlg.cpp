#include "system/SavePrmDlg.h"

#include "controls/ImageButton.h"
#include "device/DeviceTable.h"
#include "model/BoardModel.h"
#include "platform/MessageBox.h"
#include "res/ResourceIds.h"
#include "system/CardLists.h"

#include <QCheckBox>
#include <QComboBox>

namespace {

const ControlTemplate kTemplate[] = {
    {nullptr, ControlKind::Frame, nullptr, 7, 7, 168, 66},
    {"AllCards", ControlKind::CheckBox, " All Cards", 16, 14, 80, 10},
    {nullptr, ControlKind::Label, "Card Type", 16, 33, 40, 8},
    {"CardType", ControlKind::ComboBox, nullptr, 60, 30, 106, 13},
    {nullptr, ControlKind::Label, "Card No.", 16, 53, 40, 8},
    {"CardNo", ControlKind::ComboBox, nullptr, 60, 50, 106, 13},
    {"Save", ControlKind::ImageButton, "Save", 41, 80, 50, 16, kStyleDefault, IDI_OK},
    {"Close", ControlKind::ImageButton, "Close", 99, 80, 50, 16, 0, IDI_CANCEL},
};

} // namespace

CVL_SavePrmDlg::CVL_SavePrmDlg(BoardModel &model, int32_t cardNo, QWidget *parent)
    : TemplateDialog(QStringLiteral("Save Parameter"), QSize(182, 103), parent)
    , cardNo(cardNo)
    , m_model(model)
{
    const TemplateControls controls = Build(kTemplate);
    m_allCards = controls.get<QCheckBox>("AllCards");
    m_typeList = controls.get<QComboBox>("CardType");
    m_cardList = controls.get<QComboBox>("CardNo");
    m_save = controls.get<CImageButton>("Save");
    m_close = controls.get<CImageButton>("Close");

    connect(m_allCards, &QCheckBox::clicked, this, &CVL_SavePrmDlg::OnAllCardsClicked);
    connect(m_save, &QPushButton::clicked, this, &CVL_SavePrmDlg::OnSave);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    const int boards = m_model.activeCardType() == kDigitalIoClass ? m_model.boardSlots() : 0;
    typeCount =
        FillCardLists(m_model, m_typeList, typeList, m_cardList, boards, cardNo, &selectedType);
}

void CVL_SavePrmDlg::OnAllCardsClicked()
{
    if (m_allCards->isChecked()) {
        m_typeList->setEnabled(false);
        m_cardList->setEnabled(false);
        return;
    }
    m_typeList->setEnabled(typeCount > 1);
    m_cardList->setEnabled(m_model.activeCardType() == kDigitalIoClass &&
                           m_model.cardMap().mapCount() > 1);
}

void CVL_SavePrmDlg::OnSave()
{
    const CardMap *map = &m_model.cardMap();
    if (m_allCards->isChecked()) {
        if (!AskYesNo(this,
                      QStringLiteral(
                          "Are you sure you want to save the parameter files of all the cards?")))
            return;
        for (int i = 0; i < map->boardSlots(); ++i)
            if (SaveCard(this, map->cardNo(i)))
                m_model.SetParamChanged(kDigitalIoClass, map->cardNo(i), false);
        return;
    }
    // With nothing chosen in either list there is no board to save.
    const int typeIndex = m_typeList->currentIndex();
    const int cardIndex = m_cardList->currentIndex();
    if (typeIndex < 0 || typeIndex >= typeCount || cardIndex < 0 || cardIndex >= map->boardSlots())
        return;
    selectedType = typeList[typeIndex];
    cardNo = map->cardNo(cardIndex);
    if (selectedType == kDigitalIoClass && !SaveCard(this, cardNo))
        return;
    m_model.SetParamChanged(selectedType, cardNo, false);
}

bool CVL_SavePrmDlg::SaveCard(QWidget *parent, int32_t cardNo)
{
    const int32_t status = Dev().DXS_devConParamSave(cardNo);
    if (status >= 0)
        return true;
    // The flag stays set, so the exit questions offer the board again.
    ShowFailure(parent, QStringLiteral("Fail! Save Parameter File..."),
                QStringLiteral("Card No. %1 (status %2)").arg(cardNo).arg(status));
    return false;
}
