#include "dio/DoWnd.h"

#include "config/PointNames.h"
#include "controls/ImageButton.h"
#include "device/CardCatalogue.h"
#include "device/CardMap.h"
#include "dio/PageLayout.h"
#include "model/BoardModel.h"
#include "model/PointIo.h"
#include "platform/DialogKeys.h"
#include "platform/DialogUnits.h"
#include "platform/Messages.h"
#include "res/ResourceIds.h"

namespace {

constexpr int kRowBarY[4] = {9, 31, 53, 75};
constexpr int kButtonY[4] = {10, 32, 54, 76};

} // namespace

CVL_DoWnd::CVL_DoWnd(const BoardModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setFont(TemplateFont());
    const DialogUnits du(font());
    resize(du.size(kPageWidthDlu, kPageHeightDlu));
    AddRowBarsAndLabels(this, du, kRowBarY);
    for (int k = 0; k < kPagePoints; ++k) {
        auto *button = new CImageButton(this);
        button->setGeometry(PointRect(du, k, kButtonY));
        button->setAutoDefault(false);
        ClickOnEnter(button);
        connect(button, &QAbstractButton::clicked, this, [this, k] { OnBitClicked(k); });
        bitButtons[k] = button;
    }
    connect(&model.names(), &PointNames::changed, this, &CVL_DoWnd::LabelButtons);
}

void CVL_DoWnd::SetupButtons()
{
    for (int k = 0; k < kPagePoints; ++k) {
        CImageButton *button = bitButtons[k];
        const bool present = IsLive(PointDir::Out, doCount, kPagePoints * tabIndex + k);
        button->LoadButtonIcons(present ? IDI_LED_OFF : IDI_LED_UNAVAILABLE, 0);
        // A grey button leaves the tab order but stays clickable.
        button->setFocusPolicy(present ? Qt::StrongFocus : Qt::ClickFocus);
        button->SetFlatLook(false, true);
    }
    for (auto &tab : shownState)
        std::fill(std::begin(tab), std::end(tab), 0);
    LabelButtons();
}

void CVL_DoWnd::LabelButtons()
{
    for (int k = 0; k < kPagePoints; ++k)
        LabelButton(k);
}

void CVL_DoWnd::LabelButton(int k)
{
    const bool present = IsLive(PointDir::Out, doCount, kPagePoints * tabIndex + k);
    const int bit = kPagePoints * tabIndex + k;
    const QString name = present ? m_model.names().Name(cardNo, PointDir::Out, bit) : QString();
    const QString state = !present                  ? QStringLiteral("not present")
        : shownState[tabIndex == 0 ? 0 : 1][k] != 0 ? QStringLiteral("on")
                                                    : QStringLiteral("off");
    bitButtons[k]->SetAccessibleLabel(PointLabel(PointDir::Out, bit, name), state, !name.isEmpty());
}

void CVL_DoWnd::RefreshOutputs()
{
    doWord = 0;
    const BitRange range = TabRange(BoundPoints(doCount), tabIndex);
    // A refused read shows the output off, as an output that delivers nothing; the window
    // never shows the bit read before it.
    const uint64_t word =
        m_model.IsDigitalIoActive() ? ReadPoints(cardNo, PointDir::Out, range.mask()).word : 0;
    int32_t *shown = shownState[tabIndex == 0 ? 0 : 1];
    for (int i = range.first; i < range.end; ++i) {
        const int k = i % kPagePoints;
        if (word >> i & 1) {
            if (shown[k] == 0) {
                bitButtons[k]->LoadButtonIcons(IDI_LED_OUTPUT_ON, 0);
                shown[k] = 1;
                LabelButton(k);
            }
            doWord |= 1u << k;
        } else if (shown[k] != 0) {
            bitButtons[k]->LoadButtonIcons(IDI_LED_OFF, 0);
            shown[k] = 0;
            LabelButton(k);
        }
    }
    if (doWord != lastDoWord) {
        QWidget *host = parentWidget();
        PostWindowMessage(host ? host->parentWidget() : nullptr, UM_DO_WORD_CHANGED);
        lastDoWord = doWord;
    }
}

template<typename Value> void CVL_DoWnd::WritePattern(Value value)
{
    if (!m_model.IsDigitalIoActive())
        return;
    const BitRange range = TabRange(BoundPoints(doCount), tabIndex);
    for (int i = range.first; i < range.end; ++i)
        WritePoint(cardNo, i, value(i));
}

void CVL_DoWnd::WriteValue()
{
    valueText[kValueTextBytes - 1] = '\0';
    const uint32_t value = ReadHexText(valueText).value;
    WritePattern([value](int i) { return ((value >> (i % kPagePoints)) & 1u) != 0; });
}

void CVL_DoWnd::SetOdd()
{
    WritePattern([](int i) { return i % 2 == 0; });
}

void CVL_DoWnd::SetEven()
{
    WritePattern([](int i) { return i % 2 != 0; });
}

void CVL_DoWnd::SetAllOn()
{
    WritePattern([](int) { return true; });
}

void CVL_DoWnd::SetAllOff()
{
    WritePattern([](int) { return false; });
}

void CVL_DoWnd::OnBitClicked(int k)
{
    if (outputDisable != 0 || k < 0 || k >= kPagePoints)
        return;
    const int bit = tabIndex == 0 ? k : kPagePoints + k;
    if (!m_model.IsDigitalIoActive())
        return;
    // A refused read counts as off: the click then switches the output on.
    const uint64_t read = ReadPoints(cardNo, PointDir::Out, uint64_t(1) << bit).word;
    WritePoint(cardNo, bit, read == 0);
}
