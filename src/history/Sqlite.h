#pragma once
// Small owners of an SQLite connection and a prepared statement, so that every path closes
// what it opened. QtCore only (and the SQLite library).

#include <QByteArray>
#include <QString>

#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

class SqliteDb
{
public:
    SqliteDb() = default;
    ~SqliteDb() { Close(); }
    SqliteDb(const SqliteDb &) = delete;
    SqliteDb &operator=(const SqliteDb &) = delete;

    // Opens `path` with the SQLITE_OPEN_... `flags`, never following a symbolic link; false
    // with `error` set when it fails.
    bool Open(const QString &path, int flags, QString *error);
    void Close();
    sqlite3 *handle() const { return m_db; }
    bool isOpen() const { return m_db != nullptr; }

    // Runs statements without results; false with `error` set (when given) on failure.
    bool Exec(const char *sql, QString *error = nullptr);
    // The first column of the first row of a query, or `fallback` when there is none or the
    // query fails.
    int64_t Integer(const char *sql, int64_t fallback = -1);
    // The last error of the connection, as text.
    QString ErrorText() const;
    int errorCode() const;
    // How long a statement waits for another connection's lock before it fails with SQLITE_BUSY.
    void SetBusyTimeout(int ms);
    // Rows changed by the last statement.
    int64_t Changes() const;

private:
    sqlite3 *m_db = nullptr;
};

class SqliteStatement
{
public:
    SqliteStatement(const SqliteDb &db, const char *sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    void Bind(int index, int64_t value);
    void Bind(int index, const QString &text);
    // Steps once: true while there is a row; `done` (when given) tells a finished statement
    // from a failed one.
    bool Step(bool *done = nullptr);
    int64_t Column(int index) const;
    QByteArray Text(int index) const;
    bool IsNull(int index) const;
    void Reset();

private:
    sqlite3_stmt *m_stmt = nullptr;
};
