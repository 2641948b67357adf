#pragma once
// Small helpers the window tests share: counting paints, letting pending paints through,
// recording the private messages a window sends, and an icon without sizes.

#include <QIconEngine>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>

class QWidget;
class WindowMessage;

// Counts the paint events of the objects it watches, and remembers which were painted.
class PaintCounter : public QObject
{
public:
    PaintCounter() = default;
    explicit PaintCounter(QObject *watched) { watch(watched); }
    void watch(QObject *watched) { watched->installEventFilter(this); }

    int count = 0;
    QSet<QObject *> painted;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
};

// Lets the window system deliver the paints that updates asked for (it batches them), for a
// test that asserts that nothing is painted; a test that waits for a paint uses QTRY_*.
void FlushPaints();

// Stands in for the main frame: records each private message sent to it as "type(wParam)",
// or as `format` writes it, and takes it.
class MessageRecorder : public QObject
{
public:
    QStringList messages;
    std::function<QString(const WindowMessage &)> format;

protected:
    bool event(QEvent *e) override;
};

// An icon whose size cannot be read.
class SizelessEngine : public QIconEngine
{
public:
    void paint(QPainter *, const QRect &, QIcon::Mode, QIcon::State) override { }
    QIconEngine *clone() const override { return new SizelessEngine; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {}; }
    bool isNull() override { return false; }
};
