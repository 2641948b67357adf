#include "dio/DiWnd.h"

#include "config/PointNames.h"
#include "controls/LedIndicator.h"
#include "device/CardCatalogue.h"
#include "device/CardMap.h"
#include "dio/PageLayout.h"
#include "model/BoardModel.h"
#include "model/PointIo.h"
#include "platform/DialogUnits.h"
#include "res/ResourceIds.h"

namespace {

constexpr int kRowBarY[4] = {9, 31, 52, 74};
constexpr int kLedY[4] = {10, 32, 53, 75};

} // namespace

CVL_DiWnd::CVL_DiWnd(const BoardModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setFont(TemplateFont());
    const DialogUnits du(font());
    resize(du.size(kPageWidthDlu, kPageHeightDlu));
    AddRowBarsAndLabels(this, du, kRowBarY);
    for (int k = 0; k < kPagePoints; ++k) {
        leds[k] = new CLedIndicator(this);
        leds[k]->setGeometry(PointRect(du, k, kLedY));
    }
    connect(&model.names(), &PointNames::changed, this, &CVL_DiWnd::LabelLeds);
}

void CVL_DiWnd::InputRange(int count, int tab, int *first, int *end)
{
    // A board of 24 inputs is read whole, 0 ... 31, the unwired bits too.
    if (count == kSplitBoardInputs) {
        *first = 0;
        *end = kPagePoints;
        return;
    }
    const BitRange range = TabRange(BoundPoints(count), tab);
    *first = range.first;
    *end = range.end;
}

void CVL_DiWnd::SetupLeds()
{
    for (int k = 0; k < kPagePoints; ++k) {
        CLedIndicator *led = leds[k];
        led->SetStateCount(2, true);
        const bool present = IsLive(PointDir::In, diCount, kPagePoints * tabIndex + k);
        led->SetStateIcon(0, present ? IDI_LED_OFF : IDI_LED_UNAVAILABLE, 0, 0);
        led->SetStateIcon(1, present ? IDI_LED_ON : IDI_LED_UNAVAILABLE, 0, 0);
    }
    LabelLeds();
}

void CVL_DiWnd::LabelLeds()
{
    // A missing input reads the same in both states: its state means nothing.
    const QString missing = QStringLiteral("not present");
    for (int k = 0; k < kPagePoints; ++k) {
        const int bit = kPagePoints * tabIndex + k;
        const bool present = IsLive(PointDir::In, diCount, bit);
        const QString name = present ? m_model.names().Name(cardNo, PointDir::In, bit) : QString();
        leds[k]->SetAccessibleLabel(PointLabel(PointDir::In, bit, name),
                                    present ? QStringList() : QStringList{missing, missing},
                                    !name.isEmpty());
    }
}

void CVL_DiWnd::RefreshInputs()
{
    int first = 0;
    int end = 0;
    InputRange(diCount, tabIndex, &first, &end);
    // A refused read shows the input off, as an input that delivers nothing (the page has no
    // third state for its LEDs); the window never shows the bit read before it.
    const uint64_t word = m_model.IsDigitalIoActive()
        ? ReadPoints(cardNo, PointDir::In, BitRange{first, end}.mask()).word
        : 0;
    diWord = 0;
    for (int i = first; i < end; ++i) {
        const bool on = word >> i & 1;
        const int k = i % kPagePoints;
        leds[k]->SetCurrentState(on ? 1 : 0, false);
        diWord |= uint32_t(on) << k;
    }
}
