#pragma once

#include "InspectionRecords.h"
#include "net/ServiceClient.h"

#include <QJsonObject>
#include <utility>

namespace orvelle {

// Fetches a record whose "checkitems" fill a list screen. `show` gets the
// list; `fail` gets the text the screen shows in its place: the service's
// message, the record error, or "no check items" for an answer without a list.
template <typename Record, typename Show, typename Fail>
void requestCheckitems(ServiceClient &client, const QString &path, const QJsonObject &parameters,
                       QObject *context, Show show, Fail fail)
{
    client.sendJSONRequest(
        path, parameters, context,
        [show = std::move(show), fail](const std::optional<QString> &, qint64,
                                       const QJsonObject &json) {
            auto record = decodeRecord<Record>(json);
            if (!record)
                fail(recordErrorMessage());
            else if (!record->checkitems)
                fail(noCheckItemsMessage());
            else
                show(std::move(*record->checkitems));
        },
        [fail](qint64, const QString &message) { fail(message); });
}

} // namespace orvelle
