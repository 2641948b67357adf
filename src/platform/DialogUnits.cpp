#include "DialogUnits.h"

#include <QFontMetrics>

namespace {

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
    font.setPointSize(8);
    return font;
}

DialogUnits::DialogUnits(const QFont &font)
{
    const QFontMetrics fm(font);
    // The average width of the 52 letters, rounded, as Windows measures a dialog font.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = qMax(1, (fm.horizontalAdvance(letters) / 26 + 1) / 2);
    m_baseY = qMax(1, fm.height());
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
