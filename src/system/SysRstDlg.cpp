#include "system/SysRstDlg.h"

#include "controls/ImageButton.h"
#include "device/DeviceTable.h"
#include "device/SystemInfo.h"
#include "platform/DialogUnits.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "res/ResourceIds.h"
#include "system/CardLists.h"
#include "view/ViewFrame.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>

CVL_SysRstDlg::CVL_SysRstDlg(int32_t cardNo, QWidget *parent)
    : QDialog(parent)
    , cardNo(cardNo)
{
    setWindowTitle(QStringLiteral("System Reset"));
    // A modal frame with a system menu: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(TemplateFont());
    const DialogUnits du(font());
    setFixedSize(du.size(181, 95));

    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setGeometry(du.rect(7, 7, 167, 56));

    auto *typeLabel = new QLabel(QStringLiteral("Card Type"), this);
    typeLabel->setGeometry(du.rect(16, 19, 40, 8));
    m_typeList = new QComboBox(this);
    m_typeList->setObjectName(QStringLiteral("CardType"));
    m_typeList->setGeometry(du.rect(60, 16, 106, 13));

    auto *cardLabel = new QLabel(QStringLiteral("Card No."), this);
    cardLabel->setGeometry(du.rect(16, 41, 40, 8));
    m_cardList = new QComboBox(this);
    m_cardList->setObjectName(QStringLiteral("CardNo"));
    m_cardList->setGeometry(du.rect(60, 38, 106, 13));

    m_reset = new CImageButton(QStringLiteral("Reset"), this);
    m_reset->setGeometry(du.rect(40, 71, 50, 16));
    m_reset->setDefault(true);
    connect(m_reset, &QPushButton::clicked, this, &CVL_SysRstDlg::OnReset);

    m_close = new CImageButton(QStringLiteral("Close"), this);
    m_close->setGeometry(du.rect(98, 71, 50, 16));
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    OnInitDialog();
}

void CVL_SysRstDlg::OnInitDialog()
{
    m_typeCount = FillCardLists(m_typeList, typeList, m_cardList, g_pSysInfo->cardMap->boardSlots(),
                                cardNo, &selectedType);

    m_reset->LoadButtonIcons(IDI_RESET, 20, 16, 0, 0, 0);
    m_reset->SetFlatLook(false, true);
    m_close->LoadButtonIcons(IDI_EXIT, 20, 16, 0, 0, 0);
    m_close->SetFlatLook(false, true);
}

void CVL_SysRstDlg::OnReset()
{
    const CardMap *map = g_pSysInfo->cardMap;
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
