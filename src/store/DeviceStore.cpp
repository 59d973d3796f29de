#include "DeviceStore.h"
#include "PhotoFiles.h"
#include "StoreMigrations.h"
#include "core/BackgroundTask.h"
#include "core/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sqlite3.h>

namespace orvelle {

namespace {
const QString stateNames[] = {QStringLiteral("waiting"), QStringLiteral("sending"),
                              QStringLiteral("failed"), QStringLiteral("maybeDelivered"),
                              QStringLiteral("sent")};

QString nameOf(OutboxState state)
{
    return stateNames[int(state)];
}

OutboxState stateOf(const QString &name)
{
    const auto found = std::find(std::begin(stateNames), std::end(stateNames), name);
    return found == std::end(stateNames) ? OutboxState::Waiting
                                         : OutboxState(found - std::begin(stateNames));
}

QString textOf(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject objectOf(const QVariant &text)
{
    return QJsonDocument::fromJson(text.toString().toUtf8()).object();
}

QString textOf(const PhotoGroups &photos)
{
    QJsonObject object;
    for (auto group = photos.begin(); group != photos.end(); ++group)
        object.insert(group.key(), QJsonArray::fromStringList(group.value()));
    return textOf(object);
}

PhotoGroups groupsOf(const QVariant &text)
{
    PhotoGroups photos;
    const QJsonObject object = objectOf(text);
    for (auto group = object.begin(); group != object.end(); ++group)
        for (const QJsonValue &hash : group.value().toArray())
            photos[group.key()] << hash.toString();
    return photos;
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QDateTime timeOf(const QVariant &msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs.toLongLong(), Qt::UTC);
}

std::optional<int> userVersion(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return std::nullopt;
    return query.value(0).toInt();
}

// A connection of its own for `work`, removed again afterwards.
template <typename Work>
auto withConnection(const QString &name, const QString &database, const QString &options, Work work)
{
    std::optional<int> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(database);
        db.setConnectOptions(options);
        if (db.open())
            result = work(db);
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

// The version this client writes: the one a new store is brought to.
int knownVersion()
{
    static const int known =
        withConnection(QStringLiteral("orvelle.store.known"), QStringLiteral(":memory:"), {},
                       [](QSqlDatabase &db) {
                           return storemigrations::bringForward(db, {}) ? std::nullopt
                                                                        : userVersion(db);
                       })
            .value_or(INT_MAX); // unknown: bringForward refuses a newer file itself
    return known;
}

// The version of the store in `file`, read without writing to any of its
// files: with no journal waiting the file alone is the store and is read as
// immutable (no lock, no -wal or -shm made). None when there is no file or
// it cannot be read.
std::optional<int> versionOnDisk(const QString &file)
{
    if (!QFileInfo::exists(file))
        return std::nullopt;
    const bool journal = QFileInfo(file + QStringLiteral("-wal")).size() > 0;
    const QString uri = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)
                        + (journal ? QStringLiteral("?mode=ro") : QStringLiteral("?immutable=1"));
    return withConnection(QStringLiteral("orvelle.store.version"), uri,
                          QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"), userVersion);
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    return handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3 *const *>(handle.constData())
               : nullptr;
}

bool noSpace(int systemError)
{
    return systemError == ENOSPC || systemError == EDQUOT;
}
} // namespace

// A prepared statement whose failure lands in the store's errorString().
class DeviceStore::Query
{
public:
    Query(DeviceStore &store, const QString &sql)
        : m_store(store)
        , m_query(QSqlDatabase::database(store.m_connection, false))
    {
        m_prepared = store.isOpen() ? m_query.prepare(sql) || store.fail(m_query.lastError())
                                    : store.fail(QStringLiteral("The store is not open"));
    }
    Query &bind(const QVariant &value)
    {
        // Every text column is NOT NULL: a null QString means an empty text.
        const bool nullText = value.typeId() == QMetaType::QString && value.toString().isNull();
        m_query.addBindValue(nullText ? QVariant(QLatin1String("")) : value);
        return *this;
    }
    bool exec() { return m_prepared && (m_query.exec() || m_store.fail(m_query.lastError())); }
    bool next() { return m_query.next(); }
    QVariant value(int column) const { return m_query.value(column); }
    QSqlQuery &raw() { return m_query; }

private:
    DeviceStore &m_store;
    QSqlQuery m_query;
    bool m_prepared = false;
};

DeviceStore::DeviceStore(QObject *parent)
    : QObject(parent)
{}

DeviceStore::~DeviceStore()
{
    close();
}

bool DeviceStore::fail(const QString &error, Failure kind)
{
    m_error = error;
    m_failure = kind;
    qCDebug(lcStore) << "store:" << error;
    return false;
}

bool DeviceStore::fail(const QSqlError &error)
{
    // Read at once: the connection's codes are those of its last call. A
    // write that found no room is SQLITE_FULL; the index file that could not
    // grow, or a file that could not be made, is an I/O error with ENOSPC.
    sqlite3 *handle = handleOf(QSqlDatabase::database(m_connection, false));
    const int code = handle ? sqlite3_extended_errcode(handle) : error.nativeErrorCode().toInt();
    const int systemError = handle ? sqlite3_system_errno(handle) : 0;
    switch (code & 0xff) {
    case SQLITE_FULL:
        return fail(error.text(), Failure::NoSpace);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        return fail(error.text(), noSpace(systemError) ? Failure::NoSpace : Failure::Other);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return fail(error.text(), Failure::Damaged);
    default:
        return fail(error.text());
    }
}

QString DeviceStore::databaseFile() const
{
    return m_folder + QStringLiteral("/device.sqlite");
}

QString DeviceStore::photoFile(const QString &hash) const
{
    return m_folder + QStringLiteral("/photos/") + photofiles::fileName(hash);
}

bool DeviceStore::open(const QString &folder)
{
    close();
    m_damaged = false;
    m_folder = QDir(folder).absolutePath();
    const QString file = databaseFile();
    if (const auto version = versionOnDisk(file); version && *version > knownVersion())
        return fail(
            QStringLiteral("%1 was written by a newer client (version %2)").arg(file).arg(*version),
            Failure::NewerClient);
    const QString photos = m_folder + QStringLiteral("/photos");
    if (const int error = photofiles::makeFolder(photos))
        return fail(QStringLiteral("Cannot create the folder %1: %2")
                        .arg(photos, QString::fromLocal8Bit(std::strerror(error))),
                    noSpace(error) ? Failure::NoSpace : Failure::Other);
    // An existing folder may have been made with a looser umask: tighten it again.
    if (!photofiles::ownerOnly(m_folder, true) || !photofiles::ownerOnly(photos, true))
        return fail(QStringLiteral("Cannot make %1 private").arg(m_folder));

    static std::atomic<int> serial;
    m_connection = QStringLiteral("orvelle.store.%1").arg(++serial);
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection).setDatabaseName(file);
    if (openDatabase(file))
        return true;
    const QString error = m_error;
    close();
    m_error = error;
    m_damaged = m_failure == Failure::Damaged;
    return false;
}

bool DeviceStore::openDatabase(const QString &file)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.open())
        return fail(db.lastError());
    // SQLite gives the -wal and -shm files the database file's mode, so this goes first.
    const auto tighten = [&] {
        for (const char *extra : {"", "-wal", "-shm"})
            if (QFileInfo::exists(file + QLatin1String(extra))
                && !photofiles::ownerOnly(file + QLatin1String(extra), false))
                return fail(QStringLiteral("Cannot make %1 private").arg(file));
        return true;
    };
    // A file that is not a database, or a damaged one, fails here rather than mid-sheet.
    const auto pragma = [&](const QString &sql, const QString &expected,
                            Failure kind = Failure::Other) {
        Query query(*this, QStringLiteral("PRAGMA ") + sql);
        if (!query.exec())
            return false;
        const QString answer = query.next() ? query.value(0).toString() : QString();
        return answer == expected
               || fail(QStringLiteral("%1: %2 gave '%3'").arg(file, sql, answer), kind);
    };
    if (!tighten() || !pragma(QStringLiteral("journal_mode=WAL"), QStringLiteral("wal"))
        || !pragma(QStringLiteral("quick_check"), QStringLiteral("ok"), Failure::Damaged))
        return false;
    for (const char *setting : {"PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"})
        if (!Query(*this, QLatin1String(setting)).exec())
            return false;
    // The file read soundly, so a step that failed could not write: it is never
    // damage. Only the driver's words come back from it.
    if (const auto problem = storemigrations::bringForward(db, file))
        return fail(*problem, problem->contains(QLatin1String(sqlite3_errstr(SQLITE_FULL)))
                                  ? Failure::NoSpace
                                  : Failure::Other);
    return tighten();
}

void DeviceStore::close()
{
    if (m_connection.isEmpty())
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_fresh.clear();
    m_storedAt.clear();
}

void DeviceStore::storePhotos(const QList<QByteArray> &jpegs, QObject *context, PhotosDone done)
{
    QPointer<QObject> guard(context);
    if (!isOpen()) {
        const auto refuse = [guard, done] {
            if (guard)
                done({}, QStringLiteral("The store is not open"));
        };
        QMetaObject::invokeMethod(this, refuse, Qt::QueuedConnection);
        return;
    }
    ++m_writing;
    runInBackground(
        *QThreadPool::globalInstance(), this,
        [folder = m_folder + QStringLiteral("/photos"), jpegs] {
            return photofiles::write(folder, jpegs);
        },
        [this, guard, done](const photofiles::Written &written) {
            --m_writing;
            for (const QString &hash : written.hashes) {
                m_fresh.insert(hash);
                m_storedAt.insert(hash, QDateTime::currentDateTimeUtc());
            }
            if (!written.error.isEmpty())
                fail(written.error);
            if (guard)
                done(written.hashes, written.error);
        });
}

void DeviceStore::verifyPhotos(const QStringList &hashes, std::function<void(bool intact)> done)
{
    QStringList files;
    for (const QString &hash : hashes)
        files.append(photoFile(hash));
    runInBackground(
        *QThreadPool::globalInstance(), this,
        [hashes, files] {
            for (qsizetype i = 0; i < hashes.size(); ++i)
                if (!photofiles::isHash(hashes[i]) || !photofiles::intact(files[i], hashes[i]))
                    return false;
            return true;
        },
        std::move(done));
}

int DeviceStore::collectPhotos()
{
    // A file still being written has no row yet; try again later.
    if (m_writing > 0)
        return 0;
    QSet<QString> keep = m_fresh;
    for (const char *sql : {"SELECT photos FROM drafts", "SELECT photos FROM outbox"}) {
        Query rows(*this, QLatin1String(sql));
        if (!rows.exec())
            return -1;
        while (rows.next())
            for (const QStringList &group : groupsOf(rows.value(0)))
                keep.unite(QSet<QString>(group.begin(), group.end()));
    }
    return photofiles::removeExcept(m_folder + QStringLiteral("/photos"), keep);
}

bool DeviceStore::inTransaction(const std::function<bool()> &work)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!isOpen() || !db.transaction())
        return isOpen() ? fail(db.lastError()) : fail(QStringLiteral("The store is not open"));
    if (work() && (db.commit() || fail(db.lastError())))
        return true;
    db.rollback();
    return false;
}

bool DeviceStore::photosPresent(const PhotoGroups &photos)
{
    for (const QStringList &group : photos)
        for (const QString &hash : group)
            if (!photofiles::isHash(hash) || !QFileInfo::exists(photoFile(hash)))
                return fail(QStringLiteral("Photo %1 is not stored").arg(hash));
    return true;
}

bool DeviceStore::saveDraft(const Draft &draft)
{
    const std::optional<Draft> before = loadDraft(draft.account, draft.key);
    if (!photosPresent(draft.photos)
        || !Query(*this, QStringLiteral("INSERT OR REPLACE INTO drafts"
                                        " (account, key, payload, photos, saved_at)"
                                        " VALUES (?, ?, ?, ?, ?)"))
                .bind(draft.account)
                .bind(draft.key)
                .bind(textOf(draft.payload))
                .bind(textOf(draft.photos))
                .bind(now())
                .exec())
        return false;
    // A photo taken off the form goes with the last row that named it.
    if (before)
        releasePhotos(before->photos, before->savedAt);
    return true;
}

std::optional<Draft> DeviceStore::loadDraft(const QString &account, const QString &key)
{
    // Read on every save of a form, so only its own row.
    QList<Draft> found = draftRows(account, key);
    return found.isEmpty() ? std::nullopt : std::optional<Draft>(found.takeFirst());
}

QList<Draft> DeviceStore::drafts(const QString &account)
{
    return draftRows(account, std::nullopt);
}

QList<Draft> DeviceStore::draftRows(const QString &account, const std::optional<QString> &key)
{
    QList<Draft> result;
    Query rows(*this, QStringLiteral("SELECT key, payload, photos, saved_at FROM drafts"
                                     " WHERE account = ?")
                          + (key ? QStringLiteral(" AND key = ?") : QString())
                          + QStringLiteral(" ORDER BY saved_at DESC"));
    rows.bind(account);
    if (key)
        rows.bind(*key);
    if (rows.exec())
        while (rows.next())
            result.append({account, rows.value(0).toString(), objectOf(rows.value(1)),
                           groupsOf(rows.value(2)), timeOf(rows.value(3))});
    return result;
}

bool DeviceStore::removeDraft(const QString &account, const QString &key)
{
    const std::optional<Draft> before = loadDraft(account, key);
    if (!removeDraftRow(account, key))
        return false;
    if (before)
        releasePhotos(before->photos, before->savedAt);
    return true;
}

bool DeviceStore::removeDraftRow(const QString &account, const QString &key)
{
    return Query(*this, QStringLiteral("DELETE FROM drafts WHERE account = ? AND key = ?"))
        .bind(account)
        .bind(key)
        .exec();
}

std::optional<OutboxEntry> DeviceStore::enqueue(const QString &account, const QString &draftKey,
                                                const QString &kind, const QString &title,
                                                const QJsonObject &payload)
{
    std::optional<OutboxEntry> made;
    const bool ok = inTransaction([&] {
        // The draft's photos are copied from its row, so they are exactly those saved.
        Query copy(*this,
                   QStringLiteral("INSERT INTO outbox (account, kind, title, payload, photos,"
                                  " created_at, state, reason, draft_key, draft)"
                                  " SELECT account, ?, ?, ?, photos, ?, 'waiting', '', key,"
                                  " payload FROM drafts WHERE account = ? AND key = ?"));
        if (!copy.bind(kind)
                 .bind(title)
                 .bind(textOf(payload))
                 .bind(now())
                 .bind(account)
                 .bind(draftKey)
                 .exec())
            return false;
        if (copy.raw().numRowsAffected() != 1)
            return fail(QStringLiteral("No draft %1 to send").arg(draftKey));
        const QList<OutboxEntry> rows =
            entriesWhere(QStringLiteral("id"), copy.raw().lastInsertId());
        if (rows.size() != 1)
            return fail(QStringLiteral("The entry of draft %1 cannot be read").arg(draftKey));
        made = rows.first();
        return removeDraftRow(account, draftKey);
    });
    return ok ? made : std::nullopt;
}

QList<OutboxEntry> DeviceStore::outbox(const QString &account)
{
    return entriesWhere(QStringLiteral("account"), account);
}

QList<OutboxEntry> DeviceStore::entriesWhere(const QString &column, const QVariant &value)
{
    QList<OutboxEntry> result;
    QHash<qint64, qsizetype> index;
    Query rows(*this, QStringLiteral("SELECT id, account, kind, title, payload, photos, created_at,"
                                     " state, reason, attempted_at, draft_key FROM outbox"
                                     " WHERE %1 = ? ORDER BY id")
                          .arg(column));
    if (!rows.bind(value).exec())
        return result;
    while (rows.next()) {
        index.insert(rows.value(0).toLongLong(), result.size());
        result.append({rows.value(0).toLongLong(),
                       rows.value(1).toString(),
                       rows.value(2).toString(),
                       rows.value(3).toString(),
                       objectOf(rows.value(4)),
                       groupsOf(rows.value(5)),
                       timeOf(rows.value(6)),
                       stateOf(rows.value(7).toString()),
                       rows.value(8).toString(),
                       {},
                       rows.value(9).toLongLong() ? timeOf(rows.value(9)) : QDateTime(),
                       rows.value(10).toString()});
    }
    Query uploads(*this, QStringLiteral("SELECT entry, photo, address FROM uploads JOIN outbox"
                                        " ON outbox.id = uploads.entry WHERE outbox.%1 = ?")
                             .arg(column));
    if (uploads.bind(value).exec())
        while (uploads.next())
            result[index.value(uploads.value(0).toLongLong())].uploaded.insert(
                uploads.value(1).toString(), uploads.value(2).toString());
    return result;
}

int DeviceStore::undeliveredCount(const std::optional<QString> &account)
{
    Query count(*this, QStringLiteral("SELECT count(*) FROM outbox WHERE state != ?")
                           + (account ? QStringLiteral(" AND account = ?") : QString()));
    count.bind(nameOf(OutboxState::Sent));
    if (account)
        count.bind(*account);
    return count.exec() && count.next() ? count.value(0).toInt() : 0;
}

bool DeviceStore::setState(qint64 id, OutboxState state, const QString &reason,
                           const QDateTime &attemptedAt)
{
    Query update(*this, QStringLiteral("UPDATE outbox SET state = ?, reason = ?,"
                                       " attempted_at = coalesce(nullif(?, 0), attempted_at)"
                                       " WHERE id = ?"));
    const qint64 attempted = attemptedAt.isValid() ? attemptedAt.toMSecsSinceEpoch() : 0;
    if (!update.bind(nameOf(state)).bind(reason).bind(attempted).bind(id).exec())
        return false;
    return update.raw().numRowsAffected() == 1
           || fail(QStringLiteral("No outbox entry %1").arg(id));
}

bool DeviceStore::recordUpload(qint64 id, const QString &hash, const QString &address)
{
    return Query(*this, QStringLiteral("INSERT OR REPLACE INTO uploads (entry, photo, address)"
                                       " VALUES (?, ?, ?)"))
        .bind(id)
        .bind(hash)
        .bind(address)
        .exec();
}

bool DeviceStore::removeEntry(qint64 id, bool andPhotos)
{
    std::optional<std::pair<PhotoGroups, QDateTime>> photos;
    if (andPhotos) {
        Query row(*this, QStringLiteral("SELECT photos, created_at FROM outbox WHERE id = ?"));
        if (row.bind(id).exec() && row.next())
            photos.emplace(groupsOf(row.value(0)), timeOf(row.value(1)));
    }
    if (!Query(*this, QStringLiteral("DELETE FROM outbox WHERE id = ?")).bind(id).exec())
        return false;
    if (photos)
        releasePhotos(photos->first, photos->second);
    return true;
}

void DeviceStore::releasePhotos(const PhotoGroups &photos, const QDateTime &since)
{
    // A write on its way may be finding one of them already there: the
    // collection at the next start takes what is left.
    if (m_writing > 0)
        return;
    QSet<QString> named;
    for (const QStringList &group : photos)
        for (const QString &hash : group)
            if (m_storedAt.value(hash, since) <= since)
                named.insert(hash);
    for (const char *sql : {"SELECT photos FROM drafts", "SELECT photos FROM outbox"}) {
        Query rows(*this, QLatin1String(sql));
        if (!rows.exec())
            return; // left for the next collection
        while (rows.next())
            for (const QStringList &group : groupsOf(rows.value(0)))
                for (const QString &hash : group)
                    named.remove(hash);
    }
    for (const QString &hash : std::as_const(named)) {
        if (photofiles::isHash(hash) && QFile::remove(photoFile(hash)))
            m_fresh.remove(hash);
    }
}

QString DeviceStore::moveAside()
{
    const QString file = databaseFile();
    if (isOpen() || !m_damaged || !QFileInfo::exists(file))
        return {};
    // Its rows name the photos: they go with it, or a new store would
    // collect every one of them as named by no row of its own.
    const QString aside =
        m_folder + QStringLiteral("/device-unreadable-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QString photos = m_folder + QStringLiteral("/photos");
    const bool hasPhotos = QFileInfo::exists(photos);
    QDir dir;
    if (!dir.mkdir(aside) || !photofiles::ownerOnly(aside, true)
        || (hasPhotos && !dir.rename(photos, aside + QStringLiteral("/photos")))) {
        dir.rmdir(aside);
        fail(QStringLiteral("Cannot move %1 aside").arg(photos));
        return {};
    }
    const QString moved = aside + QStringLiteral("/device.sqlite");
    if (!dir.rename(file, moved)) {
        if (hasPhotos)
            dir.rename(aside + QStringLiteral("/photos"), photos);
        dir.rmdir(aside);
        fail(QStringLiteral("Cannot move %1 aside").arg(file));
        return {};
    }
    // The journal goes with it: it may hold the last commits.
    for (const char *extra : {"-wal", "-shm"})
        dir.rename(file + QLatin1String(extra), moved + QLatin1String(extra));
    // On disk before a new store is made beside it.
    photofiles::syncFolder(aside);
    photofiles::syncFolder(m_folder);
    qCWarning(lcStore) << "unreadable store moved with its photos to" << aside;
    return moved;
}

bool DeviceStore::returnToDraft(qint64 id)
{
    return inTransaction([&] {
        // A draft the form keeps now is not overwritten.
        Query copy(*this,
                   QStringLiteral("INSERT INTO drafts (account, key, payload, photos, saved_at)"
                                  " SELECT account, draft_key, draft, photos, ? FROM outbox"
                                  " WHERE id = ? AND draft_key != '' AND state IN"
                                  " ('waiting', 'failed') AND NOT EXISTS (SELECT 1 FROM drafts"
                                  " WHERE drafts.account = outbox.account"
                                  " AND drafts.key = outbox.draft_key)"));
        return copy.bind(now()).bind(id).exec()
               && (copy.raw().numRowsAffected() == 1
                   || fail(QStringLiteral("Entry %1 cannot become a draft").arg(id)))
               && Query(*this, QStringLiteral("DELETE FROM outbox WHERE id = ?")).bind(id).exec();
    });
}

bool DeviceStore::moveAccount(const QString &from, const QString &to)
{
    return inTransaction([&] {
        for (const char *table : {"drafts", "outbox", "cache"})
            if (!Query(*this,
                       QStringLiteral("UPDATE OR IGNORE %1 SET account = ? WHERE account = ?")
                           .arg(QLatin1String(table)))
                     .bind(to)
                     .bind(from)
                     .exec())
                return false;
        return true;
    });
}

bool DeviceStore::putCache(const QString &account, const QString &key, const QJsonDocument &payload)
{
    return Query(*this, QStringLiteral("INSERT OR REPLACE INTO cache (account, key, payload,"
                                       " loaded_at) VALUES (?, ?, ?, ?)"))
        .bind(account)
        .bind(key)
        .bind(QString::fromUtf8(payload.toJson(QJsonDocument::Compact)))
        .bind(now())
        .exec();
}

std::optional<CacheEntry> DeviceStore::cached(const QString &account, const QString &key)
{
    Query row(*this,
              QStringLiteral("SELECT payload, loaded_at FROM cache WHERE account = ? AND key = ?"));
    if (!row.bind(account).bind(key).exec() || !row.next())
        return std::nullopt;
    return CacheEntry{QJsonDocument::fromJson(row.value(0).toString().toUtf8()),
                      timeOf(row.value(1))};
}

QStringList DeviceStore::cachedKeys(const QString &account, const QString &prefix)
{
    QStringList keys;
    Query rows(*this,
               QStringLiteral("SELECT key FROM cache WHERE account = ? AND substr(key, 1, ?) = ?"));
    if (rows.bind(account).bind(prefix.size()).bind(prefix).exec())
        while (rows.next())
            keys << rows.value(0).toString();
    return keys;
}

} // namespace orvelle
