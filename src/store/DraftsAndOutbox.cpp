#include "DeviceStore.h"
#include "StoreQuery.h"

#include <QDateTime>

// Drafts and outbox entries: the work a person has not finished or not yet delivered.
namespace orvelle {

using namespace storerows;

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
    // A synced commit per photo holds the screen while the photos go; an
    // address a power cut takes costs that photo sent once more. The
    // record's own mark, synced, carries it to the disk before the record goes.
    const RelaxedSync relaxed(*this);
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

} // namespace orvelle
