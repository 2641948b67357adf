#pragma once
// The change log's timeline: one row per point that changed (and passes the filter), its high
// and low levels drawn over the last seconds up to the newest poll, like a logic analyser's
// trace. Tick() after each poll decides whether it moves (TimelineRule.h); while paused, or
// while no change lies in the span, it is not drawn again.

#include <QWidget>

#include <utility>
#include <vector>

class ChangeListModel;
class ChangeRecorder;
class QFontMetrics;
class QPainter;

class CTimelineStrip : public QWidget
{
    Q_OBJECT

public:
    CTimelineStrip(const ChangeRecorder *recorder, const ChangeListModel *model,
                   QWidget *parent = nullptr);

    // After a poll: takes in new rows and repaints when the rule says so.
    void Tick();
    // Rows and picture anew, now: after a new filter, new names, a clear or a zoom.
    void Refresh();
    void SetPaused(bool paused);
    // The recording drawn (the live one or one read from a history); rows and picture anew.
    void SetRecorder(const ChangeRecorder *recorder);

    // The shown span, in seconds, and zooming between the steps of TimelineRule.h.
    int spanSeconds() const;
    void ZoomIn();
    void ZoomOut();

    // The points shown, top to bottom, and the number of times the strip was painted.
    const std::vector<uint32_t> &rows() const { return m_rows; }
    int paintCount() const { return m_paints; }
    // Left edge of the traces; the rest of the width belongs to them.
    static constexpr int kLabelWidth = 130;
    static constexpr int kRowHeight = 18;
    static constexpr int kAxisHeight = 18;

    QSize sizeHint() const override;

signals:
    void spanChanged(int seconds);

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    // Where a time falls across the trace.
    struct TimeScale
    {
        qint64 from;
        qint64 span;
        int traceWidth;
        int x(qint64 us) const { return kLabelWidth + int((us - from) * traceWidth / span); }
    };
    // Per row: the x and new value of each change in the span, and the first value after its
    // start (-1: none).
    struct RowChanges
    {
        std::vector<std::vector<std::pair<int, bool>>> marks;
        std::vector<int> firstValue;
    };

    void TakeRows();
    RowChanges ChangesByRow(const TimeScale &scale, qint64 now) const;
    void PaintRow(QPainter &painter, const QFontMetrics &metrics, int r, const RowChanges &changes,
                  int traceWidth) const;
    void PaintAxis(QPainter &painter, const QFontMetrics &metrics, int traceWidth,
                   int rowsBottom) const;
    int TraceWidth() const { return width() - kLabelWidth; }

    const ChangeRecorder *m_recorder;
    const ChangeListModel *m_model;
    std::vector<uint32_t> m_rows;
    size_t m_changedPoints = 0; // points that had changed when the rows were taken
    int m_span;
    bool m_paused = false;
    qint64 m_paintedUs = 0; // the time the picture shows as now
    int m_paints = 0;
};
