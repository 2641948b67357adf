#pragma once
// The history database: an SQLite file (WAL mode) that orvane-agent writes and qrxio history,
// the Change Log and any SQLite tool read. The schema (also in man/orvane-agent.1):
//
//   points(id INTEGER PRIMARY KEY, card INTEGER, direction TEXT 'in'|'out', point INTEGER)
//   changes(time_us INTEGER, point_id INTEGER, value INTEGER 0|1,
//           PRIMARY KEY(time_us, point_id)) WITHOUT ROWID
//   index changes_by_point(point_id, time_us)
//   view history(time_us, time_utc, card, direction, point, value)
//   events(time_us INTEGER, kind TEXT, text TEXT), index events_by_time(time_us)   (version 2)
//   moved_changes(time_us, point_id, value, moved_us,
//           PRIMARY KEY(time_us, point_id, moved_us)) WITHOUT ROWID               (version 3)
//   writer(opened_us INTEGER, closed_us INTEGER, pid INTEGER), one row            (version 4)
//   point_names(point_id, since_us, name, PRIMARY KEY(point_id, since_us))
//           WITHOUT ROWID                                                         (version 5)
//
// time_us is microseconds since 1970-01-01 UTC. A point's first row is its value when it was
// first read; each later row is a change. A change never replaces another. moved_changes keeps
// the rows that were stamped more than a minute ahead of the clock when a writer started
// (moved_us: when they were moved); events holds what the recorder says about the record (a
// clock moved, such a move). writer.closed_us is NULL while a writer has the file open, and
// after a writer that did not close it (a crash, a SIGKILL, a power cut). point_names holds each
// point's name from the time the recorder gave it (a row when the name changed).
//
// PRAGMA application_id marks the file as ours. PRAGMA user_version is 1000 x major + minor: a
// step of the minor number only adds tables, columns or indexes, so a reader of the same major
// reads a newer minor; a new major is a change a reader of an older one cannot read. The
// writer moves an older database up the ladder of steps, all in one transaction, and writes no
// newer one. QtCore only (and the SQLite library).

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
inline constexpr int64_t kSchemaVersion = 5; // major 0, minor 5
inline constexpr int64_t kFirstVersion = 1; // the first schema, without events

// The default database: $STATE_DIRECTORY/history.db under systemd (StateDirectory=), else
// $XDG_STATE_HOME/orvane/history.db (~/.local/state/orvane/history.db).
QString DefaultPath();
// The service's database (the packaged unit's state folder).
inline constexpr char kServicePath[] = "/var/lib/orvane/history.db";
// The database a reader opens without one named: the user's own, else the service's when the
// user may read it (a member of group orvane), else the user's (to say it is missing).
QString PathToRead(const QString &own, const QString &service);

// Checks the path of a history before anything is opened or created: every link on the way
// belongs to the running user or root (CheckPathLinks), and what is there is a regular file
// (a folder, a FIFO, a device is named for what it is). For the writer the last part is no
// link, the file is this user's and has a write permission (read-only holds for root too); a
// missing file is accepted when its folder exists. For a reader a missing file is "no such
// history". `real` gets the path with its links resolved, the one to open.
bool CheckTarget(const QString &path, bool writer, QString *real, QString *error);

// After opening: the file is a history of ours (or empty, for the `writer`) of a version this
// side can use. Reads only; a file that is not SQLite or another program's database is refused.
bool CheckContents(SqliteDb &db, const QString &path, bool writer, bool *empty, QString *error);

// A full check of the file (PRAGMA quick_check), for a file that was not closed cleanly; the
// first problem found is named in `error`.
bool QuickCheck(SqliteDb &db, const QString &path, QString *error);

// Moves the database from its user_version (0: an empty file) up to `version`, every step in
// order in one transaction; nothing is changed when a step fails.
bool Upgrade(SqliteDb &db, int64_t version, QString *error);

// Whether the database has a table of that name.
bool HasTable(SqliteDb &db, const char *name);

} // namespace HistoryFile
