#include "platform/Draw.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Draw {

namespace {

int TextFlags(unsigned format)
{
    int flags = Qt::TextShowMnemonic | Qt::AlignTop;
    if (format & kTextWordBreak)
        flags |= Qt::TextWordWrap;
    if (format & kTextCenter)
        flags |= Qt::AlignHCenter;
    else if (format & kTextRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    return flags;
}

qreal PixelRatio(const QPainter &painter)
{
    const qreal deviceRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QTransform &t = painter.deviceTransform();
    const qreal scale = std::sqrt(t.m11() * t.m11() + t.m12() * t.m12());
    return std::max({deviceRatio, scale, 1.0});
}

} // namespace

void FillRect(QPainter &painter, const QRect &rect, const QColor &color)
{
    if (rect.width() > 0 && rect.height() > 0)
        painter.fillRect(rect, color);
}

void FrameRect(QPainter &painter, const QRect &rect, const QColor &color)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    const int l = rect.x(), t = rect.y(), w = rect.width(), h = rect.height();
    FillRect(painter, QRect(l, t, w, 1), color);
    FillRect(painter, QRect(l, t + h - 1, w, 1), color);
    FillRect(painter, QRect(l, t + 1, 1, h - 2), color);
    FillRect(painter, QRect(l + w - 1, t + 1, 1, h - 2), color);
}

void Line(QPainter &painter, QPoint from, QPoint to, const QColor &color)
{
    const int x0 = from.x(), y0 = from.y(), x1 = to.x(), y1 = to.y();
    if (y0 == y1) {
        const int left = x0 <= x1 ? x0 : x1 + 1;
        FillRect(painter, QRect(left, y0, std::abs(x1 - x0), 1), color);
        return;
    }
    if (x0 == x1) {
        const int top = y0 <= y1 ? y0 : y1 + 1;
        FillRect(painter, QRect(x0, top, 1, std::abs(y1 - y0)), color);
        return;
    }
    // Bresenham, stopping before the end point.
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy, x = x0, y = y0;
    while (x != x1 || y != y1) {
        painter.fillRect(QRect(x, y, 1, 1), color);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void Polyline(QPainter &painter, std::initializer_list<QPoint> points, const QColor &color)
{
    const QPoint *previous = nullptr;
    for (const QPoint &point : points) {
        if (previous)
            Line(painter, *previous, point, color);
        previous = &point;
    }
}

void Draw3dRect(QPainter &painter, const QRect &rect, const QColor &topLeft,
                const QColor &bottomRight)
{
    const int x = rect.x(), y = rect.y(), cx = rect.width(), cy = rect.height();
    FillRect(painter, QRect(x, y, cx - 1, 1), topLeft);
    FillRect(painter, QRect(x, y, 1, cy - 1), topLeft);
    FillRect(painter, QRect(x + cx - 1, y, 1, cy), bottomRight);
    FillRect(painter, QRect(x, y + cy - 1, cx, 1), bottomRight);
}

void DrawIcon(QPainter &painter, QPoint topLeft, const QIcon &icon, QSize size, bool disabled)
{
    if (icon.isNull() || size.isEmpty())
        return;
    QPixmap pixmap = icon.pixmap(size, PixelRatio(painter));
    if (pixmap.isNull())
        return;
    if (disabled) {
        const qreal ratio = pixmap.devicePixelRatio();
        pixmap = QPixmap::fromImage(GreyedImage(pixmap.toImage()));
        pixmap.setDevicePixelRatio(ratio);
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(topLeft, size), pixmap);
    painter.restore();
}

QImage GreyedImage(const QImage &image)
{
    QImage grey = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int g = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
        }
    }
    return grey;
}

QRect MeasureText(const QFontMetrics &metrics, const QString &text, const QRect &rect,
                  unsigned format)
{
    const QRect bounds(rect.x(), rect.y(), std::max(rect.width(), 0), 0x3fffffff);
    const QRect extent =
        metrics.boundingRect(bounds, TextFlags(format & ~(kTextCenter | kTextRight)), text);
    return QRect(rect.topLeft(), extent.size());
}

int PaintText(QPainter &painter, const QString &text, QRect &rect, unsigned format,
              const QColor &color)
{
    if (format & kTextMeasure) {
        rect = MeasureText(QFontMetrics(painter.font(), painter.device()), text, rect, format);
        return rect.height();
    }
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(color);
    QRect drawn;
    painter.drawText(rect, TextFlags(format), text, &drawn);
    painter.restore();
    return drawn.height();
}

void DrawFocusRect(QPainter &painter, const QRect &rect, const QColor &color)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    const int l = rect.x(), t = rect.y(), r = l + rect.width() - 1, b = t + rect.height() - 1;
    auto dot = [&](int x, int y) {
        if (((x - l) + (y - t)) % 2 == 0)
            painter.fillRect(QRect(x, y, 1, 1), color);
    };
    for (int x = l; x <= r; ++x) {
        dot(x, t);
        if (b != t)
            dot(x, b);
    }
    for (int y = t + 1; y < b; ++y) {
        dot(l, y);
        if (r != l)
            dot(r, y);
    }
}

} // namespace Draw
