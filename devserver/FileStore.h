#pragma once

#include "Operations.h"

namespace httplib {
class Server;
}

namespace orvelle::devserver {

// The photo upload on the HTTPS server.
void routeFileStore(httplib::Server &https, ServiceContext &context);
// Stored photos, the notice pages, the site page and pages that probe the
// client's web view (/probe/...) on the plain-HTTP server.
void routePages(httplib::Server &http, ServiceContext &context);

// Address of notice page n, as its QR code carries it.
QString noticeUrl(const QString &photoHost, int n);
inline constexpr int noticeCount = 2;

} // namespace orvelle::devserver
