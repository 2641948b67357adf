#pragma once
// The input page of the Digital IO window: 32 LEDs showing the inputs of one tab (bits 0-31
// or 32-63). The window sets the board and the tab, calls SetupLeds after each change and
// RefreshInputs on every tick, then reads diWord.

#include <QWidget>

#include <cstdint>

class BoardModel;
class CLedIndicator;

class CVL_DiWnd : public QWidget
{
    Q_OBJECT

public:
    explicit CVL_DiWnd(const BoardModel &model, QWidget *parent = nullptr);

    // Gives every LED its images for diCount and tabIndex; reads nothing.
    void SetupLeds();
    // Reads the live inputs of the tab, sets their LEDs and rebuilds diWord.
    void RefreshInputs();
    // Gives every LED its accessible name, with the point's name where it has one; reads
    // nothing. SetupLeds does it, and so does a change of the point names.
    void LabelLeds();

    // The bits RefreshInputs reads: the tab's range, or 0 ... 31 on a board of 24 inputs.
    static void InputRange(int diCount, int tabIndex, int *first, int *end);

    int32_t diCount = 0; // set by the window, bounded to 0 ... 64
    int32_t tabIndex = 0; // 0: bits 0-31, 1: bits 32-63
    int32_t cardNo = 0;
    uint32_t diWord = 0; // bit k: input 32 * tabIndex + k read as on at the last refresh
    CLedIndicator *leds[32] = {};

private:
    const BoardModel &m_model;
};
