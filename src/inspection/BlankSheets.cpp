#include "BlankSheets.h"

#include "InspectionRecords.h"
#include "InspectionRules.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "store/DeviceStore.h"
#include "store/OfflineCopy.h"

namespace orvelle {

BlankSheets::BlankSheets(ServiceClient &client, const QString &notesServer, DeviceStore *store,
                         const QString &account, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_notesServer(notesServer)
    , m_store(store && store->isOpen() ? store : nullptr)
    , m_account(account)
{}

void BlankSheets::listed(const QStringList &keys, bool fresh)
{
    if (!m_store)
        return;
    const QString prefix = keptBlankSheetName(QString());
    m_kept.clear();
    for (const QString &name : m_store->cachedKeys(m_account, prefix))
        m_kept.insert(name.mid(prefix.size()));
    emit changed();
    if (!fresh)
        return;
    // The latest list replaces what an earlier one still had waiting.
    m_waiting.clear();
    for (const QString &key : keys)
        if (!key.isEmpty() && !m_waiting.contains(key) && !m_running.contains(key))
            m_waiting.append(key);
    next();
}

void BlankSheets::next()
{
    while (m_running.size() < requestsAtOnce && !m_waiting.isEmpty())
        fetch(m_waiting.takeFirst());
}

void BlankSheets::fetch(const QString &key)
{
    m_running.insert(key);
    const auto done = [this, key] {
        m_running.remove(key);
        next();
    };
    m_client.sendJSONRequest(
        endpoints::json::receiveSheet, blankSheetParameters(m_notesServer, key), this,
        [this, key, done](const std::optional<QString> &, qint64, const QJsonObject &json) {
            // Only a sheet that could be filled in is worth keeping; one kept
            // as it stands is not written again (each return to the list
            // loads every sheet, and each write waits for the disk).
            const auto sheet = decodeRecord<OnInspectionDetaildData>(json);
            const QString name = keptBlankSheetName(key);
            const auto kept = m_store->cached(m_account, name);
            if (sheet && sheet->checkitems
                && ((kept && kept->payload.object() == json)
                    || OfflineCopy(m_store, m_account, name).keep(json))) {
                m_kept.insert(key);
                emit changed();
            }
            done();
        },
        // Out of reach or refused: the copy kept earlier, if any, stays.
        [done](qint64, const QString &) { done(); });
}

} // namespace orvelle
