#include "StoreMigrations.h"

#include "core/Logging.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <initializer_list>
#include <iterator>

namespace orvelle::storemigrations {

namespace {
// migrations[n] brings a file of version n to n + 1, in one transaction with
// its version number, so a kill leaves one version or the next. Steps are
// only ever added, never changed: files of every earlier version exist on
// devices. Photos live in the outbox and drafts as JSON: a handful per row,
// read whole.
const std::initializer_list<const char *> migrations[] = {
    // 1: drafts, the outbox, uploads and kept answers.
    {
        "CREATE TABLE drafts (account TEXT NOT NULL, key TEXT NOT NULL, payload TEXT NOT NULL,"
        " photos TEXT NOT NULL, saved_at INTEGER NOT NULL, PRIMARY KEY (account, key))",
        "CREATE TABLE outbox (id INTEGER PRIMARY KEY AUTOINCREMENT, account TEXT NOT NULL,"
        " kind TEXT NOT NULL CHECK (kind IN ('sheet', 'hazard')), title TEXT NOT NULL,"
        " payload TEXT NOT NULL, photos TEXT NOT NULL, created_at INTEGER NOT NULL,"
        " state TEXT NOT NULL CHECK (state IN"
        " ('waiting', 'sending', 'failed', 'maybeDelivered', 'sent')), reason TEXT NOT NULL)",
        "CREATE INDEX outbox_account ON outbox (account, state)",
        // One row per answered upload, written the moment the file store answers.
        "CREATE TABLE uploads (entry INTEGER NOT NULL REFERENCES outbox (id) ON DELETE CASCADE,"
        " photo TEXT NOT NULL, address TEXT NOT NULL, PRIMARY KEY (entry, photo))",
        "CREATE TABLE cache (account TEXT NOT NULL, key TEXT NOT NULL, payload TEXT NOT NULL,"
        " loaded_at INTEGER NOT NULL, PRIMARY KEY (account, key))",
    },
    // 2: when the record of an entry last went, in the service's time (0: never).
    {
        "ALTER TABLE outbox ADD COLUMN attempted_at INTEGER NOT NULL DEFAULT 0",
    },
    // 3: the draft an entry was filed from, so "编辑" can make it one again.
    {
        "ALTER TABLE outbox ADD COLUMN draft_key TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE outbox ADD COLUMN draft TEXT NOT NULL DEFAULT ''",
    },
    // 4: rows belong to the account's store key, not to its display name,
    // which namesakes share. A name does not tell the key: its rows wait
    // under "name:" until an account of that name signs in and takes them.
    {
        "UPDATE drafts SET account = CASE account WHEN '游客模式' THEN 'guest'"
        " ELSE 'name:' || account END",
        "UPDATE outbox SET account = CASE account WHEN '游客模式' THEN 'guest'"
        " ELSE 'name:' || account END",
        "UPDATE cache SET account = CASE account WHEN '游客模式' THEN 'guest'"
        " ELSE 'name:' || account END",
    },
};

constexpr int latestVersion = int(std::size(migrations));

// One step; the driver's words when it failed (and was rolled back).
std::optional<QString> step(QSqlDatabase &db, int from)
{
    if (!db.transaction())
        return db.lastError().text();
    QSqlQuery query(db);
    const auto run = [&query](const QString &sql) { return query.exec(sql); };
    bool ok = true;
    for (const char *statement : migrations[from])
        ok = ok && run(QString::fromUtf8(statement));
    ok = ok && run(QStringLiteral("PRAGMA user_version=%1").arg(from + 1));
    QString error = ok ? QString() : query.lastError().text();
    if (ok && db.commit())
        return std::nullopt;
    if (ok)
        error = db.lastError().text();
    db.rollback();
    return error;
}
} // namespace

std::optional<QString> bringForward(QSqlDatabase &db, const QString &file)
{
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
        return version.lastError().text();
    const int found = version.value(0).toInt();
    version.finish();
    if (found > latestVersion)
        return QStringLiteral("%1 was written by a newer client").arg(file);
    for (int from = found; from < latestVersion; ++from) {
        if (const auto error = step(db, from))
            return QStringLiteral("Version %1 could not be brought to %2: %3")
                .arg(from)
                .arg(from + 1)
                .arg(*error);
        qCDebug(lcStore) << "store now at version" << from + 1;
    }
    return std::nullopt;
}

} // namespace orvelle::storemigrations
