#include "system/SavePrmDlg.h"

#include "system/CardLists.h"
#include "device/DeviceTable.h"
#include "platform/DialogUnits.h"
#include "controls/ImageButton.h"
#include "platform/MessageBox.h"
#include "res/ResourceIds.h"
#include "device/SystemInfo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>

namespace {

void ClearChanged(int32_t cardClass, int32_t cardNo)
{
    // Card numbers come from the library: only 0..15 have a flag.
    if (cardClass >= 0 && cardClass < kCardClasses && cardNo >= 0 && cardNo < kMaxBoards)
        g_pSysInfo->paramChanged[cardClass][cardNo] = 0;
}

} // namespace

CVL_SavePrmDlg::CVL_SavePrmDlg(int32_t cardNo, QWidget *parent)
    : QDialog(parent)
    , cardNo(cardNo)
{
    setWindowTitle(QStringLiteral("Save Parameter"));
    // A modal frame with a system menu: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(TemplateFont());
    const DialogUnits du(font());
    setFixedSize(du.size(182, 103));

    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setGeometry(du.rect(7, 7, 168, 66));

    m_allCards = new QCheckBox(QStringLiteral(" All Cards"), this);
    m_allCards->setObjectName(QStringLiteral("AllCards"));
    // Read without the leading space that only spaces the text from the box.
    m_allCards->setAccessibleName(m_allCards->text().trimmed());
    m_allCards->setGeometry(du.rect(16, 14, 80, 10));
    connect(m_allCards, &QCheckBox::clicked, this, &CVL_SavePrmDlg::OnAllCardsClicked);

    auto *typeLabel = new QLabel(QStringLiteral("Card Type"), this);
    typeLabel->setGeometry(du.rect(16, 33, 40, 8));
    m_typeList = new QComboBox(this);
    m_typeList->setObjectName(QStringLiteral("CardType"));
    m_typeList->setGeometry(du.rect(60, 30, 106, 13));

    auto *cardLabel = new QLabel(QStringLiteral("Card No."), this);
    cardLabel->setGeometry(du.rect(16, 53, 40, 8));
    m_cardList = new QComboBox(this);
    m_cardList->setObjectName(QStringLiteral("CardNo"));
    m_cardList->setGeometry(du.rect(60, 50, 106, 13));

    m_save = new CImageButton(QStringLiteral("Save"), this);
    m_save->setGeometry(du.rect(41, 80, 50, 16));
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &CVL_SavePrmDlg::OnSave);

    m_close = new CImageButton(QStringLiteral("Close"), this);
    m_close->setGeometry(du.rect(99, 80, 50, 16));
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    OnInitDialog();
}

void CVL_SavePrmDlg::OnInitDialog()
{
    const SystemInfo *info = g_pSysInfo;
    const int boards = info->activeCardType == kDigitalIoClass ? info->cardMap->boardSlots() : 0;
    typeCount = FillCardLists(m_typeList, typeList, m_cardList, boards, cardNo, &selectedType);

    m_save->LoadButtonIcons(IDI_OK, 20, 16, 0, 0, 0);
    m_save->SetFlatLook(false, true);
    m_close->LoadButtonIcons(IDI_CANCEL, 20, 16, 0, 0, 0);
    m_close->SetFlatLook(false, true);
}

void CVL_SavePrmDlg::OnAllCardsClicked()
{
    if (m_allCards->isChecked()) {
        m_typeList->setEnabled(false);
        m_cardList->setEnabled(false);
        return;
    }
    const SystemInfo *info = g_pSysInfo;
    m_typeList->setEnabled(typeCount > 1);
    m_cardList->setEnabled(info->activeCardType == kDigitalIoClass &&
                           info->cardMap->mapCount() > 1);
}

void CVL_SavePrmDlg::OnSave()
{
    const CardMap *map = g_pSysInfo->cardMap;
    if (m_allCards->isChecked()) {
        if (!AskYesNo(this,
                      QStringLiteral(
                          "Are you sure you want to save the parameter files of all the cards?")))
            return;
        for (int i = 0; i < map->boardSlots(); ++i)
            if (SaveCard(this, map->cardNo(i)))
                ClearChanged(kDigitalIoClass, map->cardNo(i));
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
    ClearChanged(selectedType, cardNo);
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
