#include "history/HistoryFile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HistoryFile {

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

bool CheckOwnFile(const QString &path, QString *error)
{
    struct stat st;
    if (lstat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (S_ISLNK(st.st_mode))
        *error = QStringLiteral("%1 is a symbolic link; the history is never opened through one")
                     .arg(path);
    else if (!S_ISREG(st.st_mode))
        *error = QStringLiteral("%1 is not a regular file").arg(path);
    else if (st.st_uid != geteuid())
        *error = QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(st.st_uid);
    else
        return true;
    return false;
}

bool CheckContents(SqliteDb &db, const QString &path, bool mayBeEmpty, bool *empty, QString *error)
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
        if (mayBeEmpty)
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
    if (db.Integer("PRAGMA user_version") > kSchemaVersion) {
        *error = QStringLiteral("%1 was written by a newer Orvane").arg(path);
        return false;
    }
    // A damaged file is refused before anything is written to it.
    SqliteStatement check(db, "PRAGMA quick_check");
    const QByteArray verdict = check.Step() ? check.Text(0) : db.ErrorText().toUtf8();
    if (verdict != "ok") {
        *error = QStringLiteral("%1 is damaged (%2); it is left as it is")
                     .arg(path, QString::fromUtf8(verdict));
        return false;
    }
    return true;
}

bool CreateSchema(SqliteDb &db, QString *error)
{
    const QByteArray sql = QStringLiteral(R"(
BEGIN;
CREATE TABLE points(id INTEGER PRIMARY KEY, card INTEGER NOT NULL,
    direction TEXT NOT NULL CHECK(direction IN ('in', 'out')), point INTEGER NOT NULL,
    UNIQUE(card, direction, point));
CREATE TABLE changes(time_us INTEGER NOT NULL, point_id INTEGER NOT NULL REFERENCES points(id),
    value INTEGER NOT NULL CHECK(value IN (0, 1)), PRIMARY KEY(time_us, point_id)) WITHOUT ROWID;
CREATE INDEX changes_by_point ON changes(point_id, time_us);
CREATE VIEW history AS SELECT c.time_us,
    strftime('%Y-%m-%dT%H:%M:%fZ', c.time_us / 1000000.0, 'unixepoch') AS time_utc,
    p.card, p.direction, p.point, c.value FROM changes AS c JOIN points AS p ON p.id = c.point_id;
PRAGMA application_id = %1;
PRAGMA user_version = %2;
COMMIT;)")
                               .arg(kApplicationId)
                               .arg(kSchemaVersion)
                               .toUtf8();
    if (db.Exec(sql.constData(), error))
        return true;
    db.Exec("ROLLBACK");
    return false;
}

} // namespace HistoryFile
