#include "history/Sqlite.h"

#include <QFile>

#include <sqlite3.h>

bool SqliteDb::Open(const QString &path, int flags, QString *error)
{
    Close();
    const int status = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                       flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (status == SQLITE_OK) {
        sqlite3_extended_result_codes(m_db, 1);
        // Readers and the writer wait for each other's short locks instead of failing.
        sqlite3_busy_timeout(m_db, 5000);
        return true;
    }
    if (error)
        *error = m_db ? ErrorText() : QString::fromUtf8(sqlite3_errstr(status));
    Close();
    return false;
}

void SqliteDb::Close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool SqliteDb::Exec(const char *sql, QString *error)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    if (error)
        *error = ErrorText();
    return false;
}

int64_t SqliteDb::Integer(const char *sql, int64_t fallback)
{
    SqliteStatement query(*this, sql);
    return query.Step() ? query.Column(0) : fallback;
}

QString SqliteDb::ErrorText() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

int SqliteDb::errorCode() const
{
    return m_db ? sqlite3_extended_errcode(m_db) : SQLITE_MISUSE;
}

void SqliteDb::SetBusyTimeout(int ms)
{
    sqlite3_busy_timeout(m_db, ms);
}

int64_t SqliteDb::Changes() const
{
    return sqlite3_changes64(m_db);
}

SqliteStatement::SqliteStatement(const SqliteDb &db, const char *sql)
{
    if (sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) !=
        SQLITE_OK)
        m_stmt = nullptr;
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

void SqliteStatement::Bind(int index, int64_t value)
{
    sqlite3_bind_int64(m_stmt, index, value);
}

void SqliteStatement::Bind(int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

bool SqliteStatement::Step(bool *done)
{
    const int status = m_stmt ? sqlite3_step(m_stmt) : SQLITE_MISUSE;
    if (done)
        *done = status == SQLITE_DONE;
    return status == SQLITE_ROW;
}

int64_t SqliteStatement::Column(int index) const
{
    return sqlite3_column_int64(m_stmt, index);
}

QByteArray SqliteStatement::Text(int index) const
{
    return QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, index)));
}

bool SqliteStatement::IsNull(int index) const
{
    return sqlite3_column_type(m_stmt, index) == SQLITE_NULL;
}

void SqliteStatement::Reset()
{
    sqlite3_reset(m_stmt);
}
