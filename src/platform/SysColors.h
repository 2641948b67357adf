#pragma once

#include <QColor>
#include <QPalette>

// The system colours that the owner-drawn controls paint with, under their classic index
// numbers. Each maps to a role of the palette the control is painted with, so a palette change
// is a system colour change.
enum SysColorIndex {
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_BTNTEXT = 18,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
};

// The palette role a system colour index stands for (Button for an unknown index).
QPalette::ColorRole SysColorRole(int index);

// The colour of a system colour index in the given palette's active group.
QColor GetSysColor(const QPalette &palette, int index);
