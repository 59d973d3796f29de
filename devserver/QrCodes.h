#pragma once

#include "Store.h"

#include <QString>

namespace orvelle::devserver {

// Writes one PNG QR code per check point (a JSON text with its "key") and
// one per notice page (its address) into dir, with the qrencode CLI.
bool printQrCodes(Store &store, const QString &photoHost, const QString &dir, QString *error);

} // namespace orvelle::devserver
