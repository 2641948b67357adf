#pragma once
// The one writer of a history database. Before it opens or creates anything it checks the
// path (HistoryFile::CheckTarget: no link of another user on the way, no link as the last part,
// a regular file of this user that is not read-only). It then holds an flock on the database
// file itself, so the one-writer rule holds for the file whatever name or link leads to it
// (a file with a second name, a hard link, is refused: each name would have its own WAL), and
// refuses a file that is not an intact history of ours without writing to it. A file whose last
// writer did not close it (writer.closed_us NULL, or a database older than that mark) gets a
// full quick_check before anything is written; a clean one none.
//
// Changes are written in one transaction per batch (WAL, synchronous FULL) through statements
// prepared once, so a crash keeps every batch that was committed and the file stays intact. A
// change never replaces another: a second row for the same time and point fails the batch.
// Another process holding the write lock answers at once (busy()), and LockHolder() names it.
// After a commit the WAL is checkpointed (passive) once it holds more than its limit, and
// truncated when it has grown past it; a reader of another program that keeps it from being
// checkpointed is said once by TakeWalNotice(). A database deleted or replaced while open is
// found at the next batch (gone()): nothing more is written into the old file.
//
// Used from one thread. QtCore only (and SQLite).

#include "history/HistoryFile.h"

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

class HistoryWriter
{
public:
    enum class Failure { None, Busy, DiskFull, Damaged, Gone, Other };

    HistoryWriter();
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter &) = delete;
    HistoryWriter &operator=(const HistoryWriter &) = delete;

    // Checks the path, takes the lock, opens (or creates) the database, checks it when it was
    // not closed cleanly and moves it to the newest schema; false with `error` set.
    bool Open(const QString &path, QString *error);
    // Marks the file closed cleanly (unless it was found damaged), closes it, drops the lock.
    void Close();
    bool isOpen() const { return m_db.isOpen(); }
    QString path() const { return m_path; }

    // The newest recorded value of each point (by HistoryPointKey), and the newest time.
    QHash<uint64_t, bool> LastValues();
    int64_t LastTimeUs();

    // Writes the changes in one transaction. On failure nothing of them is kept, `error` says
    // why and failure() tells what failed: Busy (another process holds the write lock; keep
    // the batch and try again), DiskFull (or the database's quota), Damaged, Gone (the file
    // was deleted or replaced), Other (a change with the time and point of a recorded one, say).
    bool Append(const std::vector<HistoryChange> &changes, QString *error);
    Failure failure() const { return m_failure; }
    bool diskFull() const { return m_failure == Failure::DiskFull; }
    bool busy() const { return m_failure == Failure::Busy; }
    bool gone() const { return m_failure == Failure::Gone; }

    // Records an event (a clock moved, a watchdog tripped): one row of `events`.
    bool AppendEvent(int64_t timeUs, const QString &kind, const QString &text, QString *error);

    // Moves the changes stamped more than 60 s after `nowUs` to moved_changes (kept, readable)
    // and records the move as an event, in one transaction. Answers how many (-1 on failure);
    // `newestUs` gets the newest time moved.
    int64_t MoveFutureRows(int64_t nowUs, int64_t *newestUs, QString *error);

    // Removes a bounded slice (at most 50,000 rows) of the oldest changes: those before
    // `cutoffUs`, and, while SizeBytes() is over `maxBytes`, the oldest share of the recorded
    // time that brings the pages in use down to the low-water mark (LowWaterBytes()). Each
    // point's newest change before the new start stays, so its value there stays known; newer
    // changes are never removed for the size. Cheap when nothing is due, so it may be called
    // after every batch. Answers the rows removed (-1 on failure); call again while it removes.
    int64_t Retain(int64_t cutoffUs, int64_t maxBytes, QString *error);
    // Bytes of the pages in use (page count less the free pages).
    int64_t BytesInUse();
    // The size the limit is held to: the pages in use and the WAL file. Cheap.
    int64_t SizeBytes();
    // The low-water mark of a trim for the size: 90 % of `maxBytes` less the WAL's limit.
    static int64_t LowWaterBytes(int64_t maxBytes);
    // The WAL's limit for a database limit of `maxBytes`: 1/16 of it, from 64 KiB to 64 MiB.
    static int64_t WalLimitBytes(int64_t maxBytes);

    // Checkpoints the WAL into the database and truncates it, when no reader is in the way.
    bool Checkpoint();
    // Once, when a reader of another program has kept the WAL from being checkpointed while it
    // grew past its limit: a line that names the WAL, its size and who holds it; once more when
    // the WAL is checkpointed again. Empty otherwise.
    QString TakeWalNotice();
    // Who holds the database's write lock, after busy(): "process 1234 (sqlite3)", best effort
    // (from /proc/locks); empty when unknown.
    QString LockHolder() const;

private:
    struct Statements;

    bool OpenFile(const QString &path, QString *error);
    bool OpenDatabase(QString *error);
    bool Prepare(QString *error);
    bool StillOurs(QString *error);
    int64_t PointId(const HistoryChange &change);
    bool Failed(const QString &what, QString *error);
    int64_t TimeAt(int64_t row);
    int64_t TrimBefore(int64_t beforeUs, QString *error);
    void UseWalLimit(int64_t bytes);
    void AfterCommit();
    int64_t WalBytes() const;

    QString m_path;
    QByteArray m_file; // the path with its links resolved
    int m_fd = -1; // the database file, flocked while open
    SqliteDb m_db;
    std::unique_ptr<Statements> m_statements;
    QHash<uint64_t, int64_t> m_pointIds;
    Failure m_failure = Failure::None;
    bool m_damaged = false; // met a damaged page: the file is not marked closed cleanly
    bool m_trimming = false; // over the size limit, until the low-water mark is reached
    int m_walFrames = 0; // frames in the WAL after the last commit
    int64_t m_walLimit = 0;
    bool m_walStuck = false; // a checkpoint could not finish while the WAL was past its limit
    bool m_walReported = false;
    QString m_walNotice;
};
