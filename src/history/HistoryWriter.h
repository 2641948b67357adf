#pragma once
// The one writer of a history database. It holds a lock of its own beside the database
// ("history.db.lock", flock), so that a second writer is refused while readers still open the
// file; it opens the database without following a link and only when it is a regular file of
// this user, and refuses a file that is not an intact history of ours without writing to it.
// Changes are written in one transaction per batch (WAL, synchronous FULL), so a crash keeps
// every batch that was committed and the file stays intact. QtCore only (and SQLite).

#include "history/HistoryFile.h"

#include <QHash>
#include <QString>

#include <vector>

class HistoryWriter
{
public:
    HistoryWriter() = default;
    ~HistoryWriter() { Close(); }
    HistoryWriter(const HistoryWriter &) = delete;
    HistoryWriter &operator=(const HistoryWriter &) = delete;

    // Takes the lock, opens (or creates) the database and checks it; false with `error` set.
    bool Open(const QString &path, QString *error);
    void Close();
    bool isOpen() const { return m_db.isOpen(); }
    QString path() const { return m_path; }

    // The newest recorded value of each point (by HistoryPointKey), and the newest time.
    QHash<uint64_t, bool> LastValues();
    int64_t LastTimeUs();

    // Writes the changes in one transaction. On failure nothing of them is kept, `error` says
    // why and diskFull() tells whether the disk (or the database's quota) was full.
    bool Append(const std::vector<HistoryChange> &changes, QString *error);
    bool diskFull() const { return m_diskFull; }

    // Removes a bounded slice of the oldest changes: those before `cutoffUs`, and more while
    // the pages in use exceed `maxBytes`, keeping each point's newest change before the new
    // start, so that its value there stays known. Answers the rows removed (-1 on failure).
    int64_t Retain(int64_t cutoffUs, int64_t maxBytes, QString *error);
    // Bytes of the pages in use (page count less the free pages).
    int64_t BytesInUse();

private:
    int64_t PointId(const HistoryChange &change);
    bool Failed(const QString &what, QString *error);

    QString m_path;
    int m_lockFd = -1;
    SqliteDb m_db;
    QHash<uint64_t, int64_t> m_pointIds;
    bool m_diskFull = false;
};
