#include "Sql.h"

#include <sqlite3.h>

namespace orvelle::devserver {

SqlDatabase::~SqlDatabase()
{
    if (m_db)
        sqlite3_close(m_db);
}

bool SqlDatabase::open(const QString &path)
{
    const QByteArray name = path.toUtf8();
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(name.constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    return exec(QStringLiteral("PRAGMA foreign_keys = ON"));
}

bool SqlDatabase::exec(const QString &sql)
{
    char *message = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_exec(m_db, text.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        m_error = QString::fromUtf8(message ? message : "unknown error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

QString SqlDatabase::lastError() const
{
    return m_error;
}

SqlStatement::SqlStatement(SqlDatabase &db, const QString &sql)
    : m_db(db)
{
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db.handle(), text.constData(), int(text.size()), &m_stmt, nullptr)
        != SQLITE_OK)
        fail();
}

SqlStatement::~SqlStatement()
{
    sqlite3_finalize(m_stmt);
}

void SqlStatement::fail()
{
    m_ok = false;
    m_error = QString::fromUtf8(sqlite3_errmsg(m_db.handle()));
}

SqlStatement &SqlStatement::bind(int index, const QVariant &value)
{
    if (!m_ok)
        return *this;
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int
               || value.typeId() == QMetaType::Bool) {
        rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
    } else {
        const QByteArray text = value.toString().toUtf8();
        rc = sqlite3_bind_text(m_stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        fail();
    return *this;
}

SqlStatement &SqlStatement::bindAll(const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values.at(i));
    return *this;
}

bool SqlStatement::next()
{
    if (!m_ok)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        fail();
    return false;
}

bool SqlStatement::run()
{
    next();
    return m_ok;
}

std::optional<QString> SqlStatement::text(int column) const
{
    if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL)
        return std::nullopt;
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

QString SqlStatement::textOr(int column, const QString &fallback) const
{
    return text(column).value_or(fallback);
}

qint64 SqlStatement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

SqlTransaction::SqlTransaction(SqlDatabase &db)
    : m_db(db)
{
    m_started = m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

SqlTransaction::~SqlTransaction()
{
    if (m_started && !m_done)
        m_db.exec(QStringLiteral("ROLLBACK"));
}

bool SqlTransaction::commit()
{
    if (!m_started || m_done)
        return false;
    m_done = m_db.exec(QStringLiteral("COMMIT"));
    return m_done;
}

} // namespace orvelle::devserver
