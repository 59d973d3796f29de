#include "SheetDeliveryCheck.h"

#include "net/Endpoints.h"

#include <QDate>
#include <QJsonArray>
#include <memory>

namespace orvelle::sheetDelivery {

namespace {
const QString reviewKey = QStringLiteral("review");

struct Search
{
    ServiceClient &client;
    QObject *context;
    QString server;
    QStringList addresses;
    QStringList forms; // newest first, as the service lists them
    Done done;
};

void checkNext(const std::shared_ptr<Search> &search)
{
    if (search->forms.isEmpty())
        return search->done(Outcome::NotDelivered, {});
    const QJsonObject parameters{
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::todayCheckByNo},
        {QStringLiteral("server"), search->server},
        {QStringLiteral("frmno"), search->forms.takeFirst()},
    };
    search->client.sendJSONRequest(
        endpoints::json::todayCheckNo, parameters, search->context,
        [search](const std::optional<QString> &, qint64, const QJsonObject &sheet) {
            // A sheet with only the on-site photo has none in "image".
            const QStringList photos =
                (sheet.value(QLatin1String("image")).toString() + QStringLiteral("----")
                 + sheet.value(QLatin1String("openimageurl")).toString())
                    .split(QStringLiteral("----"), Qt::SkipEmptyParts);
            for (const QString &address : search->addresses)
                if (photos.contains(address))
                    return search->done(Outcome::Delivered, {});
            checkNext(search);
        },
        [search](qint64 code, const QString &message) {
            search->done(Outcome::Unknown, {code, message});
        });
}

} // namespace

bool checkable(const OutboxEntry &entry, const QDateTime &now, const QTimeZone &zone)
{
    if (entry.kind != QLatin1String("sheet") || !entry.payload.contains(reviewKey)
        || entry.uploaded.isEmpty())
        return false;
    // The list holds today's sheets only; one filed on another day cannot be
    // told, nor one filed so near a midnight that the clocks may disagree.
    const QDateTime attempted =
        (entry.attemptedAt.isValid() ? entry.attemptedAt : entry.createdAt).toTimeZone(zone);
    const QDate day = attempted.date();
    const QDateTime dayStart(day, QTime(0, 0), zone);
    const QDateTime dayEnd(day.addDays(1), QTime(0, 0), zone);
    return now.toTimeZone(zone).date() == day && dayStart.secsTo(attempted) > midnightMarginSecs
           && attempted.secsTo(dayEnd) > midnightMarginSecs;
}

void check(ServiceClient &client, const OutboxEntry &entry, QObject *context, Done done)
{
    const QJsonObject review = entry.payload.value(reviewKey).toObject();
    auto search = std::make_shared<Search>(Search{client,
                                                  context,
                                                  review.value(QLatin1String("server")).toString(),
                                                  entry.uploaded.values(),
                                                  {},
                                                  std::move(done)});
    client.sendJSONRequest(
        endpoints::json::todayDeptCheck, review, context,
        [search](const std::optional<QString> &, qint64, const QJsonObject &list) {
            for (const QJsonValue &sheet : list.value(QLatin1String("checkitems")).toArray())
                if (const QString form = sheet[QLatin1String("frmno")].toString(); !form.isEmpty())
                    search->forms.append(form);
            checkNext(search);
        },
        [search](qint64 code, const QString &message) {
            search->done(Outcome::Unknown, {code, message});
        });
}

} // namespace orvelle::sheetDelivery
