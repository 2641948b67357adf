#include "SysColors.h"

QPalette::ColorRole SysColorRole(int index)
{
    switch (index) {
    case COLOR_BTNTEXT:
        return QPalette::ButtonText;
    case COLOR_BTNHIGHLIGHT:
        return QPalette::Light;
    case COLOR_3DLIGHT:
        return QPalette::Midlight;
    case COLOR_BTNSHADOW:
        return QPalette::Dark;
    case COLOR_3DDKSHADOW:
        return QPalette::Shadow;
    case COLOR_BTNFACE:
    default:
        return QPalette::Button;
    }
}

QColor GetSysColor(const QPalette &palette, int index)
{
    // The active group: a disabled control still paints its engraved look in the normal
    // highlight and shadow colours.
    return palette.color(QPalette::Active, SysColorRole(index));
}
