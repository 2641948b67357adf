#include "platform/SysColors.h"

QPalette::ColorRole SysColorRole(int index)
{
    switch (index) {
    case kColorButtonText:
        return QPalette::ButtonText;
    case kColorButtonHighlight:
        return QPalette::Light;
    case kColor3dLight:
        return QPalette::Midlight;
    case kColorButtonShadow:
        return QPalette::Dark;
    case kColor3dDarkShadow:
        return QPalette::Shadow;
    case kColorButtonFace:
    default:
        return QPalette::Button;
    }
}

QColor SystemColor(const QPalette &palette, int index)
{
    // The active group: a disabled control still paints its engraved look in the normal
    // highlight and shadow colours.
    return palette.color(QPalette::Active, SysColorRole(index));
}
