#pragma once

#include <QIcon>
#include <QPixmap>
#include <QRgb>
#include <QSize>

#include <functional>

// The program's images, looked up by their numeric ids (res/ResourceIds.h). Every image is
// an SVG drawing: an icon made here renders sharply at any size and pixel density, and its
// disabled mode is the greyed rendering of the drawing primitives.
namespace Resources {

// The image of the id at its own size, or at the requested size when one is given. Null for
// an id that has no image.
QIcon Icon(int id, QSize size = {});

// The size an image was drawn for; empty for an id that has no image.
QSize ImageSize(int id);

// The image rendered for a surface of the given pixel density (0: the application's).
QPixmap Image(int id, QSize size = {}, qreal devicePixelRatio = 0);

// An image of the tree image strip, by index; null for an index that has no image.
QIcon TreeIcon(int index);

// A tool bar image (32 x 32), by the command id of its button; null when it has none.
QIcon ToolBarIcon(int commandId);

// The program icon.
QIcon ProgramIcon();

// The size an icon was made for: the first of its available sizes, empty when it has none.
QSize IconSize(const QIcon &icon);

// An icon that draws the source with every pixel passed through the filter (colours not
// premultiplied).
QIcon FilteredIcon(const QIcon &source, std::function<QRgb(QRgb)> filter);

} // namespace Resources
