#include "history/HistoryReader.h"

#include <QFileInfo>

#include <algorithm>

#include <sqlite3.h>

bool HistoryReader::Open(const QString &path, QString *error)
{
    m_path = path;
    bool empty = false;
    if (!QFileInfo(path).isFile() && !QFileInfo(path).isSymLink()) {
        *error = QStringLiteral("%1: no such history").arg(path);
        return false;
    }
    return m_db.Open(path, SQLITE_OPEN_READONLY, error) &&
        HistoryFile::CheckContents(m_db, path, false, &empty, error);
}

bool HistoryReader::Span(int64_t *firstUs, int64_t *lastUs, QString *error)
{
    SqliteStatement first(m_db, "SELECT time_us FROM changes ORDER BY time_us LIMIT 1");
    SqliteStatement last(m_db, "SELECT time_us FROM changes ORDER BY time_us DESC LIMIT 1");
    if (!first.isValid() || !last.isValid()) {
        *error = QStringLiteral("%1: %2").arg(m_path, m_db.ErrorText());
        return false;
    }
    *firstUs = first.Step() ? first.Column(0) : 0;
    *lastUs = last.Step() ? last.Column(0) : -1;
    return true;
}

int64_t HistoryReader::PollIntervalUs(int64_t sinceUs, int64_t untilUs)
{
    constexpr int64_t kAgentIntervalUs = 10'000;
    SqliteStatement query(m_db,
                          "SELECT DISTINCT time_us FROM changes WHERE time_us >= ?1 AND "
                          "time_us <= ?2 ORDER BY time_us LIMIT 2000");
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
        "SELECT p.id, p.card, p.direction = 'out', p.point, "
        "(SELECT value FROM changes WHERE point_id = p.id AND time_us < ?1 "
        "ORDER BY time_us DESC LIMIT 1), "
        "EXISTS (SELECT 1 FROM changes WHERE point_id = p.id AND time_us >= ?1 AND "
        "time_us <= ?2) FROM points AS p ORDER BY p.card, p.direction, p.point");
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

bool HistoryReader::Read(int64_t sinceUs, int64_t untilUs, std::vector<HistoryPoint> *points,
                         const std::function<bool(const HistoryRecord &)> &each, QString *error)
{
    points->clear();
    // One snapshot for the points and the records, whatever the agent commits meanwhile.
    if (!m_db.Exec("BEGIN", error))
        return false;
    bool ok = Points(sinceUs, untilUs, points);
    std::vector<int64_t> indexOf;
    for (size_t i = 0; i < points->size(); ++i) {
        const int64_t id = (*points)[i].id;
        if (id >= 0 && id < (int64_t(1) << 20)) {
            if (size_t(id) >= indexOf.size())
                indexOf.resize(size_t(id) + 1, -1);
            indexOf[size_t(id)] = int64_t(i);
        }
    }
    SqliteStatement records(m_db,
                            "SELECT time_us, point_id, value FROM changes "
                            "WHERE time_us >= ?1 AND time_us <= ?2 ORDER BY time_us");
    records.Bind(1, sinceUs);
    records.Bind(2, untilUs);
    bool done = false, stopped = false;
    while (ok && !stopped && records.Step(&done)) {
        const int64_t id = records.Column(1);
        if (id >= 0 && size_t(id) < indexOf.size() && indexOf[size_t(id)] >= 0)
            stopped =
                !each({records.Column(0), uint32_t(indexOf[size_t(id)]), records.Column(2) != 0});
    }
    ok = ok && (done || stopped);
    if (!ok)
        *error = QStringLiteral("%1: %2").arg(m_path, m_db.ErrorText());
    m_db.Exec("COMMIT");
    return ok;
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
