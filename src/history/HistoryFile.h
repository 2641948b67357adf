#pragma once
// The history database: an SQLite file (WAL mode) that orvane-agent writes and qrxio history,
// the Change Log and any SQLite tool read. The schema (also in man/orvane-agent.1):
//
//   points(id INTEGER PRIMARY KEY, card INTEGER, direction TEXT 'in'|'out', point INTEGER)
//   changes(time_us INTEGER, point_id INTEGER, value INTEGER 0|1,
//           PRIMARY KEY(time_us, point_id)) WITHOUT ROWID
//   index changes_by_point(point_id, time_us)
//   view history(time_us, time_utc, card, direction, point, value)
//
// time_us is microseconds since 1970-01-01 UTC. A point's first row is its value when it was
// first read; each later row is a change. PRAGMA application_id marks the file as ours.
// QtCore only (and the SQLite library).

#include "device/LiveBits.h"
#include "history/Sqlite.h"

#include <QString>

#include <cstdint>

// One recorded value of one point.
struct HistoryChange
{
    int64_t timeUs = 0; // microseconds since 1970-01-01 UTC
    int32_t card = 0;
    PointDir dir = PointDir::In;
    uint8_t point = 0;
    bool value = false;

    bool operator==(const HistoryChange &) const = default;
};

// A point's key for hashing: card, direction and point in one number.
constexpr uint64_t HistoryPointKey(int32_t card, PointDir dir, int point)
{
    return uint64_t(uint32_t(card)) << 8 | uint64_t(dir) << 7 | uint64_t(point & 0x7F);
}

namespace HistoryFile {

inline constexpr int32_t kApplicationId = 0x4F52564E; // "ORVN"
inline constexpr int32_t kSchemaVersion = 1;

// The default database: $STATE_DIRECTORY/history.db under systemd (StateDirectory=), else
// $XDG_STATE_HOME/orvane/history.db (~/.local/state/orvane/history.db).
QString DefaultPath();

// Refuses a path that exists but is not a regular file of this process's user (a link, a
// folder, a device, someone else's file); true when it may be opened.
bool CheckOwnFile(const QString &path, QString *error);

// After opening: the file is an intact history of ours (or empty, for `mayBeEmpty`). Reads
// only; a file that is not SQLite, another program's database or a damaged one is refused.
bool CheckContents(SqliteDb &db, const QString &path, bool mayBeEmpty, bool *empty, QString *error);

// Creates the tables, index and view of a new history, and marks it as ours.
bool CreateSchema(SqliteDb &db, QString *error);

} // namespace HistoryFile
