#include "history/HistoryReader.h"

#include <algorithm>

#include <sqlite3.h>

namespace {

constexpr int kChunkRows = 4096; // records read in one read transaction

// The index in `points` of each point id (-1: none).
std::vector<int64_t> IndexOf(const std::vector<HistoryPoint> &points)
{
    std::vector<int64_t> indexOf;
    for (size_t i = 0; i < points.size(); ++i) {
        const int64_t id = points[i].id;
        if (id >= 0 && id < (int64_t(1) << 20)) {
            if (size_t(id) >= indexOf.size())
                indexOf.resize(size_t(id) + 1, -1);
            indexOf[size_t(id)] = int64_t(i);
        }
    }
    return indexOf;
}

} // namespace

bool HistoryReader::Open(const QString &path, QString *error)
{
    m_path = path;
    QString real;
    bool empty = false;
    if (!HistoryFile::CheckTarget(path, false, &real, error))
        return false;
    if (!m_db.Open(real, SQLITE_OPEN_READONLY, error)) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        return false;
    }
    if (!HistoryFile::CheckContents(m_db, path, false, &empty, error))
        return false;
    m_hasMoved = HistoryFile::HasTable(m_db, "moved_changes");
    return true;
}

// The statement `text` over the rows chosen: "%T" stands for their table.
QByteArray HistoryReader::Sql(const char *text) const
{
    const char *table = m_rows == HistoryRows::Recorded ? "changes"
        : m_hasMoved                                    ? "moved_changes"
                     : "(SELECT time_us, point_id, value FROM changes WHERE 0)";
    return QByteArray(text).replace("%T", table);
}

bool HistoryReader::Fail(const char *what, QString *error)
{
    const int code = m_db.errorCode() & 0xFF;
    *error = code == SQLITE_CORRUPT || code == SQLITE_NOTADB
        ? QStringLiteral("%1 is damaged (%2); %3").arg(m_path, m_db.ErrorText(), what)
        : QStringLiteral("%1: %2").arg(m_path, m_db.ErrorText());
    return false;
}

bool HistoryReader::Span(int64_t *firstUs, int64_t *lastUs, QString *error)
{
    SqliteStatement first(m_db, Sql("SELECT time_us FROM %T ORDER BY time_us LIMIT 1"));
    SqliteStatement last(m_db, Sql("SELECT time_us FROM %T ORDER BY time_us DESC LIMIT 1"));
    bool done = true, lastDone = true;
    *firstUs = first.Step(&done) ? first.Column(0) : 0;
    *lastUs = last.Step(&lastDone) ? last.Column(0) : -1;
    if (!first.isValid() || !last.isValid() || (*lastUs < 0 && !(done && lastDone)))
        return Fail("it cannot be read", error);
    return true;
}

int64_t HistoryReader::PollIntervalUs(int64_t sinceUs, int64_t untilUs)
{
    constexpr int64_t kAgentIntervalUs = 10'000;
    SqliteStatement query(m_db,
                          Sql("SELECT DISTINCT time_us FROM %T WHERE time_us >= ?1 AND "
                              "time_us <= ?2 ORDER BY time_us LIMIT 2000"));
    query.Bind(1, sinceUs);
    query.Bind(2, untilUs);
    int64_t interval = kAgentIntervalUs;
    int64_t previous = INT64_MIN;
    while (query.Step()) {
        const int64_t t = query.Column(0);
        if (previous != INT64_MIN && t > previous)
            interval = std::min(interval, t - previous);
        previous = t;
    }
    return interval;
}

bool HistoryReader::Points(int64_t sinceUs, int64_t untilUs, std::vector<HistoryPoint> *points)
{
    // Each point's newest value before the range, and whether it has a record in the range.
    SqliteStatement query(
        m_db,
        Sql("SELECT p.id, p.card, p.direction = 'out', p.point, "
            "(SELECT value FROM %T WHERE point_id = p.id AND time_us < ?1 "
            "ORDER BY time_us DESC LIMIT 1), "
            "EXISTS (SELECT 1 FROM %T WHERE point_id = p.id AND time_us >= ?1 AND "
            "time_us <= ?2) FROM points AS p ORDER BY p.card, p.direction, p.point"));
    query.Bind(1, sinceUs);
    query.Bind(2, untilUs);
    bool done = false;
    while (query.Step(&done)) {
        HistoryPoint p;
        p.id = query.Column(0);
        p.card = int32_t(query.Column(1));
        p.dir = query.Column(2) ? PointDir::Out : PointDir::In;
        p.point = int(query.Column(3));
        p.startValue = query.IsNull(4) ? -1 : int(query.Column(4));
        if (p.startValue >= 0 || query.Column(5))
            points->push_back(p);
    }
    return done;
}

// The points and the newest time, in one short snapshot; `untilUs` ends at that time.
bool HistoryReader::Begin(int64_t sinceUs, int64_t *untilUs, std::vector<HistoryPoint> *points,
                          QString *error)
{
    points->clear();
    if (!m_db.Exec("BEGIN"))
        return Fail("it cannot be read", error);
    // Each failure is taken as it happens, before the next statement answers its own status.
    QString failure;
    if (!Points(sinceUs, *untilUs, points))
        Fail("it cannot be read", &failure);
    SqliteStatement newest(m_db, Sql("SELECT time_us FROM %T ORDER BY time_us DESC LIMIT 1"));
    bool empty = false;
    const bool any = failure.isEmpty() && newest.Step(&empty);
    if (any)
        *untilUs = std::min(*untilUs, newest.Column(0));
    else if (failure.isEmpty() && !empty)
        Fail("it cannot be read", &failure);
    newest.Reset();
    m_db.Exec("COMMIT");
    if (failure.isEmpty())
        return true;
    *error = failure;
    return false;
}

bool HistoryReader::Read(int64_t sinceUs, int64_t untilUs, std::vector<HistoryPoint> *points,
                         const std::function<bool(const HistoryRecord &)> &each, QString *error)
{
    if (!Begin(sinceUs, &untilUs, points, error))
        return false;
    const std::vector<int64_t> indexOf = IndexOf(*points);
    // Chunks after the last key read; the moved rows (a few, and not unique by that key) in one.
    const bool moved = m_rows == HistoryRows::MovedAside;
    SqliteStatement records(m_db,
                            Sql("SELECT time_us, point_id, value FROM %T WHERE (time_us, "
                                "point_id) > (?1, ?2) AND time_us <= ?3 "
                                "ORDER BY time_us, point_id LIMIT ?4"));
    std::vector<HistoryRecord> chunk;
    int64_t lastTime = sinceUs, lastPoint = INT64_MIN;
    for (;;) {
        records.Bind(1, lastTime);
        records.Bind(2, lastPoint);
        records.Bind(3, untilUs);
        records.Bind(4, moved ? -1 : kChunkRows);
        chunk.clear();
        int rows = 0;
        bool done = false;
        for (; records.Step(&done); ++rows) {
            lastTime = records.Column(0);
            lastPoint = records.Column(1);
            if (lastPoint >= 0 && size_t(lastPoint) < indexOf.size() &&
                indexOf[size_t(lastPoint)] >= 0)
                chunk.push_back(
                    {lastTime, uint32_t(indexOf[size_t(lastPoint)]), records.Column(2) != 0});
        }
        // The records before a damaged page are handed on, then the reading stops.
        QString failure;
        if (!done)
            Fail("the reading stopped there", &failure);
        records.Reset(); // ends the read transaction before the chunk is handed on
        for (const HistoryRecord &r : chunk)
            if (!each(r))
                return true;
        if (!done) {
            *error = failure;
            return false;
        }
        if (moved || rows < kChunkRows)
            return true;
    }
}

bool HistoryReader::Read(int64_t sinceUs, int64_t untilUs, HistoryRange *range, QString *error)
{
    range->sinceUs = sinceUs;
    range->untilUs = untilUs;
    range->records.clear();
    return Read(
        sinceUs, untilUs, &range->points,
        [range](const HistoryRecord &r) {
            range->records.push_back(r);
            return true;
        },
        error);
}
