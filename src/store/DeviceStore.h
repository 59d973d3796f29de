#pragma once

#include "store/PhotoFileStore.h"

#include <QDateTime>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

class QSqlError;

namespace orvelle {

// Named photo groups ("onsite", "added"), each the content hashes of its photos
// in the order the user sees them.
using PhotoGroups = QMap<QString, QStringList>;

// What the user has typed and photographed for one screen, kept until it is sent.
struct Draft
{
    QString account;
    QString key; // "sheet/<check point key>" or "hazard"
    QJsonObject payload;
    PhotoGroups photos;
    QDateTime savedAt; // set by the store
};

enum class OutboxState { Waiting, Sending, Failed, MaybeDelivered, Sent };

// A sheet or hazard report waiting to be delivered.
struct OutboxEntry
{
    qint64 id = 0;
    QString account;
    QString kind; // "sheet" or "hazard"
    QString title;
    QJsonObject payload;
    PhotoGroups photos;
    QDateTime createdAt; // set by the store
    OutboxState state = OutboxState::Waiting;
    QString reason;
    // Photo hash -> file store address, so a re-send never uploads a photo twice.
    QHash<QString, QString> uploaded;
    // When its record last went, in the service's time; invalid before.
    QDateTime attemptedAt = {};
    // The draft it was filed from; "" for an entry of a client that kept none.
    QString draftKey = {};
};

// A service answer kept for working without a network.
struct CacheEntry
{
    QJsonDocument payload;
    QDateTime loadedAt;
};

// The device's own copy of unsent work: SQLite (WAL) in an owner-only folder,
// photos as content-named files beside it. Each write is one transaction, so a
// kill at any moment leaves either the old or the new state. All calls belong
// to the thread that opened the store; only photo file writes run elsewhere.
class DeviceStore : public QObject, public PhotoFileStore
{
    Q_OBJECT

public:
    // What the last failure was, as far as the store can tell.
    enum class Failure {
        Other,
        // The disk or the user's quota is full: nothing is wrong with the store.
        NoSpace,
        // The database cannot be read as one.
        Damaged,
        // Written by a newer client: it is never changed, photos included.
        NewerClient,
    };

    explicit DeviceStore(QObject *parent = nullptr);
    ~DeviceStore() override;

    // Creates or opens the store in folder; false with errorString() and
    // failure() when it cannot. A store of a newer client is found before
    // anything in the folder is made, tightened or written.
    bool open(const QString &folder);
    // After open() found the database damaged: moves it, its journal and the
    // photos its rows name into a dated folder beside them, kept for
    // recovery, so a new store can start without collecting those photos.
    // The database's new path, or "" when it was not damaged, there was none,
    // or it could not be moved (then nothing was).
    QString moveAside();
    void close();
    bool isOpen() const { return !m_connection.isEmpty(); }
    // The last failure, in words (the SQL driver's text where it has one).
    QString errorString() const { return m_error; }
    Failure failure() const { return m_failure; }
    QString databaseFile() const;
    QString photoFile(const QString &hash) const override;

    void storePhotos(const QList<QByteArray> &jpegs, QObject *context, PhotosDone done) override;
    // Reads the photos whole off the GUI thread; `done` on this thread with
    // false when one is gone or no longer matches its hash.
    void verifyPhotos(const QStringList &hashes, std::function<void(bool intact)> done);
    // Deletes photo files no draft or outbox entry refers to, but those stored
    // since open(), whose draft may not be saved yet; the number deleted, or -1.
    int collectPhotos();

    // Replaces the draft; refused while one of its photos is not on disk.
    // A photo file the old draft alone named goes (saving and removing).
    bool saveDraft(const Draft &draft);
    std::optional<Draft> loadDraft(const QString &account, const QString &key);
    QList<Draft> drafts(const QString &account); // latest first
    bool removeDraft(const QString &account, const QString &key);

    // Moves the saved draft into the outbox as a waiting entry carrying
    // `payload` (what is to be sent) and the draft's photos, in one
    // transaction. The new entry as stored, or none when nothing changed.
    std::optional<OutboxEntry> enqueue(const QString &account, const QString &draftKey,
                                       const QString &kind, const QString &title,
                                       const QJsonObject &payload);
    QList<OutboxEntry> outbox(const QString &account); // oldest first
    // Entries not yet delivered: every state but sent; of every account
    // without one.
    int undeliveredCount(const std::optional<QString> &account = std::nullopt);
    // A valid `attemptedAt` is kept as the time its record went.
    bool setState(qint64 id, OutboxState state, const QString &reason = {},
                  const QDateTime &attemptedAt = {});
    bool recordUpload(qint64 id, const QString &hash, const QString &address);
    // A waiting or failed entry becomes the draft it was filed from again, in
    // one transaction; refused while that form keeps another draft.
    bool returnToDraft(qint64 id);
    // With `andPhotos`, the photo files the entry alone named go too (not one
    // stored again since it was filed: a form may hold it).
    bool removeEntry(qint64 id, bool andPhotos = false);

    // Every draft, entry and kept answer of `from` becomes `to`'s, in one
    // transaction; a draft or answer `to` already has of the same key stays
    // `from`'s rather than be overwritten.
    bool moveAccount(const QString &from, const QString &to);

    bool putCache(const QString &account, const QString &key, const QJsonDocument &payload);
    std::optional<CacheEntry> cached(const QString &account, const QString &key);
    // The keys of the account's kept answers that start with `prefix`, without reading them.
    QStringList cachedKeys(const QString &account, const QString &prefix);

private:
    bool fail(const QString &error, Failure kind = Failure::Other);
    // Tells a full disk and a damaged file from other failures by SQLite's codes.
    bool fail(const QSqlError &error);
    // Runs `work` in one transaction: committed when it holds, else rolled back.
    bool inTransaction(const std::function<bool()> &work);
    QList<OutboxEntry> entriesWhere(const QString &column, const QVariant &value);
    bool removeDraftRow(const QString &account, const QString &key);
    // The account's drafts, latest first; only the one of `key` when given.
    QList<Draft> draftRows(const QString &account, const std::optional<QString> &key);
    bool openDatabase(const QString &file);
    // Deletes the files of `photos` that no row names now, but those stored
    // again after `since`: a form may hold them before its draft names them.
    void releasePhotos(const PhotoGroups &photos, const QDateTime &since);
    bool photosPresent(const PhotoGroups &photos);
    class Query;
    class RelaxedSync;

    QString m_folder;
    QString m_connection;
    QString m_error;
    Failure m_failure = Failure::Other;
    // The last open() found the database damaged.
    bool m_damaged = false;
    // Photos stored since open(): their draft may not be saved yet, so collectPhotos() keeps them.
    QSet<QString> m_fresh;
    // When each photo was last stored since open().
    QHash<QString, QDateTime> m_storedAt;
    int m_writing = 0;
};

} // namespace orvelle
