#pragma once
// The output page of the Digital IO window: 32 lamp buttons showing the outputs of one tab
// (bits 0-31 or 32-63), red when on and silver when off; a click switches that output to the
// opposite of its read-back state. The page also writes the patterns and the typed word, and
// posts UM_DO_WORD_CHANGED to the window (its parent's parent) when its word changes.

#include "device/WordText.h"

#include <QWidget>

#include <cstdint>

class BoardModel;
class CImageButton;

class CVL_DoWnd : public QWidget
{
    Q_OBJECT

public:
    explicit CVL_DoWnd(const BoardModel &model, QWidget *parent = nullptr);

    // Gives every button its image and tab stop for doCount and tabIndex, and forgets what
    // the buttons showed.
    void SetupButtons();
    // Reads back the live outputs, swaps the images of changed ones, rebuilds doWord and
    // reports a changed word.
    void RefreshOutputs();
    // Writes valueText, read as "%x" reads it, to every live output of the tab.
    void WriteValue();
    void SetOdd();
    void SetEven();
    void SetAllOn();
    void SetAllOff();
    // A click on button k: unless outputs are disabled, reads bit k of the tab back and
    // writes its inverse, whether or not the board has that output.
    void OnBitClicked(int k);
    // Gives every button its accessible name for the state it shows, with the point's name
    // where it has one; reads nothing. A change of the point names does it too.
    void LabelButtons();

    int32_t doCount = 0; // set by the window, bounded to 0 ... 64
    int32_t tabIndex = 0; // 0: bits 0-31, 1: bits 32-63
    int32_t cardNo = 0;
    int32_t shownState[2][32] = {}; // per tab and button: 0 = off image, 1 = on image
    int32_t outputDisable = 0;
    uint32_t doWord = 0; // bit k: output 32 * tabIndex + k read as on at the last refresh
    uint32_t lastDoWord = 0; // the word last reported to the window
    char valueText[kValueTextBytes] = {};
    CImageButton *bitButtons[32] = {};

private:
    const BoardModel &m_model;
    template<typename Value> void WritePattern(Value value);
    void LabelButton(int k);
};
