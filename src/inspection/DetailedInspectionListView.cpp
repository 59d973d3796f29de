#include "DetailedInspectionListView.h"

#include "InspectionRules.h"
#include "core/UrlOpener.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"

#include <QUuid>

namespace orvelle {

DetailedInspectionListView::DetailedInspectionListView(ServiceClient &client,
                                                       const QString &notesServer,
                                                       const QString &key, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_notesServer(notesServer)
    , m_key(key)
    , m_checkitems(this)
{}

QList<QUrl> DetailedInspectionListView::photoUrls() const
{
    // An address that is no web address is never fetched: its cell shows
    // the failed-photo symbol, so the count still matches what was filed.
    QList<QUrl> urls;
    for (const QString &piece : splitPhotoAddresses(m_onInspectionData.image))
        urls << webAddress(piece).value_or(QUrl());
    return urls;
}

void DetailedInspectionListView::appeared()
{
    if (m_requested)
        return;
    m_requested = true;
    const QJsonObject parameters{
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::todayCheckByNo},
        {QStringLiteral("server"), m_notesServer},
        {QStringLiteral("frmno"), m_key},
    };
    m_client.sendJSONRequest(
        endpoints::json::todayCheckNo, parameters, m_load.start(),
        [this](const std::optional<QString> &, qint64, const QJsonObject &json) {
            auto record = decodeRecord<DetailitemTodayData>(json);
            if (!record) {
                m_load.failed(recordErrorMessage());
            } else {
                m_onInspectionData = *record;
                if (record->checkitems) {
                    m_checkitems.setRecords(*record->checkitems);
                    m_load.answered();
                } else {
                    m_load.failed(noCheckItemsMessage());
                }
            }
            emit loaded();
        },
        [this](qint64, const QString &message) {
            m_load.failed(message);
            emit loaded();
        });
}

void DetailedInspectionListView::retry()
{
    if (listState() != ListState::Failed)
        return;
    m_requested = false;
    appeared();
    emit loaded();
}

void DetailedInspectionListView::openPhoto(const QUrl &url)
{
    m_selectedImageUrl = IdentifiableURL{QUuid::createUuid().toString(QUuid::WithoutBraces), url};
    emit previewChanged();
}

void DetailedInspectionListView::closePreview()
{
    m_selectedImageUrl.reset();
    emit previewChanged();
}

void DetailedInspectionListView::goBack()
{
    emit finished();
}

} // namespace orvelle
