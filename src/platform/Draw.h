#pragma once

#include <QColor>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <initializer_list>

class QPainter;

// The drawing primitives of the owner-drawn controls. Rectangles are QRects; where a
// primitive needs the classic exclusive right and bottom edge it uses x() + width() and
// y() + height(). All sizes are logical pixels: on a high-density surface a "pixel" line is
// as wide as one logical pixel.
namespace Draw {

// Text format bits, as the controls' layout rules name them.
enum TextFormat : unsigned {
    kTextLeft = 0x000,
    kTextCenter = 0x001,
    kTextRight = 0x002,
    kTextVCenter = 0x004,
    kTextWordBreak = 0x010,
    kTextMeasure = 0x400,
};

void FillRect(QPainter &painter, const QRect &rect, const QColor &color);

// A frame one pixel wide along the inside of the rectangle.
void FrameRect(QPainter &painter, const QRect &rect, const QColor &color);

// A one-pixel line from `from` towards `to`; the end point itself is not drawn.
void Line(QPainter &painter, QPoint from, QPoint to, const QColor &color);

// Move to the first point, then a line to each following point (end points excluded).
void Polyline(QPainter &painter, std::initializer_list<QPoint> points, const QColor &color);

// A one-pixel rectangle: top and left edge in topLeft, bottom and right edge in bottomRight.
void Draw3dRect(QPainter &painter, const QRect &rect, const QColor &topLeft,
                const QColor &bottomRight);

// The icon at its top-left corner and size, rendered for the painter's pixel density; in the
// greyed disabled rendering when disabled.
void DrawIcon(QPainter &painter, QPoint topLeft, const QIcon &icon, QSize size, bool disabled);

// The disabled rendering of an image: every pixel becomes a light grey of its brightness,
// transparency kept.
QImage GreyedImage(const QImage &image);

// The extent of the text laid out in rect with the format: the rectangle keeps its top-left
// corner and takes the width of the widest line and the height of all lines. With
// kTextWordBreak the text wraps at word boundaries within rect's width.
QRect MeasureText(const QFontMetrics &metrics, const QString &text, const QRect &rect,
                  unsigned format);

// Draws the text into rect with the format in the given colour, transparent background; an
// ampersand marks the next character as the mnemonic. With kTextMeasure nothing is drawn:
// rect becomes the measured extent. Returns the height of the text.
int PaintText(QPainter &painter, const QString &text, QRect &rect, unsigned format,
              const QColor &color);

// A dotted one-pixel frame along the inside of the rectangle: every other pixel, starting
// with the top-left corner.
void DrawFocusRect(QPainter &painter, const QRect &rect, const QColor &color);

} // namespace Draw
