#include "history/HistoryWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int64_t kRetainSlice = 50'000; // rows a retention step looks at, at most

QString SystemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

bool HistoryWriter::Open(const QString &path, QString *error)
{
    Close();
    m_path = path;
    const QString lock = path + QStringLiteral(".lock");
    m_lockFd =
        open(QFile::encodeName(lock).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (m_lockFd < 0) {
        *error = SystemError(QStringLiteral("cannot open the lock %1").arg(lock));
        return false;
    }
    if (flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        *error = errno == EWOULDBLOCK
            ? QStringLiteral("another orvane-agent writes %1 (it holds %2)").arg(path, lock)
            : SystemError(QStringLiteral("cannot lock %1").arg(lock));
        Close();
        return false;
    }
    bool empty = false;
    if (!HistoryFile::CheckOwnFile(path, error) ||
        !m_db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error) ||
        !HistoryFile::CheckContents(m_db, path, true, &empty, error)) {
        Close();
        return false;
    }
    // Readers need the WAL files to stay when the writer closes: a reader in the group may
    // not create them in the state folder.
    int persist = 1;
    sqlite3_file_control(m_db.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    if (!m_db.Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;", error) ||
        (empty && !HistoryFile::CreateSchema(m_db, error))) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        Close();
        return false;
    }
    return true;
}

void HistoryWriter::Close()
{
    m_db.Close();
    m_pointIds.clear();
    if (m_lockFd >= 0)
        close(m_lockFd); // releases the lock; the lock file stays for the next writer
    m_lockFd = -1;
}

QHash<uint64_t, bool> HistoryWriter::LastValues()
{
    QHash<uint64_t, bool> values;
    SqliteStatement query(m_db,
                          "SELECT p.card, p.direction = 'out', p.point, "
                          "(SELECT value FROM changes WHERE point_id = p.id "
                          "ORDER BY time_us DESC LIMIT 1) FROM points AS p");
    while (query.Step())
        values.insert(HistoryPointKey(int32_t(query.Column(0)), PointDir(query.Column(1)),
                                      int(query.Column(2))),
                      query.Column(3) != 0);
    return values;
}

int64_t HistoryWriter::LastTimeUs()
{
    return m_db.Integer("SELECT max(time_us) FROM changes", 0);
}

int64_t HistoryWriter::PointId(const HistoryChange &change)
{
    const uint64_t key = HistoryPointKey(change.card, change.dir, change.point);
    if (const auto it = m_pointIds.constFind(key); it != m_pointIds.constEnd())
        return *it;
    SqliteStatement insert(m_db,
                           "INSERT OR IGNORE INTO points(card, direction, point) "
                           "VALUES(?1, iif(?2, 'out', 'in'), ?3)");
    insert.Bind(1, change.card);
    insert.Bind(2, int(change.dir));
    insert.Bind(3, change.point);
    bool done = false;
    insert.Step(&done);
    SqliteStatement find(m_db,
                         "SELECT id FROM points WHERE card = ?1 AND "
                         "direction = iif(?2, 'out', 'in') AND point = ?3");
    find.Bind(1, change.card);
    find.Bind(2, int(change.dir));
    find.Bind(3, change.point);
    if (!done || !find.Step())
        return -1;
    return m_pointIds[key] = find.Column(0);
}

bool HistoryWriter::Failed(const QString &what, QString *error)
{
    const int code = m_db.errorCode() & 0xFF;
    m_diskFull = code == SQLITE_FULL || code == SQLITE_IOERR;
    *error = QStringLiteral("%1 %2: %3").arg(what, m_path, m_db.ErrorText());
    if (!sqlite3_get_autocommit(m_db.handle()))
        m_db.Exec("ROLLBACK");
    // Ids handed out in the rolled-back transaction are gone with it.
    m_pointIds.clear();
    return false;
}

bool HistoryWriter::Append(const std::vector<HistoryChange> &changes, QString *error)
{
    m_diskFull = false;
    if (changes.empty())
        return true;
    if (!m_db.Exec("BEGIN IMMEDIATE"))
        return Failed(QStringLiteral("cannot write to"), error);
    SqliteStatement insert(m_db,
                           "INSERT OR REPLACE INTO changes(time_us, point_id, value) "
                           "VALUES(?1, ?2, ?3)");
    for (const HistoryChange &change : changes) {
        const int64_t id = PointId(change);
        insert.Bind(1, change.timeUs);
        insert.Bind(2, id);
        insert.Bind(3, change.value ? 1 : 0);
        bool done = false;
        insert.Step(&done);
        insert.Reset();
        if (id < 0 || !done)
            return Failed(QStringLiteral("cannot write to"), error);
    }
    if (!m_db.Exec("COMMIT"))
        return Failed(QStringLiteral("cannot commit to"), error);
    return true;
}

int64_t HistoryWriter::BytesInUse()
{
    return (m_db.Integer("PRAGMA page_count", 0) - m_db.Integer("PRAGMA freelist_count", 0)) *
        m_db.Integer("PRAGMA page_size", 0);
}

int64_t HistoryWriter::Retain(int64_t cutoffUs, int64_t maxBytes, QString *error)
{
    // The time of the slice's end: no more than kRetainSlice rows are looked at in one step.
    SqliteStatement slice(m_db, "SELECT time_us FROM changes ORDER BY time_us LIMIT 1 OFFSET ?1");
    slice.Bind(1, kRetainSlice);
    const int64_t sliceEnd = slice.Step() ? slice.Column(0) : LastTimeUs() + 1;
    int64_t before = cutoffUs;
    if (maxBytes > 0 && BytesInUse() > maxBytes)
        before = sliceEnd;
    before = std::min(before, sliceEnd);
    if (!m_db.Exec("BEGIN IMMEDIATE"))
        return Failed(QStringLiteral("cannot trim"), error), -1;
    // A row goes when a newer row of its point is still before the new start.
    SqliteStatement trim(m_db,
                         "DELETE FROM changes WHERE time_us < ?1 AND EXISTS (SELECT 1 FROM "
                         "changes AS n WHERE n.point_id = changes.point_id AND n.time_us > "
                         "changes.time_us AND n.time_us < ?1)");
    trim.Bind(1, before);
    bool done = false;
    trim.Step(&done);
    const int64_t removed = sqlite3_changes64(m_db.handle());
    if (!done || !m_db.Exec("COMMIT"))
        return Failed(QStringLiteral("cannot trim"), error), -1;
    return removed;
}
