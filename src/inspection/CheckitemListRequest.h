#pragma once

#include "InspectionRecords.h"
#include "net/ServiceClient.h"
#include "store/OfflineCopy.h"

#include <QJsonObject>
#include <utility>

namespace orvelle {

// Fetches a record whose "checkitems" fill a list screen. `show` gets the
// list and, for a list kept from an earlier load, when that was; `fail` gets
// the failure's code (-1 for an answer without a usable list) and the text the
// screen shows in its place: the service's message, the record error, or "no
// check items" for an answer without a list. With `kept`, each
// good answer is kept, and given back when no answer comes.
template <typename Record, typename Show, typename Fail>
void requestCheckitems(ServiceClient &client, const QString &path, const QJsonObject &parameters,
                       QObject *context, Show show, Fail fail,
                       std::optional<OfflineCopy> kept = std::nullopt)
{
    // The problem with the answer, or none once it is shown.
    const auto take = [show =
                           std::move(show)](const QJsonObject &json,
                                            const QDateTime &loadedAt) -> std::optional<QString> {
        auto record = decodeRecord<Record>(json);
        if (!record)
            return recordErrorMessage();
        if (!record->checkitems)
            return noCheckItemsMessage();
        show(std::move(*record->checkitems), loadedAt);
        return std::nullopt;
    };
    client.sendJSONRequest(
        path, parameters, context,
        [take, fail, kept](const std::optional<QString> &, qint64, const QJsonObject &json) {
            if (const auto problem = take(json, QDateTime()))
                return fail(-1, *problem);
            if (kept)
                kept->keep(json);
        },
        [take, fail, kept](qint64 code, const QString &message) {
            const auto copy = kept ? kept->instead(code) : std::nullopt;
            if (!copy || take(copy->answer, copy->loadedAt))
                fail(code, message);
        });
}

} // namespace orvelle
