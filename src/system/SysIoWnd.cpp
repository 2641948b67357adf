#include "system/SysIoWnd.h"

#include "config/ProfileFile.h"
#include "controls/DialogTemplate.h"
#include "controls/ImageButton.h"
#include "device/CardCatalogue.h"
#include "device/DeviceTable.h"
#include "model/BoardModel.h"
#include "platform/DialogKeys.h"
#include "platform/DialogUnits.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"
#include "view/ViewFrame.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTabWidget>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;

// Template 290, in dialog units.
constexpr int kFormWidth = 259;
constexpr int kFormHeight = 135;
const ControlTemplate kTemplate[] = {
    {"OutputTab", ControlKind::TabWidget, nullptr, 7, 7, 245, 72},
    {"RunLedCaption", ControlKind::LineEdit, nullptr, 36, 43, 44, 10},
    {"RunLed", ControlKind::ImageButton, nullptr, 22, 43, 10, 9, kStyleClickOnEnter},
    {"CardGroup", ControlKind::GroupBox, "Card No.", 7, 88, 130, 38},
    {"CardList", ControlKind::ComboBox, nullptr, 15, 104, 114, 13},
    {"Close", ControlKind::ImageButton, "Close", 195, 106, 57, 18, kStyleClickOnEnter, IDI_EXIT},
};

} // namespace

const QColor CVL_SysIoWnd::kCaptionBackground(210, 210, 210);
const QColor CVL_SysIoWnd::kCaptionText(0, 0, 255);

CVL_SysIoWnd::CVL_SysIoWnd(const BoardModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("SystemIoView"));
    setFont(TemplateFont());
    setWindowIcon(Resources::Icon(IDI_SYSTEM_IO));
    setMinimumSize(DialogUnits(font()).size(kFormWidth, kFormHeight));
    CreateControls();
    // Enter and Escape do nothing here: the form is no dialog that they could close.
    IgnoreEnterAndEscape(this);

    connect(m_led, &QPushButton::clicked, this, &CVL_SysIoWnd::OnLedClicked);
    connect(m_cardList, &QComboBox::activated, this, &CVL_SysIoWnd::OnCardSelected);
    connect(m_close, &QPushButton::clicked, this, [this] { CloseViewFrame(this); });
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kPollMs);
    connect(m_timer, &QTimer::timeout, this, &CVL_SysIoWnd::OnTimer);

    OnInitialUpdate();
}

void CVL_SysIoWnd::CreateControls()
{
    const TemplateControls controls = BuildFromTemplate(this, kTemplate);
    m_tab = controls.get<QTabWidget>("OutputTab");
    m_caption = controls.get<QLineEdit>("RunLedCaption");
    m_led = controls.get<CImageButton>("RunLed");
    m_cardGroup = controls.get<QGroupBox>("CardGroup");
    m_cardList = controls.get<QComboBox>("CardList");
    m_close = controls.get<CImageButton>("Close");

    m_tab->setFocusPolicy(Qt::NoFocus);
    QPalette captionColors = m_caption->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window})
        captionColors.setColor(role, kCaptionBackground);
    captionColors.setColor(QPalette::Text, kCaptionText);
    m_caption->setPalette(captionColors);
    m_caption->setFocusPolicy(Qt::NoFocus);
    m_led->SetAccessibleLabel(QStringLiteral("Run Led"), QStringLiteral("off"));
}

CVL_SysIoWnd::~CVL_SysIoWnd() = default;

void CVL_SysIoWnd::OnInitialUpdate()
{
    m_tab->addTab(new QWidget, QStringLiteral("Output"));
    m_caption->setText(QStringLiteral(" Run Led"));
    m_caption->setReadOnly(true);
    FillCardList();
    // The child frame places itself at the cascade offset.
    UpdateTitleAndResetLed();
    m_timer->start();
}

QString CVL_SysIoWnd::TitleText(const char *boardName, int32_t cardNo)
{
    const QString name = QString::fromLocal8Bit(boardName, qstrnlen(boardName, kPathBytes));
    return QStringLiteral("System IO - %1(%2)").arg(name).arg(cardNo);
}

bool CVL_SysIoWnd::HasBoard() const
{
    return m_model.IsDigitalIoActive() && m_cardIndex >= 0;
}

void CVL_SysIoWnd::FillCardList()
{
    const int n = m_model.IsDigitalIoActive() ? m_model.boardSlots() : 0;
    const QSignalBlocker block(m_cardList);
    m_cardList->clear();
    for (int i = 0; i < n; ++i)
        m_cardList->insertItem(i, QString::number(m_model.cardNo(i)));
    m_cardNo = m_model.activeCardNo();
    m_cardIndex = m_model.CardIndexOf(m_cardNo);
    // An active card number missing from the map selects nothing.
    m_cardList->setCurrentIndex(m_cardIndex < n ? m_cardIndex : -1);
    m_cardList->setEnabled(n != 1);
}

void CVL_SysIoWnd::SetFrameTitle(const QString &title)
{
    setWindowTitle(title);
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->setWindowTitle(title);
}

void CVL_SysIoWnd::UpdateTitleAndResetLed()
{
    // An active card number that is not in the map shows no board.
    SetFrameTitle(HasBoard() ? TitleText(m_model.boardTable().boardName[m_cardIndex], m_cardNo)
                             : QString());
    ShowLed(false);
    m_ledShown = 0;
}

void CVL_SysIoWnd::ShowLed(bool on)
{
    m_led->LoadButtonIcons(on ? IDI_RUN_LED_ON : IDI_RUN_LED_OFF, 0, 0, 0, 0, 0);
    m_led->SetAccessibleLabel(QStringLiteral("Run Led"),
                              on ? QStringLiteral("on") : QStringLiteral("off"));
}

void CVL_SysIoWnd::OnTimer()
{
    int32_t state = 0;
    if (HasBoard())
        Dev().DXS_devConGetCheckOn(m_cardNo, &state);
    if (state != 0 && m_ledShown == 0) {
        ShowLed(true);
        m_ledShown = state;
    } else if (state == 0 && m_ledShown != 0) {
        ShowLed(false);
        m_ledShown = 0;
    }
}

void CVL_SysIoWnd::OnLedClicked()
{
    if (!HasBoard())
        return;
    // A read that fails writes nothing: the state counts as off, and the toggle switches on.
    int32_t state = 0;
    Dev().DXS_devConGetCheckOn(m_cardNo, &state);
    Dev().DXS_devConSetCheckOn(m_cardNo, state != 0 ? 0 : 1);
}

void CVL_SysIoWnd::OnCardSelected(int index)
{
    if (index < 0)
        return;
    m_cardNo = Atoi(m_cardList->itemText(index).toLatin1());
    m_cardIndex = m_model.CardIndexOf(m_cardNo);
    ShowLed(false);
    m_ledShown = 0;
    // The tree makes the board active and the main frame tells this window to follow it.
    SendWindowMessage(MainWindow(), UM_VIEW_SELECT_CARD, m_cardNo);
}

bool CVL_SysIoWnd::event(QEvent *e)
{
    WindowMessage *m = WindowMessage::From(e);
    if (!m)
        return QWidget::event(e);
    switch (int(m->type())) {
    case UM_ACTIVE_CARD_CHANGED:
    case UM_CARD_LIST_CHANGED:
        FillCardList();
        UpdateTitleAndResetLed();
        break;
    default:
        break;
    }
    m->result = 0;
    return true;
}
