#pragma once
// What the input and output pages share: 32 points a page, the bits a tab covers, and the
// row bars with their item numbers that both page templates carry.

#include <QRect>

class DialogUnits;
class QWidget;

constexpr int kPagePoints = 32;

// The board bits shown on a tab, [first, end): 0 ... min(count, 32) - 1 on tab 0 and
// 32 ... count - 1 on tab 1, for a count already bounded to 0 ... 64.
struct BitRange
{
    int first = 0;
    int end = 0;

    // The bits first .. end - 1 as a word's mask.
    uint64_t mask() const { return end > first ? (~0ull >> (64 - (end - first))) << first : 0; }
};
BitRange TabRange(int count, int tabIndex);

// The number of live points on a tab: the count on tab 0, the count less 32 on tab 1.
int LivePoints(int count, int tabIndex);

// Page size in dialog units (templates 252 and 253).
constexpr int kPageWidthDlu = 123;
constexpr int kPageHeightDlu = 89;

// Row strip r of a page lies at y = rowBarY[r]; label k above its point at x 15 + 13j, y 22r.
// Returns the rectangle (in pixels) of item k's control at the given top y of its row.
QRect PointRect(const DialogUnits &du, int k, const int rowControlY[4]);

// Adds the four numbered row bars and the 32 item numbers "0" ... "31" to a page.
void AddRowBarsAndLabels(QWidget *page, const DialogUnits &du, const int rowBarY[4]);
