#pragma once

#include <QString>
#include <QVariant>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace orvelle::devserver {

// A thin owner of one SQLite connection. Errors are reported through the
// return values and lastError(); nothing throws.
class SqlDatabase
{
public:
    SqlDatabase() = default;
    ~SqlDatabase();
    SqlDatabase(const SqlDatabase &) = delete;
    SqlDatabase &operator=(const SqlDatabase &) = delete;

    bool open(const QString &path);
    bool exec(const QString &sql);
    QString lastError() const;
    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
    QString m_error;
};

// One prepared statement. Values bind by position (1-based); a null
// QVariant binds SQL NULL.
class SqlStatement
{
public:
    SqlStatement(SqlDatabase &db, const QString &sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    SqlStatement &bind(int index, const QVariant &value);
    // Binds all values in order, starting at 1.
    SqlStatement &bindAll(const QVariantList &values);
    // True while a row is available; false at the end or on error (see ok()).
    bool next();
    // Runs a statement that returns no rows; true when it succeeded.
    bool run();
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

    std::optional<QString> text(int column) const;
    QString textOr(int column, const QString &fallback = {}) const;
    qint64 integer(int column) const;

private:
    void fail();

    SqlDatabase &m_db;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_ok = true;
    QString m_error;
};

// BEGIN IMMEDIATE on construction; rolls back unless commit() succeeded,
// so an early return never leaves half a record behind.
class SqlTransaction
{
public:
    explicit SqlTransaction(SqlDatabase &db);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    bool started() const { return m_started; }
    bool commit();

private:
    SqlDatabase &m_db;
    bool m_started = false;
    bool m_done = false;
};

} // namespace orvelle::devserver
