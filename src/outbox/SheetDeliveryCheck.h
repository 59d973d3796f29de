#pragma once

#include "net/ServiceClient.h"
#include "store/DeviceStore.h"

#include <QObject>
#include <functional>

namespace orvelle {

// Tells whether a sheet whose record may have reached the service did:
// today's sheets of its check point are read, newest first, and the one that
// carries a photo address of this entry is it (file store addresses are
// unique). A hazard report has no such list; it waits for the user's word.
namespace sheetDelivery {

enum class Outcome { Delivered, NotDelivered, Unknown };
using Done = std::function<void(Outcome outcome, const ServiceFailure &failure)>;

// A sheet of today with a stored photo and the request that lists its peers.
bool checkable(const OutboxEntry &entry);
// `review` of the entry's payload: the parameters of today's sheet list.
void check(ServiceClient &client, const OutboxEntry &entry, QObject *context, Done done);

} // namespace sheetDelivery

} // namespace orvelle
