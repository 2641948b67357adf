#include "history/HistoryWriter.h"

#include "history/ChangeFormat.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr int64_t kRetainSlice = 50'000; // rows a retention step removes, at most
constexpr int64_t kRowBytes = 40; // what a change takes, about, in the table and its index
constexpr int64_t kAheadUs = 60'000'000; // a time further ahead of the clock is moved aside
constexpr int kOpenBusyMs = 5000; // at the start another writer may still be finishing
constexpr int kBusyMs = 50; // afterwards a busy database is answered at once
constexpr int kWalWriteLock = 120, kWalReadMarks = 123; // lock bytes of the -shm file

QString SystemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
}

QString Utc(int64_t us)
{
    return UtcText(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), us);
}

int64_t NowUs()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000;
}

bool Run(SqliteStatement &statement)
{
    bool done = false;
    statement.Step(&done);
    statement.Reset();
    return done;
}

// The processes other than this one that hold a lock of `type` ("POSIX", "FLOCK") and `mode`
// ("READ", "WRITE") on the file `st` describes, covering a byte of [from, to] (any byte for
// from < 0), as /proc/locks says.
QStringList LockOwners(const struct stat &st, const char *type, const char *mode, int64_t from,
                       int64_t to)
{
    QFile locks(QStringLiteral("/proc/locks"));
    QStringList owners;
    if (!locks.open(QIODevice::ReadOnly))
        return owners;
    const QByteArray file = QByteArray::number(major(st.st_dev), 16).rightJustified(2, '0') + ':' +
        QByteArray::number(minor(st.st_dev), 16).rightJustified(2, '0') + ':' +
        QByteArray::number(quint64(st.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 8 || f[1] != type || f[3] != mode ||
            f[5] != file) // a waiter's line has "->" in f[1]
            continue;
        const int64_t end = f[7] == "EOF" ? INT64_MAX : f[7].toLongLong();
        const int64_t pid = f[4].toLongLong();
        if ((from >= 0 && (end < from || f[6].toLongLong() > to)) || pid <= 0 || pid == getpid())
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        const QByteArray name = comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : "";
        const QString owner = name.isEmpty()
            ? QStringLiteral("process %1").arg(pid)
            : QStringLiteral("process %1 (%2)").arg(pid).arg(QString::fromLocal8Bit(name));
        if (!owners.contains(owner))
            owners << owner;
    }
    return owners;
}

QString Immutable(const QString &path, int flags)
{
    return QStringLiteral("%1 is %2 (chattr +%3); the history cannot be written to it")
        .arg(path,
             flags & FS_IMMUTABLE_FL ? QStringLiteral("immutable") : QStringLiteral("append-only"),
             flags & FS_IMMUTABLE_FL ? QStringLiteral("i") : QStringLiteral("a"));
}

// Why the database file cannot be opened for writing, naming an immutable or append-only file.
QString OpenError(const QString &path, const QByteArray &file)
{
    const QString why = SystemError(QStringLiteral("cannot open %1").arg(path));
    const int fd = open(file.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    const bool fixed = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
        (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
    if (fd >= 0)
        close(fd);
    return fixed ? Immutable(path, flags) : why;
}

} // namespace

// The statements of every batch, prepared once.
struct HistoryWriter::Statements
{
    explicit Statements(const SqliteDb &db)
        : begin(db, "BEGIN IMMEDIATE")
        , commit(db, "COMMIT")
        , insert(db, "INSERT INTO changes(time_us, point_id, value) VALUES(?1, ?2, ?3)")
        , addPoint(db,
                   "INSERT OR IGNORE INTO points(card, direction, point) "
                   "VALUES(?1, iif(?2, 'out', 'in'), ?3)")
        , findPoint(db,
                    "SELECT id FROM points WHERE card = ?1 AND "
                    "direction = iif(?2, 'out', 'in') AND point = ?3")
        , event(db, "INSERT INTO events(time_us, kind, text) VALUES(?1, ?2, ?3)")
    {
    }
    bool isValid() const
    {
        return begin.isValid() && commit.isValid() && insert.isValid() && addPoint.isValid() &&
            findPoint.isValid() && event.isValid();
    }

    SqliteStatement begin, commit, insert, addPoint, findPoint, event;
};

HistoryWriter::HistoryWriter() = default;

HistoryWriter::~HistoryWriter()
{
    Close();
}

bool HistoryWriter::Open(const QString &path, QString *error)
{
    Close();
    m_path = path;
    if (OpenFile(path, error) && OpenDatabase(error) && Prepare(error))
        return true;
    Close();
    return false;
}

// Checks the path and opens the file itself, creating it only once the path is accepted, and
// takes the writer's lock on it.
bool HistoryWriter::OpenFile(const QString &path, QString *error)
{
    QString real;
    if (!HistoryFile::CheckTarget(path, true, &real, error))
        return false;
    m_file = QFile::encodeName(real);
    for (const char *side : {"-wal", "-shm"}) {
        struct stat st;
        const QByteArray name = m_file + side;
        if (lstat(name.constData(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_uid != geteuid())) {
            *error = QStringLiteral("%1 is not a regular file of this user; the history is left "
                                    "as it is")
                         .arg(QFile::decodeName(name));
            return false;
        }
    }
    bool created = false;
    m_fd = open(m_file.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0 && errno == ENOENT) {
        m_fd = open(m_file.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        created = m_fd >= 0;
    }
    if (m_fd < 0) {
        *error = OpenError(path, m_file);
        return false;
    }
    struct stat st;
    int flags = 0;
    if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        *error = QStringLiteral("%1 is not a regular file").arg(path);
    else if (ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0 &&
             (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)))
        *error = Immutable(path, flags);
    else if (flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        *error = errno == EWOULDBLOCK
            ? QStringLiteral("another orvane-agent writes %1 (%2)")
                  .arg(path, LockOwners(st, "FLOCK", "WRITE", -1, -1).join(QStringLiteral(", ")))
            : SystemError(QStringLiteral("cannot lock %1").arg(path));
    else if (st.st_nlink != 1)
        *error = QStringLiteral("%1 has %2 names (hard links); a history is written through one "
                                "name only, as each name has a WAL of its own")
                     .arg(path)
                     .arg(st.st_nlink);
    else
        return true;
    if (created)
        unlink(m_file.constData());
    return false;
}

bool HistoryWriter::OpenDatabase(QString *error)
{
    struct stat opened, named;
    bool empty = false;
    if (!m_db.Open(QFile::decodeName(m_file), SQLITE_OPEN_READWRITE, error)) {
        *error = QStringLiteral("%1: %2").arg(m_path, *error);
        return false;
    }
    if (fstat(m_fd, &opened) != 0 || stat(m_file.constData(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        *error = QStringLiteral("%1 was replaced while it was opened").arg(m_path);
        return false;
    }
    m_db.SetBusyTimeout(kOpenBusyMs);
    if (!HistoryFile::CheckContents(m_db, m_path, true, &empty, error))
        return false;
    // The full check only where it can find something: a file its last writer did not close.
    const bool clean = HistoryFile::HasTable(m_db, "writer") &&
        m_db.Integer("SELECT closed_us IS NOT NULL FROM writer", 0) == 1;
    if (!empty && !clean && !HistoryFile::QuickCheck(m_db, m_path, error))
        return false;
    // Readers need the WAL files to stay when the writer closes: a reader in the group may
    // not create them in the state folder.
    int persist = 1;
    sqlite3_file_control(m_db.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    UseWalLimit(WalLimitBytes(INT64_MAX));
    if (!m_db.Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;", error) ||
        !HistoryFile::Upgrade(m_db, HistoryFile::kSchemaVersion, error)) {
        *error = QStringLiteral("%1: %2").arg(m_path, *error);
        return false;
    }
    return true;
}

// Prepares the statements of every batch, takes over the checkpoints and marks the file open.
bool HistoryWriter::Prepare(QString *error)
{
    auto statements = std::make_unique<Statements>(m_db);
    SqliteStatement mark(m_db, "UPDATE writer SET opened_us = ?1, closed_us = NULL, pid = ?2");
    mark.Bind(1, NowUs());
    mark.Bind(2, getpid());
    if (!statements->isValid() || !Run(mark)) {
        *error = QStringLiteral("%1: %2").arg(m_path, m_db.ErrorText());
        return false;
    }
    sqlite3_wal_hook(
        m_db.handle(),
        [](void *frames, sqlite3 *, const char *, int count) {
            *static_cast<int *>(frames) = count;
            return SQLITE_OK;
        },
        &m_walFrames);
    m_db.SetBusyTimeout(kBusyMs);
    m_statements = std::move(statements);
    return true;
}

void HistoryWriter::Close()
{
    if (m_statements && !m_damaged && m_failure != Failure::Gone) {
        m_db.SetBusyTimeout(kOpenBusyMs);
        SqliteStatement mark(m_db, "UPDATE writer SET closed_us = ?1");
        mark.Bind(1, NowUs());
        mark.Step();
    }
    m_statements.reset();
    m_db.Close();
    m_pointIds.clear();
    if (m_fd >= 0)
        close(m_fd); // after the database: this also ends the locks SQLite holds on the file
    m_fd = -1;
    m_failure = Failure::None;
    m_damaged = m_trimming = m_walStuck = m_walReported = false;
    m_walFrames = 0;
    m_walLimit = 0;
    m_walNotice.clear();
}

QHash<uint64_t, bool> HistoryWriter::LastValues()
{
    QHash<uint64_t, bool> values;
    SqliteStatement query(m_db,
                          "SELECT p.card, p.direction = 'out', p.point, "
                          "(SELECT value FROM changes WHERE point_id = p.id "
                          "ORDER BY time_us DESC LIMIT 1) FROM points AS p");
    while (query.Step())
        if (!query.IsNull(3))
            values.insert(HistoryPointKey(int32_t(query.Column(0)), PointDir(query.Column(1)),
                                          int(query.Column(2))),
                          query.Column(3) != 0);
    return values;
}

int64_t HistoryWriter::LastTimeUs()
{
    return m_db.Integer("SELECT time_us FROM changes ORDER BY time_us DESC LIMIT 1", 0);
}

int64_t HistoryWriter::PointId(const HistoryChange &change)
{
    const uint64_t key = HistoryPointKey(change.card, change.dir, change.point);
    if (const auto it = m_pointIds.constFind(key); it != m_pointIds.constEnd())
        return *it;
    Statements &s = *m_statements;
    for (SqliteStatement *q : {&s.addPoint, &s.findPoint}) {
        q->Bind(1, change.card);
        q->Bind(2, int(change.dir));
        q->Bind(3, change.point);
    }
    const bool found = Run(s.addPoint) && s.findPoint.Step();
    const int64_t id = found ? s.findPoint.Column(0) : -1;
    s.findPoint.Reset();
    if (id >= 0)
        m_pointIds.insert(key, id);
    return id;
}

bool HistoryWriter::Failed(const QString &what, QString *error)
{
    const int code = m_db.errorCode() & 0xFF;
    m_failure = code == SQLITE_BUSY || code == SQLITE_LOCKED ? Failure::Busy
        : code == SQLITE_FULL || code == SQLITE_IOERR        ? Failure::DiskFull
        : code == SQLITE_CORRUPT || code == SQLITE_NOTADB    ? Failure::Damaged
                                                             : Failure::Other;
    m_damaged = m_damaged || m_failure == Failure::Damaged;
    *error = QStringLiteral("%1 %2: %3").arg(what, m_path, m_db.ErrorText());
    if (m_failure == Failure::Busy && !LockHolder().isEmpty())
        *error += QStringLiteral(" (the write lock is held by %1)").arg(LockHolder());
    if (m_failure == Failure::Damaged)
        *error += QStringLiteral("; the file is damaged, and the next start checks it");
    if (!sqlite3_get_autocommit(m_db.handle()))
        m_db.Exec("ROLLBACK");
    // Ids handed out in the rolled-back transaction are gone with it.
    m_pointIds.clear();
    return false;
}

// The file at the path is still the one open: not deleted, not replaced.
bool HistoryWriter::StillOurs(QString *error)
{
    struct stat opened, named;
    if (fstat(m_fd, &opened) == 0 && opened.st_nlink > 0 && stat(m_file.constData(), &named) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        return true;
    m_failure = Failure::Gone;
    *error = QStringLiteral("%1 was deleted or replaced while it was open; nothing more is "
                            "written into the old file")
                 .arg(m_path);
    return false;
}

bool HistoryWriter::Append(const std::vector<HistoryChange> &changes, QString *error)
{
    m_failure = Failure::None;
    if (changes.empty())
        return true;
    if (!StillOurs(error))
        return false;
    Statements &s = *m_statements;
    if (!Run(s.begin))
        return Failed(QStringLiteral("cannot write to"), error);
    for (const HistoryChange &change : changes) {
        const int64_t id = PointId(change);
        s.insert.Bind(1, change.timeUs);
        s.insert.Bind(2, id);
        s.insert.Bind(3, change.value ? 1 : 0);
        if (id < 0 || !Run(s.insert))
            return Failed(QStringLiteral("cannot record the change of card %1 %2 %3 at %4 in")
                              .arg(change.card)
                              .arg(change.dir == PointDir::In ? "in" : "out")
                              .arg(change.point)
                              .arg(Utc(change.timeUs)),
                          error);
    }
    if (!Run(s.commit))
        return Failed(QStringLiteral("cannot commit to"), error);
    AfterCommit();
    return true;
}

bool HistoryWriter::AppendEvent(int64_t timeUs, const QString &kind, const QString &text,
                                QString *error)
{
    m_failure = Failure::None;
    if (!StillOurs(error))
        return false;
    SqliteStatement &event = m_statements->event;
    event.Bind(1, timeUs);
    event.Bind(2, kind);
    event.Bind(3, text);
    if (!Run(event))
        return Failed(QStringLiteral("cannot record an event in"), error);
    if (sqlite3_get_autocommit(m_db.handle()))
        AfterCommit();
    return true;
}

int64_t HistoryWriter::MoveFutureRows(int64_t nowUs, int64_t *newestUs, QString *error)
{
    m_failure = Failure::None;
    const int64_t after = nowUs > INT64_MAX - kAheadUs ? INT64_MAX : nowUs + kAheadUs;
    *newestUs = LastTimeUs();
    if (*newestUs <= after)
        return 0;
    SqliteStatement first(m_db, "SELECT min(time_us) FROM changes WHERE time_us > ?1");
    first.Bind(1, after);
    const int64_t firstUs = first.Step() ? first.Column(0) : *newestUs;
    first.Reset();
    SqliteStatement move(m_db,
                         "INSERT INTO moved_changes(time_us, point_id, value, moved_us) "
                         "SELECT time_us, point_id, value, ?2 FROM changes WHERE time_us > ?1");
    SqliteStatement drop(m_db, "DELETE FROM changes WHERE time_us > ?1");
    move.Bind(1, after);
    move.Bind(2, nowUs);
    drop.Bind(1, after);
    if (!Run(m_statements->begin) || !Run(move))
        return Failed(QStringLiteral("cannot move changes aside in"), error), -1;
    const int64_t moved = m_db.Changes();
    const QString text = QStringLiteral("%1 changes stamped from %2 to %3, more than a minute "
                                        "after the clock (%4), were moved to moved_changes")
                             .arg(moved)
                             .arg(Utc(firstUs), Utc(*newestUs), Utc(nowUs));
    QString why;
    if (!Run(drop) || !AppendEvent(nowUs, QStringLiteral("clock"), text, &why) ||
        !Run(m_statements->commit))
        return Failed(QStringLiteral("cannot move changes aside in"), error), -1;
    AfterCommit();
    return moved;
}

int64_t HistoryWriter::BytesInUse()
{
    return (m_db.Integer("PRAGMA page_count", 0) - m_db.Integer("PRAGMA freelist_count", 0)) *
        m_db.Integer("PRAGMA page_size", 0);
}

int64_t HistoryWriter::WalBytes() const
{
    struct stat st;
    return stat((m_file + "-wal").constData(), &st) == 0 ? int64_t(st.st_size) : 0;
}

int64_t HistoryWriter::SizeBytes()
{
    return BytesInUse() + WalBytes();
}

int64_t HistoryWriter::WalLimitBytes(int64_t maxBytes)
{
    return std::clamp<int64_t>(maxBytes / 16, 64 * 1024, 16 * 1024 * 1024);
}

int64_t HistoryWriter::LowWaterBytes(int64_t maxBytes)
{
    return maxBytes / 10 * 9 - WalLimitBytes(maxBytes);
}

void HistoryWriter::UseWalLimit(int64_t bytes)
{
    if (bytes == m_walLimit)
        return;
    m_walLimit = bytes;
    const QByteArray sql = "PRAGMA journal_size_limit = " + QByteArray::number(bytes);
    m_db.Exec(sql.constData());
}

// The time of the oldest change after `row` older ones (INT64_MAX when there are no more).
int64_t HistoryWriter::TimeAt(int64_t row)
{
    SqliteStatement query(m_db, "SELECT time_us FROM changes ORDER BY time_us LIMIT 1 OFFSET ?1");
    query.Bind(1, row);
    return query.Step() ? query.Column(0) : INT64_MAX;
}

// Removes the changes before `beforeUs` but each point's newest one there.
int64_t HistoryWriter::TrimBefore(int64_t beforeUs, QString *error)
{
    SqliteStatement trim(m_db,
                         "DELETE FROM changes WHERE time_us < ?1 AND EXISTS (SELECT 1 FROM "
                         "changes AS n WHERE n.point_id = changes.point_id AND n.time_us > "
                         "changes.time_us AND n.time_us < ?1)");
    trim.Bind(1, beforeUs);
    if (!Run(m_statements->begin) || !Run(trim))
        return Failed(QStringLiteral("cannot trim"), error), -1;
    const int64_t removed = m_db.Changes();
    if (!Run(m_statements->commit))
        return Failed(QStringLiteral("cannot trim"), error), -1;
    AfterCommit();
    return removed;
}

int64_t HistoryWriter::Retain(int64_t cutoffUs, int64_t maxBytes, QString *error)
{
    m_failure = Failure::None;
    int64_t rows = 0; // the oldest rows to remove for the size
    if (maxBytes > 0) {
        UseWalLimit(WalLimitBytes(maxBytes));
        const int64_t inUse = BytesInUse(), low = LowWaterBytes(maxBytes);
        m_trimming = inUse > low && (m_trimming || inUse + WalBytes() > maxBytes);
        if (m_trimming)
            rows = std::clamp<int64_t>((inUse - low) / kRowBytes, 1, kRetainSlice);
    }
    if (rows == 0 && TimeAt(0) >= cutoffUs)
        return 0;
    const int64_t newest = LastTimeUs();
    // Rows sharing the time of the slice's end stay: when that keeps every row, look further.
    for (;; rows = std::min(rows * 2, kRetainSlice)) {
        const int64_t before = std::min({std::max(cutoffUs, rows > 0 ? TimeAt(rows) : INT64_MIN),
                                         TimeAt(kRetainSlice), newest});
        const int64_t removed = TrimBefore(before, error);
        if (removed != 0 || rows == 0 || rows >= kRetainSlice)
            return removed;
    }
}

void HistoryWriter::AfterCommit()
{
    if (int64_t(m_walFrames) * 4096 < m_walLimit / 2)
        return;
    // Passive: it copies what no reader still needs; truncating waits a moment for readers.
    const bool grown = WalBytes() > 2 * m_walLimit;
    int log = -1, copied = -1;
    const int status = sqlite3_wal_checkpoint_v2(
        m_db.handle(), nullptr, grown ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE,
        &log, &copied);
    if (status == SQLITE_OK && copied >= log) {
        if (m_walReported)
            m_walNotice = QStringLiteral("the history's WAL %1-wal is checkpointed again")
                              .arg(QFile::decodeName(m_file));
        m_walReported = m_walStuck = false;
        return;
    }
    m_walStuck = true;
    const int64_t bytes = WalBytes();
    if (m_walReported || bytes <= 4 * m_walLimit)
        return;
    m_walReported = true;
    struct stat shm;
    const QStringList readers = stat((m_file + "-shm").constData(), &shm) == 0
        ? LockOwners(shm, "POSIX", "READ", kWalReadMarks, kWalReadMarks + 4)
        : QStringList();
    m_walNotice =
        QStringLiteral("the history's WAL %1-wal has grown to %2 MB and cannot be "
                       "checkpointed: a reader of another program keeps a transaction "
                       "open on it%3; it shrinks once that reader ends it")
            .arg(QFile::decodeName(m_file))
            .arg(double(bytes) / 1e6, 0, 'f', 1)
            .arg(readers.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(readers.join(", ")));
}

bool HistoryWriter::Checkpoint()
{
    int log = -1, copied = -1;
    return sqlite3_wal_checkpoint_v2(m_db.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, &log,
                                     &copied) == SQLITE_OK &&
        copied >= log;
}

QString HistoryWriter::TakeWalNotice()
{
    return std::exchange(m_walNotice, QString());
}

QString HistoryWriter::LockHolder() const
{
    struct stat db, shm;
    QStringList holders;
    if (stat((m_file + "-shm").constData(), &shm) == 0)
        holders = LockOwners(shm, "POSIX", "WRITE", kWalWriteLock, kWalWriteLock);
    if (holders.isEmpty() && stat(m_file.constData(), &db) == 0)
        holders = LockOwners(db, "POSIX", "WRITE", -1, -1);
    return holders.join(QStringLiteral(", "));
}
