#include "system/SysRstDlg.h"

#include "controls/ImageButton.h"
#include "device/DeviceTable.h"
#include "model/BoardModel.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "res/ResourceIds.h"
#include "system/CardLists.h"
#include "view/ViewFrame.h"

#include <QComboBox>

namespace {

const ControlTemplate kTemplate[] = {
    {nullptr, ControlKind::Frame, nullptr, 7, 7, 167, 56},
    {nullptr, ControlKind::Label, "Card Type", 16, 19, 40, 8},
    {"CardType", ControlKind::ComboBox, nullptr, 60, 16, 106, 13},
    {nullptr, ControlKind::Label, "Card No.", 16, 41, 40, 8},
    {"CardNo", ControlKind::ComboBox, nullptr, 60, 38, 106, 13},
    {"Reset", ControlKind::ImageButton, "Reset", 40, 71, 50, 16, kStyleDefault, IDI_RESET},
    {"Close", ControlKind::ImageButton, "Close", 98, 71, 50, 16, 0, IDI_EXIT},
};

} // namespace

CVL_SysRstDlg::CVL_SysRstDlg(const BoardModel &model, int32_t cardNo, QWidget *parent)
    : TemplateDialog(QStringLiteral("System Reset"), QSize(181, 95), parent)
    , cardNo(cardNo)
    , m_model(model)
{
    const TemplateControls controls = Build(kTemplate);
    m_typeList = controls.get<QComboBox>("CardType");
    m_cardList = controls.get<QComboBox>("CardNo");
    m_reset = controls.get<CImageButton>("Reset");
    m_close = controls.get<CImageButton>("Close");

    connect(m_reset, &QPushButton::clicked, this, &CVL_SysRstDlg::OnReset);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    m_typeCount = FillCardLists(m_model, m_typeList, typeList, m_cardList, m_model.boardSlots(),
                                cardNo, &selectedType);
}

void CVL_SysRstDlg::OnReset()
{
    const CardMap *map = &m_model.cardMap();
    // With nothing chosen in either list there is no board to reset, and nothing to ask.
    const int typeIndex = m_typeList->currentIndex();
    const int cardIndex = m_cardList->currentIndex();
    if (typeIndex < 0 || typeIndex >= m_typeCount || cardIndex < 0 ||
        cardIndex >= map->boardSlots())
        return;
    if (!AskYesNo(this, QStringLiteral("Do you want system reset?")))
        return;
    selectedType = typeList[typeIndex];
    cardNo = map->cardNo(cardIndex);
    if (selectedType == kDigitalIoClass)
        Dev().DXS_devConInit(cardNo);
    SendWindowMessage(MainWindow(), UM_VIEW_FOCUSED, kDigitalIoView);
}
