#pragma once

#include "net/ServiceClient.h"
#include "outbox/Delivery.h"

#include <QObject>
#include <QTimeZone>
#include <functional>

namespace orvelle {

// Tells whether a sheet whose record may have reached the service did:
// today's sheets of its check point are read, newest first, and the one that
// carries a photo address of this entry in either photo field is it (file
// store addresses are unique). A hazard report has no such list; it waits for the user's word.
namespace sheetDelivery {

enum class Outcome { Delivered, NotDelivered, Unknown };
using Done = std::function<void(Outcome outcome, const ServiceFailure &failure)>;

// Within this of a midnight, the day a sheet was filed under is a guess.
constexpr qint64 midnightMarginSecs = 5 * 60;

// A sheet with a stored photo and the request that lists its peers, whose
// record went today (`now`, both read in `zone`) and not near a midnight.
bool checkable(const Parcel &sheet, const QDateTime &now,
               const QTimeZone &zone = QTimeZone::systemTimeZone());
// Reads the sheet's `review`: the parameters of today's sheet list. The day
// is judged again by the service's clock once its lists answered.
void check(ServiceClient &client, const Parcel &sheet, QObject *context, Done done,
           const QTimeZone &zone = QTimeZone::systemTimeZone());

} // namespace sheetDelivery

} // namespace orvelle
