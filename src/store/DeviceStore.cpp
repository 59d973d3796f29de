#include "DeviceStore.h"
#include "PhotoFiles.h"
#include "StoreMigrations.h"
#include "StoreQuery.h"
#include "core/BackgroundTask.h"
#include "core/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
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
using namespace storerows;

namespace {
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
