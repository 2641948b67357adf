#include "diag/TimelineStrip.h"

#include "diag/ChangeListModel.h"
#include "diag/ChangeRecorder.h"
#include "diag/TimelineRule.h"

#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

const QColor kBackground(20, 24, 28);
const QColor kGrid(60, 66, 72);
const QColor kTrace(80, 220, 100);
const QColor kText(210, 214, 218);
constexpr int kTicks = 5;

} // namespace

CTimelineStrip::CTimelineStrip(const ChangeRecorder *recorder, const ChangeListModel *model,
                               QWidget *parent)
    : QWidget(parent)
    , m_recorder(recorder)
    , m_model(model)
    , m_span(kDefaultTimelineSpan)
{
    setObjectName(QStringLiteral("Timeline"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Timeline"));
    TakeRows();
}

int CTimelineStrip::spanSeconds() const
{
    return kTimelineSpans[m_span];
}

void CTimelineStrip::ZoomIn()
{
    if (m_span > 0) {
        --m_span;
        Refresh();
        emit spanChanged(spanSeconds());
    }
}

void CTimelineStrip::ZoomOut()
{
    if (m_span + 1 < int(std::size(kTimelineSpans))) {
        ++m_span;
        Refresh();
        emit spanChanged(spanSeconds());
    }
}

void CTimelineStrip::SetPaused(bool paused)
{
    m_paused = paused;
}

void CTimelineStrip::SetRecorder(const ChangeRecorder *recorder)
{
    m_recorder = recorder;
    Refresh();
}

QSize CTimelineStrip::sizeHint() const
{
    return QSize(kLabelWidth + 400, int(m_rows.size()) * kRowHeight + kAxisHeight);
}

void CTimelineStrip::TakeRows()
{
    m_rows.clear();
    for (uint32_t point : m_recorder->ChangedPoints())
        if (m_model->Shows(point))
            m_rows.push_back(point);
    m_changedPoints = m_recorder->changedCount();
    setMinimumHeight(int(m_rows.size()) * kRowHeight + kAxisHeight);
    updateGeometry();
}

void CTimelineStrip::Refresh()
{
    TakeRows();
    m_paintedUs = m_recorder->lastPollUs();
    update();
}

void CTimelineStrip::Tick()
{
    const qint64 now = m_recorder->lastPollUs();
    if (m_paused)
        return;
    if (m_recorder->changedCount() != m_changedPoints) {
        Refresh(); // a point changed for the first time: it gets its row now
        return;
    }
    if (TimelineNeedsRepaint(m_paused, now, m_paintedUs, qint64(spanSeconds()) * 1000000,
                             TraceWidth(), m_model->newestShownUs())) {
        m_paintedUs = now;
        update();
    }
}

void CTimelineStrip::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore(); // the scroll area scrolls
        return;
    }
    if (event->angleDelta().y() > 0)
        ZoomIn();
    else if (event->angleDelta().y() < 0)
        ZoomOut();
    event->accept();
}

void CTimelineStrip::paintEvent(QPaintEvent *event)
{
    ++m_paints;
    QPainter painter(this);
    painter.fillRect(event->rect(), kBackground);

    const qint64 now = m_paintedUs;
    const qint64 span = qint64(spanSeconds()) * 1000000;
    const TimeScale scale{now - span, span, std::max(1, TraceWidth())};
    const RowChanges changes = ChangesByRow(scale, now);

    const int rowsBottom = int(m_rows.size()) * kRowHeight;
    painter.setPen(kGrid);
    for (int i = 0; i <= kTicks; ++i) {
        const int x = kLabelWidth + (scale.traceWidth - 1) * i / kTicks;
        painter.drawLine(x, 0, x, rowsBottom);
    }

    const QFontMetrics metrics(font());
    const int firstRow = std::max(0, event->rect().top() / kRowHeight);
    const int lastRow = std::min(int(m_rows.size()) - 1, event->rect().bottom() / kRowHeight);
    for (int r = firstRow; r <= lastRow; ++r)
        PaintRow(painter, metrics, r, changes, scale.traceWidth);
    PaintAxis(painter, metrics, scale.traceWidth, rowsBottom);
}

// Where each point's row is, and the changes in the span per row (with the first change after
// it, for the level at the left edge).
CTimelineStrip::RowChanges CTimelineStrip::ChangesByRow(const TimeScale &scale, qint64 now) const
{
    std::vector<int> rowOf(m_recorder->points().size(), -1);
    for (size_t r = 0; r < m_rows.size(); ++r)
        rowOf[m_rows[r]] = int(r);
    RowChanges changes{std::vector<std::vector<std::pair<int, bool>>>(m_rows.size()),
                       std::vector<int>(m_rows.size(), -1)};
    const ChangeRing &ring = m_recorder->ring();
    for (quint64 seq = ring.lowerBound(scale.from); seq < ring.endSeq(); ++seq) {
        const PointChange &c = ring.at(seq);
        const int r = c.point < rowOf.size() ? rowOf[c.point] : -1;
        if (r < 0)
            continue;
        if (changes.firstValue[size_t(r)] < 0)
            changes.firstValue[size_t(r)] = int(c.value);
        if (c.us <= now)
            changes.marks[size_t(r)].emplace_back(scale.x(c.us), c.value != 0);
    }
    return changes;
}

// One row: the point's name (or key) and its trace.
void CTimelineStrip::PaintRow(QPainter &painter, const QFontMetrics &metrics, int r,
                              const RowChanges &changes, int traceWidth) const
{
    const RecordedPoint &p = m_recorder->points()[m_rows[size_t(r)]];
    const int top = r * kRowHeight;
    const QString name = m_model->NameOf(p.card, p.dir, p.point);
    painter.setPen(kText);
    painter.drawText(QRect(4, top, kLabelWidth - 8, kRowHeight), Qt::AlignVCenter,
                     metrics.elidedText(name.isEmpty() ? PointKey(p.card, p.dir, p.point) : name,
                                        Qt::ElideRight, kLabelWidth - 8));
    const int high = top + 4;
    const int low = top + kRowHeight - 4;
    const int first = changes.firstValue[size_t(r)];
    bool level = first >= 0 ? first == 0 : p.last;
    QPolygon trace;
    trace << QPoint(kLabelWidth, level ? high : low);
    for (const auto &[x, value] : changes.marks[size_t(r)]) {
        trace << QPoint(x, level ? high : low) << QPoint(x, value ? high : low);
        level = value;
    }
    trace << QPoint(kLabelWidth + traceWidth - 1, level ? high : low);
    painter.setPen(QPen(kTrace, 1));
    painter.drawPolyline(trace);
}

// The time axis: seconds before the newest poll.
void CTimelineStrip::PaintAxis(QPainter &painter, const QFontMetrics &metrics, int traceWidth,
                               int rowsBottom) const
{
    painter.setPen(kText);
    for (int i = 0; i <= kTicks; ++i) {
        const int x = kLabelWidth + (traceWidth - 1) * i / kTicks;
        const double seconds = -double(spanSeconds()) * (kTicks - i) / kTicks;
        const QString text =
            i == kTicks ? QStringLiteral("0 s") : QStringLiteral("%1 s").arg(seconds, 0, 'g', 3);
        const int w = metrics.horizontalAdvance(text);
        painter.drawText(
            QRect(std::min(x - w / 2, width() - w - 2), rowsBottom + 2, w + 2, kAxisHeight - 2),
            Qt::AlignCenter, text);
    }
}
