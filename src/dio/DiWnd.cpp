#include "dio/DiWnd.h"

#include "config/PointNames.h"
#include "controls/LedIndicator.h"
#include "device/CardCatalogue.h"
#include "device/CardMap.h"
#include "device/DeviceTable.h"
#include "device/SystemInfo.h"
#include "dio/PageLayout.h"
#include "platform/DialogUnits.h"
#include "res/ResourceIds.h"

namespace {

constexpr int kRowBarY[4] = {9, 31, 52, 74};
constexpr int kLedY[4] = {10, 32, 53, 75};
// A board of 24 inputs wires them to bits 0-7 and 16-31; bits 8-15 are not there.
constexpr int kSplitBoardInputs = 24;

bool IsMissingOnSplitBoard(int diCount, int k)
{
    return diCount == kSplitBoardInputs && k >= 8 && k < 16;
}

} // namespace

CVL_DiWnd::CVL_DiWnd(QWidget *parent)
    : QWidget(parent)
{
    setFont(TemplateFont());
    const DialogUnits du(font());
    resize(du.size(kPageWidthDlu, kPageHeightDlu));
    AddRowBarsAndLabels(this, du, kRowBarY);
    for (int k = 0; k < kPagePoints; ++k) {
        leds[k] = new CLedIndicator(this);
        leds[k]->setGeometry(PointRect(du, k, kLedY));
    }
    connect(&PointNames::Instance(), &PointNames::changed, this, &CVL_DiWnd::LabelLeds);
}

void CVL_DiWnd::InputRange(int count, int tab, int *first, int *end)
{
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
    const int count = BoundPoints(diCount);
    const int live = count == kSplitBoardInputs ? kPagePoints : LivePoints(count, tabIndex);
    for (int k = 0; k < kPagePoints; ++k) {
        CLedIndicator *led = leds[k];
        led->SetStateCount(2, true);
        const bool present = k < live && !IsMissingOnSplitBoard(count, k);
        led->SetStateIcon(0, present ? IDI_LED_OFF : IDI_LED_UNAVAILABLE, 0, 0);
        led->SetStateIcon(1, present ? IDI_LED_ON : IDI_LED_UNAVAILABLE, 0, 0);
    }
    LabelLeds();
}

void CVL_DiWnd::LabelLeds()
{
    const int count = BoundPoints(diCount);
    const int live = count == kSplitBoardInputs ? kPagePoints : LivePoints(count, tabIndex);
    // A missing input reads the same in both states: its state means nothing.
    const QString missing = QStringLiteral("not present");
    for (int k = 0; k < kPagePoints; ++k) {
        const bool present = k < live && !IsMissingOnSplitBoard(count, k);
        const int bit = kPagePoints * tabIndex + k;
        const QString name =
            present ? PointNames::Instance().Name(cardNo, PointDir::In, bit) : QString();
        leds[k]->SetAccessibleLabel(PointLabel(PointDir::In, bit, name),
                                    present ? QStringList() : QStringList{missing, missing},
                                    !name.isEmpty());
    }
}

void CVL_DiWnd::RefreshInputs()
{
    diWord = 0;
    int first = 0;
    int end = 0;
    InputRange(diCount, tabIndex, &first, &end);
    const bool active = IsDigitalIoActive();
    for (int i = first; i < end; ++i) {
        // Each read starts from off, so a read that delivers nothing shows the input off
        // rather than the bit read before it.
        int32_t value = 0;
        if (active)
            Dev().DXS_devDiGetBit(cardNo, i, &value);
        const int k = i % kPagePoints;
        if (value != 0) {
            leds[k]->SetCurrentState(1, false);
            diWord |= 1u << k;
        } else {
            leds[k]->SetCurrentState(0, false);
        }
    }
}
