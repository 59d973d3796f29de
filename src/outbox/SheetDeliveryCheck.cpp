#include "SheetDeliveryCheck.h"

#include "net/Endpoints.h"

#include <QDate>
#include <QJsonArray>
#include <memory>

namespace orvelle::sheetDelivery {

namespace {
const QString cannotTellMessage =
    QStringLiteral("无法确认是否已提交：提交那天的记录已无法查询，请核对后选择重新上传或已提交。");

struct Search
{
    ServiceClient &client;
    QObject *context;
    Parcel sheet;
    QTimeZone zone;
    QString server;
    QStringList addresses;
    // Day lists still to read, and the sheets they named, newest first.
    QList<QJsonObject> lists;
    QStringList forms;
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

void readLists(const std::shared_ptr<Search> &search)
{
    if (search->lists.isEmpty()) {
        // The answers just set the service's clock: a day that is no longer
        // today by it has no list to tell from.
        if (!checkable(search->sheet, search->client.serviceNow(), search->zone))
            return search->done(Outcome::Unknown, {0, cannotTellMessage});
        return checkNext(search);
    }
    search->client.sendJSONRequest(
        endpoints::json::todayDeptCheck, search->lists.takeFirst(), search->context,
        [search](const std::optional<QString> &, qint64, const QJsonObject &list) {
            for (const QJsonValue &sheet : list.value(QLatin1String("checkitems")).toArray())
                if (const QString form = sheet[QLatin1String("frmno")].toString();
                    !form.isEmpty() && !search->forms.contains(form))
                    search->forms.append(form);
            readLists(search);
        },
        [search](qint64 code, const QString &message) {
            search->done(Outcome::Unknown, {code, message});
        });
}

} // namespace

bool checkable(const Parcel &sheet, const QDateTime &now, const QTimeZone &zone)
{
    if (sheet.submission.kind != QLatin1String("sheet") || sheet.submission.review.isEmpty()
        || sheet.uploaded.isEmpty() || !sheet.lastAttempt.isValid())
        return false;
    // The list holds today's sheets only; one filed on another day cannot be
    // told, nor one filed so near a midnight that the clocks may disagree.
    const QDateTime attempted = sheet.lastAttempt.toTimeZone(zone);
    const QDate day = attempted.date();
    const QDateTime dayStart(day, QTime(0, 0), zone);
    const QDateTime dayEnd(day.addDays(1), QTime(0, 0), zone);
    return now.toTimeZone(zone).date() == day && dayStart.secsTo(attempted) > midnightMarginSecs
           && attempted.secsTo(dayEnd) > midnightMarginSecs;
}

void check(ServiceClient &client, const Parcel &sheet, QObject *context, Done done,
           const QTimeZone &zone)
{
    const QJsonObject &review = sheet.submission.review;
    // The record goes under the key the service gave the sheet, which may
    // not be the key it was opened with: both lists may hold it.
    QList<QJsonObject> lists{review};
    const QJsonValue filedKey = sheet.submission.parameters.value(QLatin1String("key"));
    if (filedKey.isString() && filedKey != review.value(QLatin1String("key"))) {
        QJsonObject filed = review;
        filed.insert(QStringLiteral("key"), filedKey);
        lists.append(filed);
    }
    readLists(std::make_shared<Search>(Search{client,
                                              context,
                                              sheet,
                                              zone,
                                              review.value(QLatin1String("server")).toString(),
                                              sheet.uploaded.values(),
                                              lists,
                                              {},
                                              std::move(done)}));
}

} // namespace orvelle::sheetDelivery
