#pragma once
// Reads a time range of a history database: opened read-only (never created; through links of
// the running user or root only), while the agent writes it or while it is stopped. The points
// come with their value at the start of the range, so that an export or a timeline starts from
// the right levels. The records are read in chunks keyed by (time_us, point_id), each in a
// short read transaction that ends before the chunk is handed on, so a reader whose output
// waits (a paused pipe, a slow window) never keeps the writer's WAL from being checkpointed.
// A damaged page met on the way ends the reading with a message saying so.
// QtCore only (and SQLite): the Change Log and qrxio history both read through it.

#include "history/HistoryFile.h"

#include <QString>

#include <functional>
#include <vector>

// A point of a range: its value at the range's start (-1 when it had none yet).
struct HistoryPoint
{
    int64_t id = 0; // the database's point id
    int32_t card = 0;
    PointDir dir = PointDir::In;
    int point = 0;
    int startValue = -1;
};

// A recorded value within a range; `point` indexes the range's points.
struct HistoryRecord
{
    int64_t timeUs = 0;
    uint32_t point = 0;
    bool value = false;
};

// A whole range in memory, for a window.
struct HistoryRange
{
    int64_t sinceUs = 0;
    int64_t untilUs = 0;
    std::vector<HistoryPoint> points; // ordered by card, direction, point
    std::vector<HistoryRecord> records; // in time order
};

// Which rows a reader reads: the recorded changes, or those moved aside at a writer's start
// because they were stamped more than a minute ahead of the clock (moved_changes).
enum class HistoryRows { Recorded, MovedAside };

class HistoryReader
{
public:
    // Opens the database read-only; false with `error` set when it is missing, not a file, not
    // a history of ours or of a newer major version.
    bool Open(const QString &path, QString *error);
    // The rows every later call reads (the recorded changes, unless chosen otherwise).
    void SelectRows(HistoryRows rows) { m_rows = rows; }

    // The time of the first and the newest record (0 and -1 without records).
    bool Span(int64_t *firstUs, int64_t *lastUs, QString *error);

    // The interval the range was polled at, as far as its times tell: the smallest gap between
    // successive times among its first records, and at most the agent's default interval
    // (the interval itself is not stored).
    int64_t PollIntervalUs(int64_t sinceUs, int64_t untilUs);

    // Reads the points and then each record of [sinceUs, untilUs]: `points` gets every point
    // with a value at `sinceUs` or a record in the range, `each` is called for every record in
    // time order and stops the reading by answering false. Records committed after the reading
    // began (later than the newest time then) are not read.
    bool Read(int64_t sinceUs, int64_t untilUs, std::vector<HistoryPoint> *points,
              const std::function<bool(const HistoryRecord &)> &each, QString *error);
    // The same, kept in memory.
    bool Read(int64_t sinceUs, int64_t untilUs, HistoryRange *range, QString *error);

private:
    bool Points(int64_t sinceUs, int64_t untilUs, std::vector<HistoryPoint> *points);
    bool Begin(int64_t sinceUs, int64_t *untilUs, std::vector<HistoryPoint> *points,
               QString *error);
    QByteArray Sql(const char *text) const;
    bool Fail(const char *what, QString *error);

    QString m_path;
    SqliteDb m_db;
    HistoryRows m_rows = HistoryRows::Recorded;
    bool m_hasMoved = false;
};
