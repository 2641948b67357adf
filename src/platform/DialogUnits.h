#pragma once
// Dialog templates give positions and sizes in dialog units: a quarter of a base unit across,
// an eighth of one down. The base units are those at which the templates fill the fixed frames
// drawn for them (6 x 14 pixels at the templates' font), scaled for a font of another size.
// Pixels are rounded the way Windows lays out dialog templates.

#include <QFont>
#include <QRect>

// The font of the templates ("Arial 8", "MS Shell Dlg 8"): Liberation Sans 8 pt, which has
// Arial's metrics, falling back to the platform's sans-serif font.
QFont TemplateFont();

class DialogUnits
{
public:
    explicit DialogUnits(const QFont &font = TemplateFont());

    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }
    int x(int dlu) const;
    int y(int dlu) const;
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const;

private:
    int m_baseX;
    int m_baseY;
};
