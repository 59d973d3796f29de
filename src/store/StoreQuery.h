#pragma once

#include "DeviceStore.h"
#include "core/Logging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

// What the store's two halves share: rows to values and back, and the query
// that reports its failure to the store.
namespace orvelle {

namespace storerows {
inline const QString stateNames[] = {QStringLiteral("waiting"), QStringLiteral("sending"),
                                     QStringLiteral("failed"), QStringLiteral("maybeDelivered"),
                                     QStringLiteral("sent")};

inline QString nameOf(OutboxState state)
{
    return stateNames[int(state)];
}

inline OutboxState stateOf(const QString &name)
{
    const auto found = std::find(std::begin(stateNames), std::end(stateNames), name);
    return found == std::end(stateNames) ? OutboxState::Waiting
                                         : OutboxState(found - std::begin(stateNames));
}

inline QString textOf(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

inline QJsonObject objectOf(const QVariant &text)
{
    return QJsonDocument::fromJson(text.toString().toUtf8()).object();
}

inline QString textOf(const PhotoGroups &photos)
{
    QJsonObject object;
    for (auto group = photos.begin(); group != photos.end(); ++group)
        object.insert(group.key(), QJsonArray::fromStringList(group.value()));
    return textOf(object);
}

inline PhotoGroups groupsOf(const QVariant &text)
{
    PhotoGroups photos;
    const QJsonObject object = objectOf(text);
    for (auto group = object.begin(); group != object.end(); ++group)
        for (const QJsonValue &hash : group.value().toArray())
            photos[group.key()] << hash.toString();
    return photos;
}

inline qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

inline QDateTime timeOf(const QVariant &msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs.toLongLong(), Qt::UTC);
}

} // namespace storerows

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

// Commits made while it lives reach the disk with the next synced commit, not
// their own: a killed client keeps them (they are in the system's hands), a
// power cut may not. Only for what can be learned again.
class DeviceStore::RelaxedSync
{
public:
    explicit RelaxedSync(DeviceStore &store)
        : m_store(store)
    {
        Query(store, QStringLiteral("PRAGMA synchronous=NORMAL")).exec();
    }
    ~RelaxedSync()
    {
        if (!Query(m_store, QStringLiteral("PRAGMA synchronous=FULL")).exec())
            qCWarning(lcStore) << "the store stays without synced commits:"
                               << m_store.errorString();
    }
    RelaxedSync(const RelaxedSync &) = delete;
    RelaxedSync &operator=(const RelaxedSync &) = delete;

private:
    DeviceStore &m_store;
};

} // namespace orvelle
