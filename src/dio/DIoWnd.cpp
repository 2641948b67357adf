#include "dio/DIoWnd.h"

#include "config/ProfileFile.h"
#include "controls/DialogTemplate.h"
#include "controls/ImageButton.h"
#include "device/CardCatalogue.h"
#include "device/DeviceTable.h"
#include "device/WordText.h"
#include "dio/DiWnd.h"
#include "dio/DoWnd.h"
#include "model/BoardModel.h"
#include "platform/DialogUnits.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstring>

const char *const CVL_DIoWnd::kFilterQuestion =
    "Parameters are changed. Do you want to set parameter?";
const char *const CVL_DIoWnd::kBadValueMessage = "Input value is incorrect!";

namespace {

constexpr int kTickMs = 10;
constexpr int kFormWidthDlu = 261;
constexpr int kFormHeightDlu = 260;

// The form in dialog units: the input half, the filter group, the output half.
constexpr unsigned kFormButton = kStyleNoAutoDefault | kStyleClickOnEnter;
const ControlTemplate kTemplate[] = {
    {"1181", ControlKind::TabWidget, nullptr, 14, 7, 136, 113},
    {"1334", ControlKind::Host, nullptr, 19, 25, 123, 89},
    {nullptr, ControlKind::GroupBox, " Filter Setting ", 157, 6, 94, 91},
    {nullptr, ControlKind::Label, "Card No.", 165, 24, 30, 8, kStyleTop},
    {"1171", ControlKind::ComboBox, nullptr, 203, 22, 40, 30, kStyleDropDown},
    {nullptr, ControlKind::Label, "Enable", 165, 41, 22, 8, kStyleTop},
    {"1174", ControlKind::ComboBox, nullptr, 203, 39, 40, 30, kStyleDropDown},
    {nullptr, ControlKind::Label, "Filter Time", 165, 54, 34, 8, kStyleTop},
    {nullptr, ControlKind::Label, "[msec]", 170, 62, 22, 8, kStyleTop | kStyleCentre},
    {"1173", ControlKind::ComboBox, nullptr, 203, 56, 40, 30, kStyleDropDown},
    {"1448", ControlKind::ImageButton, "Set Prm", 165, 74, 78, 16, kFormButton, IDI_SET_PRM},
    {"1298", ControlKind::LineEdit, "Input word", 165, 104, 78, 14, kStyleReadOnly | kStyleRight},
    {"1182", ControlKind::TabWidget, nullptr, 14, 128, 136, 112},
    {"1335", ControlKind::Host, nullptr, 19, 145, 123, 89},
    {"1134", ControlKind::CheckBox, " Output Disable", 164, 128, 70, 10},
    // The pattern buttons, in the order of CVL_DIoWnd::Pattern.
    {"1176", ControlKind::PushButton, "Odd", 165, 140, 78, 16, kFormButton},
    {"1177", ControlKind::PushButton, "Even", 165, 160, 78, 16, kFormButton},
    {"1178", ControlKind::PushButton, "All On", 165, 180, 78, 16, kFormButton},
    {"1179", ControlKind::PushButton, "All Off", 165, 200, 78, 16, kFormButton},
    {"1299", ControlKind::LineEdit, "Output word", 165, 224, 78, 14, kStyleRight},
    {"1336", ControlKind::ImageButton, "Close", 165, 244, 78, 16, kFormButton, IDI_EXIT},
};

const char *const kFilterTimes[16] = {"0.001", "0.002", "0.004",  "0.008", "0.016", "0.032",
                                      "0.064", "0.128", "0.256",  "0.512", "1.024", "2.048",
                                      "4.096", "8.192", "16.384", "32.768"};

// A board name from the board table: narrow, at most one buffer long.
QString BoardNameText(const BoardModel &model, int index)
{
    const char *name = model.boardTable().boardName[index];
    return QString::fromLatin1(name, int(strnlen(name, kPathBytes)));
}

// Sets a field's text only when it differs: an equal text would still repaint the field.
void SetTextIfChanged(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

CVL_DIoWnd::CVL_DIoWnd(BoardModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setFont(TemplateFont());
    setWindowIcon(Resources::Icon(IDI_DIGITAL_IO));
    CreateControls();
    ConnectControls();

    FillCardList(m_model.IsDigitalIoActive() ? m_model.boardSlots() : 0);
    cardNo = m_model.activeCardNo();
    cardIndex = m_model.CardIndexOf(cardNo);
    m_cardList->setCurrentIndex(cardIndex);
    SetupCard();

    // The frame places itself at the cascade offset; the view only starts its tick.
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &CVL_DIoWnd::OnTimer);
    m_timer->start();
}

CVL_DIoWnd::~CVL_DIoWnd() = default;

void CVL_DIoWnd::CreateControls()
{
    const DialogUnits du(font());
    resize(du.size(kFormWidthDlu, kFormHeightDlu));
    setMinimumSize(du.size(kFormWidthDlu, kFormHeightDlu));

    const TemplateControls controls = BuildFromTemplate(this, kTemplate);
    m_inputTabs = controls.get<QTabWidget>("1181");
    m_inputHost = controls.get<QWidget>("1334");
    m_cardList = controls.get<QComboBox>("1171");
    m_enableList = controls.get<QComboBox>("1174");
    m_timeList = controls.get<QComboBox>("1173");
    setPrmButton = controls.get<CImageButton>("1448");
    m_diValueEdit = controls.get<QLineEdit>("1298");
    m_outputTabs = controls.get<QTabWidget>("1182");
    m_outputHost = controls.get<QWidget>("1335");
    m_outputDisableBox = controls.get<QCheckBox>("1134");
    for (int p = Odd; p <= AllOff; ++p)
        m_patternButtons[p] = controls.get<QPushButton>(QString::number(1176 + p));
    m_doValueEdit = controls.get<QLineEdit>("1299");
    closeButton = controls.get<CImageButton>("1336");
    // The input word only shows the inputs: a click still selects it for copying, Tab passes.
    m_diValueEdit->setFocusPolicy(Qt::ClickFocus);

    m_enableList->addItems({QStringLiteral("Disable"), QStringLiteral("Enable")});
    for (const char *text : kFilterTimes)
        m_timeList->addItem(QString::fromLatin1(text));
    // Owned by the window while a tab strip does not hold them (a second tab is not always shown).
    for (int t = 0; t < 2; ++t) {
        m_inputTabPages[t] = new QWidget(this);
        m_outputTabPages[t] = new QWidget(this);
        m_inputTabPages[t]->hide();
        m_outputTabPages[t]->hide();
    }
    // The page hosts lie over the tab strips' panes.
    m_inputHost->raise();
    m_outputHost->raise();
}

void CVL_DIoWnd::ConnectControls()
{
    connect(m_inputTabs, &QTabWidget::currentChanged, this, &CVL_DIoWnd::OnInputTabChanged);
    connect(m_outputTabs, &QTabWidget::currentChanged, this, &CVL_DIoWnd::OnOutputTabChanged);
    connect(m_cardList, &QComboBox::activated, this, &CVL_DIoWnd::OnCardSelected);
    connect(setPrmButton, &QPushButton::clicked, this, &CVL_DIoWnd::OnSetPrmClicked);
    // Any change of the box locks or unlocks: a click, a key, an accessibility action or a
    // rebuild's profile.
    connect(m_outputDisableBox, &QCheckBox::toggled, this, &CVL_DIoWnd::OnOutputDisableClicked);
    for (int p = Odd; p <= AllOff; ++p)
        connect(m_patternButtons[p], &QPushButton::clicked, this,
                [this, p] { OnPattern(Pattern(p)); });
    m_doValueEdit->installEventFilter(this);
    connect(closeButton, &QPushButton::clicked, this, &CVL_DIoWnd::OnCloseClicked);
}

void CVL_DIoWnd::FillCardList(int count)
{
    const QSignalBlocker block(m_cardList);
    m_cardList->clear();
    for (int i = 0; i < count; ++i)
        m_cardList->insertItem(i, QString::number(m_model.cardNo(i)));
    m_cardList->setEnabled(count != 1);
}

void CVL_DIoWnd::RebuildTabs(QTabWidget *tabs, QWidget *const pages[2], const char *prefix,
                             int count)
{
    const QSignalBlocker block(tabs);
    tabs->clear();
    tabs->insertTab(0, pages[0], QStringLiteral("%1_0").arg(QLatin1String(prefix)));
    if (count > 32)
        tabs->insertTab(1, pages[1], QStringLiteral("%1_1").arg(QLatin1String(prefix)));
    tabs->setCurrentIndex(0);
}

void CVL_DIoWnd::SetupCard()
{
    int32_t enable = 0;
    int32_t code = 0;
    if (!BoardShown()) {
        // A card number missing from the card map has no record to read: show no board.
        diCount = 0;
        doCount = 0;
        setWindowTitle(QString());
    } else if (m_model.IsDigitalIoActive()) {
        // Counted as DXS_devGnGetDioNum reported them, as every program counts (not by the map).
        diCount = BoundPoints(m_model.board(cardIndex).inputs);
        doCount = BoundPoints(m_model.board(cardIndex).outputs);
        setWindowTitle(QStringLiteral("Digital IO - %1(%2)")
                           .arg(BoardNameText(m_model, cardIndex))
                           .arg(cardNo));
        Dev().DXS_devDiGetFilterEnable(cardNo, 0, &enable);
        Dev().DXS_devDiGetFilterTime(cardNo, 0, &code);
    }

    RebuildTabs(m_inputTabs, m_inputTabPages, "DI", diCount);
    RebuildTabs(m_outputTabs, m_outputTabPages, "DO", doCount);
    m_enableList->setCurrentIndex(enable);
    m_timeList->setCurrentIndex(code);
    SetupPages();
    ApplyBoardProfile();
    ShowDoValue();
    m_inputHost->update();
    m_outputHost->update();
}

// The first tab of each page, for the board's counts.
void CVL_DIoWnd::SetupPages()
{
    if (!inputPage) {
        inputPage = new CVL_DiWnd(m_model, m_inputHost);
        inputPage->setGeometry(m_inputHost->rect());
    }
    inputPage->tabIndex = 0;
    inputPage->diCount = diCount;
    inputPage->cardNo = cardNo;
    inputPage->SetupLeds();
    inputPage->show();

    if (!outputPage) {
        outputPage = new CVL_DoWnd(m_model, m_outputHost);
        outputPage->setGeometry(m_outputHost->rect());
        // Made after the form's controls, its buttons would come after Close; they belong at
        // the page's place in the form's order, after the DO tab strip.
        QWidget *previous = m_outputTabs;
        for (CImageButton *button : outputPage->bitButtons) {
            QWidget::setTabOrder(previous, button);
            previous = button;
        }
        QWidget::setTabOrder(previous, m_outputDisableBox);
    }
    outputPage->tabIndex = 0;
    outputPage->doCount = doCount;
    outputPage->cardNo = cardNo;
    outputPage->SetupButtons();
    outputPage->show();
}

void CVL_DIoWnd::ApplyBoardProfile()
{
    struct Profile
    {
        bool disableOutputs; // "Output Disable" checked and greyed, patterns greyed, word read-only
        bool filterLists;
        bool setPrm;
    };
    Profile profile;
    if (!BoardShown()) {
        profile = {true, false, false};
    } else {
        switch (m_model.cardMap().cardType(cardIndex)) {
        case kTypeLmDio:
        case kTypeLnDio:
            profile = {false, true, true};
            break;
        case kTypeLnDi:
            profile = {true, true, true};
            break;
        case kTypeLnDo:
            profile = {false, false, true};
            break;
        default:
            return; // a type the program does not know keeps the controls as they are
        }
    }
    m_outputDisableBox->setEnabled(!profile.disableOutputs);
    m_outputDisableBox->setChecked(profile.disableOutputs);
    SetOutputControls(profile.disableOutputs);
    m_enableList->setEnabled(profile.filterLists);
    m_timeList->setEnabled(profile.filterLists);
    setPrmButton->setEnabled(profile.setPrm);
}

void CVL_DIoWnd::SetOutputControls(bool disable)
{
    outputDisable = disable ? 1 : 0;
    outputPage->outputDisable = outputDisable;
    for (QPushButton *button : m_patternButtons)
        button->setEnabled(!disable);
    m_doValueEdit->setReadOnly(disable);
}

void CVL_DIoWnd::ShowDoValue()
{
    doValueText = WordText(outputPage->doWord);
    SetTextIfChanged(m_doValueEdit, doValueText);
    UpdateDataToControls();
}

void CVL_DIoWnd::UpdateDataToControls()
{
    m_outputDisableBox->setChecked(outputDisable != 0);
    SetTextIfChanged(m_diValueEdit, diValueText);
    SetTextIfChanged(m_doValueEdit, doValueText);
}

void CVL_DIoWnd::UpdateDataFromControls()
{
    outputDisable = m_outputDisableBox->isChecked() ? 1 : 0;
    diValueText = m_diValueEdit->text();
    doValueText = m_doValueEdit->text();
}

void CVL_DIoWnd::OnTimer()
{
    const uint32_t word = inputPage->diWord;
    if (!m_diTextValid || word != m_diTextWord) {
        diValueText = WordText(word);
        m_diTextWord = word;
        m_diTextValid = true;
    }
    SetTextIfChanged(m_diValueEdit, diValueText);
    inputPage->RefreshInputs();
    outputPage->RefreshOutputs();
}

bool CVL_DIoWnd::IsFilterParamChanged(int32_t cardClass)
{
    if (!BoardShown())
        return false; // no board, nothing to compare with
    const int32_t enableSel = m_enableList->currentIndex();
    const int32_t codeSel = m_timeList->currentIndex();
    int32_t devEnable = 0;
    int32_t devCode = 0;
    if (cardClass == kDigitalIoClass) {
        Dev().DXS_devDiGetFilterEnable(cardNo, 0, &devEnable);
        Dev().DXS_devDiGetFilterTime(cardNo, 0, &devCode);
    }
    return enableSel != devEnable || codeSel != devCode;
}

void CVL_DIoWnd::SetFilterParam(int32_t cardClass)
{
    const int32_t enableSel = m_enableList->currentIndex();
    const int32_t codeSel = m_timeList->currentIndex();
    if (cardClass == kDigitalIoClass && BoardShown()) {
        Dev().DXS_devDiSetFilterEnable(cardNo, 0, enableSel);
        Dev().DXS_devDiSetFilterTime(cardNo, 0, codeSel);
    }
    SendWindowMessage(MainWindow(), UM_PARAM_CHANGED, cardNo);
}

void CVL_DIoWnd::OnFrameClose()
{
    if (IsFilterParamChanged(m_model.activeCardType()) &&
        AskYesNo(this, QString::fromLatin1(kFilterQuestion)))
        SetFilterParam(m_model.activeCardType());
}

void CVL_DIoWnd::OnInputTabChanged(int tab)
{
    if (tab < 0)
        return;
    inputPage->tabIndex = tab;
    inputPage->diCount = diCount;
    inputPage->SetupLeds();
    inputPage->show();
}

void CVL_DIoWnd::OnOutputTabChanged(int tab)
{
    if (tab < 0)
        return;
    outputPage->tabIndex = tab;
    outputPage->doCount = doCount;
    outputPage->SetupButtons();
    outputPage->show();
}

void CVL_DIoWnd::OnCardSelected(int index)
{
    if (IsFilterParamChanged(m_model.activeCardType()) &&
        AskYesNo(this, QString::fromLatin1(kFilterQuestion)))
        SetFilterParam(m_model.activeCardType());
    cardNo = Atoi(m_cardList->itemText(index).toLatin1());
    cardIndex = m_model.CardIndexOf(cardNo);
    SendWindowMessage(MainWindow(), UM_VIEW_SELECT_CARD, cardNo);
}

void CVL_DIoWnd::OnOutputDisableClicked()
{
    SetOutputControls(m_outputDisableBox->isChecked());
}

void CVL_DIoWnd::OnPattern(Pattern pattern)
{
    switch (pattern) {
    case Odd:
        outputPage->SetOdd();
        break;
    case Even:
        outputPage->SetEven();
        break;
    case AllOn:
        outputPage->SetAllOn();
        break;
    case AllOff:
        outputPage->SetAllOff();
        break;
    }
}

void CVL_DIoWnd::OnSetPrmClicked()
{
    SetFilterParam(m_model.activeCardType());
}

void CVL_DIoWnd::OnCloseClicked()
{
    CloseViewFrame(this);
}

void CVL_DIoWnd::WriteTypedWord()
{
    UpdateDataFromControls();
    const QString checkText =
        doValueText.startsWith(QLatin1String("0x")) ? doValueText.mid(2) : doValueText;
    const QByteArray narrow = doValueText.toLatin1();
    // A character without a narrow form would become "?", which a text beginning with "-"
    // lets pass; it is outside the check's alphabet, so it fails the check.
    const bool narrowable = std::all_of(checkText.cbegin(), checkText.cend(),
                                        [](QChar c) { return c.unicode() <= 0xFF; });
    // Beyond the check: a text too long for the page's buffer, or one without a single
    // hexadecimal digit, would be cut or read as nothing; both take the failure path.
    if (!narrowable || !IsNumberText(checkText.toLatin1().constData(), true) ||
        narrow.size() >= kValueTextBytes || !ReadHexText(narrow.constData()).hasDigit) {
        ShowFailure(this, QString::fromLatin1(kBadValueMessage));
        doValueText = QStringLiteral("0");
    }
    CopyAnsi(outputPage->valueText, kValueTextBytes, doValueText.toLatin1().constData());
    outputPage->WriteValue();
    ShowDoValue();
}

bool CVL_DIoWnd::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == m_doValueEdit && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            WriteTypedWord();
    }
    return QWidget::eventFilter(watched, e);
}

bool CVL_DIoWnd::event(QEvent *e)
{
    if (WindowMessage *m = WindowMessage::From(e)) {
        switch (int(m->type())) {
        case UM_ACTIVE_CARD_CHANGED:
        case UM_CARD_LIST_CHANGED: {
            const bool active = m_model.IsDigitalIoActive();
            FillCardList(active ? BoundBoards(m_model.boardTable().boardCount) : 0);
            cardNo = m_model.activeCardNo();
            cardIndex = m_model.CardIndexOf(cardNo);
            m_cardList->setCurrentIndex(cardIndex);
            SetupCard();
            return true;
        }
        case UM_VIEW_FOCUSED:
            if (m->wParam == kDigitalIoView)
                SetupCard();
            return true;
        case UM_DO_WORD_CHANGED:
            ShowDoValue();
            return true;
        default:
            break;
        }
    }
    return QWidget::event(e);
}
