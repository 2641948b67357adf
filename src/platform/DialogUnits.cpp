#include "platform/DialogUnits.h"

#include <QFontInfo>

namespace {

constexpr int kTemplatePointSize = 8;
constexpr int kTemplateBaseX = 6;
constexpr int kTemplateBaseY = 14;

// Windows' MulDiv: rounded, not truncated.
int MulDiv(int value, int numerator, int denominator)
{
    const long long p = static_cast<long long>(value) * numerator;
    return int((p >= 0 ? p + denominator / 2 : p - denominator / 2) / denominator);
}

} // namespace

QFont TemplateFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(kTemplatePointSize);
    return font;
}

DialogUnits::DialogUnits(const QFont &font)
{
    // The templates were drawn for windows of fixed pixel sizes: the Digital IO window's form of
    // 261 x 260 units fills its 410 x 505 frame, and the 185 x 21 row bars take 123 x 12 units.
    // At the templates' font that is 6 x 14 pixels per 4 x 8 units, more than the font's own
    // line height (12 pixels) gives. A font of another size scales them, as a dialog's units
    // follow its font.
    const qreal scale = QFontInfo(font).pointSizeF() / kTemplatePointSize;
    m_baseX = qMax(1, qRound(kTemplateBaseX * scale));
    m_baseY = qMax(1, qRound(kTemplateBaseY * scale));
}

int DialogUnits::x(int dlu) const
{
    return MulDiv(dlu, m_baseX, 4);
}

int DialogUnits::y(int dlu) const
{
    return MulDiv(dlu, m_baseY, 8);
}

QRect DialogUnits::rect(int left, int top, int width, int height) const
{
    return QRect(x(left), y(top), x(width), y(height));
}

QSize DialogUnits::size(int width, int height) const
{
    return QSize(x(width), y(height));
}
