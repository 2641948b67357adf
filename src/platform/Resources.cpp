#include "platform/Resources.h"

#include "platform/Draw.h"
#include "res/ResourceIds.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <memory>

// The images are compiled into this static library; its resource table has to be registered
// by hand, once, before the first look-up. Q_INIT_RESOURCE must stand outside any namespace.
static void RegisterImageResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Resources {

namespace {

void EnsureRegistered()
{
    static const bool registered = (RegisterImageResources(), true);
    Q_UNUSED(registered);
}

// One parsed drawing per file, shared by every icon made from it.
std::shared_ptr<QSvgRenderer> Renderer(const QString &path)
{
    EnsureRegistered();
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto found = renderers.constFind(path);
    if (found != renderers.constEnd())
        return *found;
    std::shared_ptr<QSvgRenderer> renderer;
    if (QFile::exists(path)) {
        renderer = std::make_shared<QSvgRenderer>(path);
        if (!renderer->isValid())
            renderer.reset();
    }
    renderers.insert(path, renderer);
    return renderer;
}

QPixmap ApplyMode(QPixmap pixmap, QIcon::Mode mode)
{
    if (mode != QIcon::Disabled || pixmap.isNull())
        return pixmap;
    const qreal ratio = pixmap.devicePixelRatio();
    QPixmap greyed = QPixmap::fromImage(Draw::GreyedImage(pixmap.toImage()));
    greyed.setDevicePixelRatio(ratio);
    return greyed;
}

// Renders an SVG drawing at whatever pixel size is asked for.
class SvgImageEngine : public QIconEngine
{
public:
    SvgImageEngine(QString path, QSize size, std::shared_ptr<QSvgRenderer> renderer)
        : m_path(std::move(path))
        , m_size(size)
        , m_renderer(std::move(renderer))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pixmap = scaledPixmap(rect.size() * ratio, mode, QIcon::Off, ratio);
        painter->drawPixmap(rect, pixmap);
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return m_size.scaled(size, Qt::KeepAspectRatio);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        return Render(size, mode);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal) override
    {
        return Render(size, mode);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {m_size}; }
    QString key() const override { return QStringLiteral("OrvaneSvgImage"); }
    QIconEngine *clone() const override { return new SvgImageEngine(*this); }
    bool isNull() override { return false; }

private:
    QPixmap Render(const QSize &size, QIcon::Mode mode) const
    {
        if (size.isEmpty())
            return {};
        const QString cacheKey = QStringLiteral("orvane:%1:%2x%3:%4")
                                     .arg(m_path)
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(int(mode));
        QPixmap pixmap;
        if (QPixmapCache::find(cacheKey, &pixmap))
            return pixmap;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        m_renderer->render(&painter, QRectF(QPointF(0, 0), size));
        painter.end();
        pixmap = ApplyMode(QPixmap::fromImage(image), mode);
        QPixmapCache::insert(cacheKey, pixmap);
        return pixmap;
    }

    QString m_path;
    QSize m_size;
    std::shared_ptr<QSvgRenderer> m_renderer;
};

// Draws another icon with a per-pixel filter.
class FilteredEngine : public QIconEngine
{
public:
    FilteredEngine(QIcon source, std::function<QRgb(QRgb)> filter)
        : m_source(std::move(source))
        , m_filter(std::move(filter))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pixmap = scaledPixmap(rect.size() * ratio, mode, QIcon::Off, ratio);
        painter->drawPixmap(rect, pixmap);
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_source.actualSize(size, mode, state);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        return ApplyMode(Filter(m_source.pixmap(size, 1.0)), mode);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        const QSize logical = scale > 0 ? size / scale : size;
        return ApplyMode(Filter(m_source.pixmap(logical, scale)), mode);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_source.availableSizes(mode, state);
    }
    QString key() const override { return QStringLiteral("OrvaneFilteredImage"); }
    QIconEngine *clone() const override { return new FilteredEngine(*this); }
    bool isNull() override { return m_source.isNull(); }

private:
    QPixmap Filter(const QPixmap &pixmap) const
    {
        if (pixmap.isNull())
            return pixmap;
        QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = m_filter(line[x]);
        }
        QPixmap filtered = QPixmap::fromImage(image);
        filtered.setDevicePixelRatio(pixmap.devicePixelRatio());
        return filtered;
    }

    QIcon m_source;
    std::function<QRgb(QRgb)> m_filter;
};

QIcon SvgIcon(const QString &path, QSize size)
{
    std::shared_ptr<QSvgRenderer> renderer = Renderer(path);
    if (!renderer)
        return {};
    if (size.isEmpty())
        size = renderer->defaultSize();
    return QIcon(new SvgImageEngine(path, size, std::move(renderer)));
}

QString ImagePath(int id)
{
    return QStringLiteral(":/orvane/%1.svg").arg(id);
}

} // namespace

QIcon Icon(int id, QSize size)
{
    return SvgIcon(ImagePath(id), size);
}

QSize ImageSize(int id)
{
    std::shared_ptr<QSvgRenderer> renderer = Renderer(ImagePath(id));
    return renderer ? renderer->defaultSize() : QSize();
}

QPixmap Image(int id, QSize size, qreal devicePixelRatio)
{
    const QIcon icon = Icon(id, size);
    if (icon.isNull())
        return {};
    if (devicePixelRatio <= 0)
        devicePixelRatio = qApp ? qApp->devicePixelRatio() : 1.0;
    return icon.pixmap(IconSize(icon), devicePixelRatio);
}

QIcon TreeIcon(int index)
{
    return SvgIcon(QStringLiteral(":/orvane/%1_%2.svg").arg(IDB_TREE_STRIP).arg(index), {});
}

QIcon ToolBarIcon(int commandId)
{
    return SvgIcon(QStringLiteral(":/orvane/%1_%2.svg").arg(IDR_TOOLBAR).arg(commandId), {});
}

QIcon ProgramIcon()
{
    return Icon(IDR_MAINFRAME);
}

QSize IconSize(const QIcon &icon)
{
    return icon.isNull() ? QSize() : icon.availableSizes().value(0);
}

QIcon FilteredIcon(const QIcon &source, std::function<QRgb(QRgb)> filter)
{
    if (source.isNull() || !filter)
        return {};
    return QIcon(new FilteredEngine(source, std::move(filter)));
}

} // namespace Resources
