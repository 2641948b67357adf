#include "history/HistoryFile.h"

#include "config/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HistoryFile {

namespace {

// The steps of the schema: step i moves a database of user_version i to i + 1 (step 0 makes
// the first schema in an empty file).
const char *const kSteps[] = {
    R"(CREATE TABLE points(id INTEGER PRIMARY KEY, card INTEGER NOT NULL,
    direction TEXT NOT NULL CHECK(direction IN ('in', 'out')), point INTEGER NOT NULL,
    UNIQUE(card, direction, point));
CREATE TABLE changes(time_us INTEGER NOT NULL, point_id INTEGER NOT NULL REFERENCES points(id),
    value INTEGER NOT NULL CHECK(value IN (0, 1)), PRIMARY KEY(time_us, point_id)) WITHOUT ROWID;
CREATE INDEX changes_by_point ON changes(point_id, time_us);
CREATE VIEW history AS SELECT c.time_us,
    strftime('%Y-%m-%dT%H:%M:%fZ', c.time_us / 1000000.0, 'unixepoch') AS time_utc,
    p.card, p.direction, p.point, c.value FROM changes AS c JOIN points AS p ON p.id = c.point_id;
PRAGMA application_id = 1330796110;)",
    R"(CREATE TABLE events(time_us INTEGER NOT NULL, kind TEXT NOT NULL, text TEXT NOT NULL);
CREATE INDEX events_by_time ON events(time_us);)",
    R"(CREATE TABLE moved_changes(time_us INTEGER NOT NULL,
    point_id INTEGER NOT NULL REFERENCES points(id), value INTEGER NOT NULL CHECK(value IN (0, 1)),
    moved_us INTEGER NOT NULL, PRIMARY KEY(time_us, point_id, moved_us)) WITHOUT ROWID;)",
    R"(CREATE TABLE writer(opened_us INTEGER, closed_us INTEGER, pid INTEGER);
INSERT INTO writer VALUES(NULL, NULL, NULL);)",
    R"(CREATE TABLE point_names(point_id INTEGER NOT NULL REFERENCES points(id),
    since_us INTEGER NOT NULL, name TEXT NOT NULL, PRIMARY KEY(point_id, since_us)) WITHOUT ROWID;)",
};
static_assert(std::size(kSteps) == kSchemaVersion);
static_assert(kApplicationId == 1330796110);

QString KindOf(mode_t mode)
{
    return S_ISDIR(mode)                 ? QStringLiteral("a folder")
        : S_ISFIFO(mode)                 ? QStringLiteral("a FIFO")
        : S_ISCHR(mode) || S_ISBLK(mode) ? QStringLiteral("a device")
        : S_ISSOCK(mode)                 ? QStringLiteral("a socket")
                                         : QStringLiteral("not a file");
}

QString SystemError(const QString &path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
}

// What the writer needs of an existing file beyond being a regular file.
bool CheckWritable(const QString &path, const struct stat &st, QString *error)
{
    if (st.st_uid != geteuid())
        *error = QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(st.st_uid);
    else if (!(st.st_mode & 0222))
        *error = QStringLiteral("%1 is read-only (mode %2); it is left as it is")
                     .arg(path)
                     .arg(st.st_mode & 07777, 4, 8, QChar(u'0'));
    else
        return true;
    return false;
}

} // namespace

QString PathToRead(const QString &own, const QString &service)
{
    return !QFileInfo::exists(own) && QFileInfo(service).isReadable() ? service : own;
}

QString DefaultPath()
{
    const QString systemd = qEnvironmentVariable("STATE_DIRECTORY").section(u':', 0, 0);
    if (!systemd.isEmpty())
        return QDir(systemd).filePath(QStringLiteral("history.db"));
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(state).filePath(QStringLiteral("orvane/history.db"));
}

bool CheckTarget(const QString &path, bool writer, QString *real, QString *error)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    if (writer && lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("%1 is a symbolic link; the history is never opened through one")
                     .arg(path);
        return false;
    }
    QString why;
    if (!CheckPathLinks(path, &why, real)) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    if (stat(QFile::encodeName(*real).constData(), &st) != 0) {
        if (errno != ENOENT)
            *error = SystemError(path);
        else if (!writer)
            *error = QStringLiteral("%1: no such history").arg(path);
        else if (!QFileInfo(QFileInfo(*real).absolutePath()).isDir())
            *error = QStringLiteral("%1: the folder %2 does not exist")
                         .arg(path, QFileInfo(path).absolutePath());
        else
            return true;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error =
            QStringLiteral("%1 is not a regular file (it is %2)").arg(path, KindOf(st.st_mode));
        return false;
    }
    return !writer || CheckWritable(path, st, error);
}

bool CheckContents(SqliteDb &db, const QString &path, bool writer, bool *empty, QString *error)
{
    const int64_t id = db.Integer("PRAGMA application_id", INT64_MIN);
    if (id == INT64_MIN) {
        const bool notDb = (db.errorCode() & 0xFF) == SQLITE_NOTADB;
        *error = notDb
            ? QStringLiteral("%1 is not an SQLite database; it is left as it is").arg(path)
            : QStringLiteral("%1 cannot be read: %2").arg(path, db.ErrorText());
        return false;
    }
    const int64_t objects = db.Integer("SELECT count(*) FROM sqlite_schema", -1);
    *empty = id == 0 && objects == 0;
    if (*empty) {
        if (writer)
            return true;
        *error = QStringLiteral("%1 holds no history yet").arg(path);
        return false;
    }
    if (id != kApplicationId) {
        *error = QStringLiteral("%1 is a database of another program, not an Orvane history; "
                                "it is left as it is")
                     .arg(path);
        return false;
    }
    // A writer writes no newer version; a reader reads every minor step of its major.
    const int64_t version = db.Integer("PRAGMA user_version");
    const int64_t newest = writer ? kSchemaVersion : kSchemaVersion / 1000 * 1000 + 999;
    if (version > newest) {
        *error = QStringLiteral("%1 was written by a newer Orvane (schema version %2; this "
                                "program %3 versions up to %4); it is left as it is")
                     .arg(path)
                     .arg(version)
                     .arg(writer ? QStringLiteral("writes") : QStringLiteral("reads"))
                     .arg(newest);
        return false;
    }
    return true;
}

bool QuickCheck(SqliteDb &db, const QString &path, QString *error)
{
    // One problem is enough to refuse the file, and one line says it.
    SqliteStatement check(db, "PRAGMA quick_check(1)");
    QString verdict = check.Step() ? QString::fromUtf8(check.Text(0)) : db.ErrorText();
    if (verdict == QLatin1String("ok"))
        return true;
    verdict.remove(QStringLiteral("*** in database main ***")).replace(u'\n', u' ');
    *error = QStringLiteral("%1 is damaged (%2); it is left as it is")
                 .arg(path, verdict.simplified().left(200));
    return false;
}

bool Upgrade(SqliteDb &db, int64_t version, QString *error)
{
    const int64_t from = db.Integer("PRAGMA user_version", -1);
    if (from >= version || version > kSchemaVersion)
        return true;
    if (!db.Exec("BEGIN IMMEDIATE", error))
        return false;
    bool ok = from >= 0;
    for (int64_t step = from; ok && step < version; ++step)
        ok = db.Exec(kSteps[step], error);
    const QByteArray mark = QByteArray("PRAGMA user_version = ") + QByteArray::number(version);
    if (ok && db.Exec(mark.constData(), error) && db.Exec("COMMIT", error))
        return true;
    db.Exec("ROLLBACK");
    return false;
}

bool HasTable(SqliteDb &db, const char *name)
{
    SqliteStatement query(db, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1");
    query.Bind(1, QString::fromLatin1(name));
    return query.Step();
}

} // namespace HistoryFile
