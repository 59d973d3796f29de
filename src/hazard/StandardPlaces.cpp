#include "StandardPlaces.h"

#include "HazardRecords.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"

namespace orvelle {

StandardPlaces::StandardPlaces(ServiceClient &client, const QString &notesServer,
                               DeviceStore *store, const QString &account, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_notesServer(notesServer)
    , m_kept(store, account, QStringLiteral("places"))
{}

void StandardPlaces::load()
{
    if (m_read)
        return;
    m_read = std::make_unique<QObject>();
    const QJsonObject parameters{
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::standardPlace},
        {QStringLiteral("server"), m_notesServer},
    };
    m_client.sendJSONRequest(
        endpoints::json::standardPlace, parameters, m_read.get(),
        [this](const std::optional<QString> &, qint64, const QJsonObject &json) {
            if (!take(json))
                return fail(QStringLiteral("数据错误!!!"));
            m_kept.keep(json);
        },
        [this](qint64 code, const QString &message) {
            // Out of reach: the places as they were last loaded.
            if (const auto kept = m_kept.instead(code); !kept || !take(kept->answer))
                fail(message);
        });
}

void StandardPlaces::loadIfOlderThan(std::chrono::hours age)
{
    const std::optional<QDateTime> keptAt = m_kept.keptAt();
    if (!keptAt
        || keptAt->addSecs(std::chrono::seconds(age).count()) < QDateTime::currentDateTimeUtc())
        load();
}

bool StandardPlaces::take(const QJsonObject &json)
{
    const auto record = decodeRecord<PlacedData>(json);
    if (!record)
        return false;
    QStringList names;
    for (const PlaceCheckitem &item : record->checkitems.value_or(QList<PlaceCheckitem>()))
        if (item.place)
            names << *item.place;
    m_names = names;
    m_read.reset();
    m_loaded = true;
    emit arrived();
    return true;
}

void StandardPlaces::fail(const QString &message)
{
    m_read.reset();
    emit failed(message);
}

} // namespace orvelle
