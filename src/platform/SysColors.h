#pragma once

#include <QColor>
#include <QPalette>

// The system colours that the owner-drawn controls paint with, under their classic index
// numbers. Each maps to a role of the palette the control is painted with, so a palette change
// is a system colour change.
enum SysColorIndex {
    kColorButtonFace = 15,
    kColorButtonShadow = 16,
    kColorButtonText = 18,
    kColorButtonHighlight = 20,
    kColor3dDarkShadow = 21,
    kColor3dLight = 22,
};

// The palette role a system colour index stands for (Button for an unknown index).
QPalette::ColorRole SysColorRole(int index);

// The colour of a system colour index in the given palette's active group.
QColor SystemColor(const QPalette &palette, int index);
