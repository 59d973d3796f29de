#include "OfflineCopy.h"

#include "DeviceStore.h"
#include "core/Logging.h"

namespace orvelle {

OfflineCopy::OfflineCopy(DeviceStore *store, const QString &account, const QString &key)
    : m_store(store && store->isOpen() ? store : nullptr)
    , m_account(account)
    , m_key(key)
{}

bool OfflineCopy::keep(const QJsonObject &answer) const
{
    if (m_store && m_store->putCache(m_account, m_key, QJsonDocument(answer)))
        return true;
    if (m_store)
        qCDebug(lcStore) << m_key << "not kept for offline use:" << m_store->errorString();
    return false;
}

std::optional<OfflineCopy::Kept> OfflineCopy::instead(qint64 failureCode) const
{
    if (!m_store || failureCode != noAnswer)
        return std::nullopt;
    const std::optional<CacheEntry> kept = m_store->cached(m_account, m_key);
    if (!kept || !kept->payload.isObject())
        return std::nullopt;
    qCDebug(lcStore) << m_key << "offline: the answer kept at" << kept->loadedAt;
    return Kept{kept->payload.object(), kept->loadedAt};
}

std::optional<QDateTime> OfflineCopy::keptAt() const
{
    const std::optional<CacheEntry> kept =
        m_store ? m_store->cached(m_account, m_key) : std::nullopt;
    return kept ? std::optional(kept->loadedAt) : std::nullopt;
}

} // namespace orvelle
