#pragma once

#include <QLoggingCategory>
#include <QUrl>

// One category per area; debug lines only, never shown to the user.
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcWeb)
Q_DECLARE_LOGGING_CATEGORY(lcVersion)
Q_DECLARE_LOGGING_CATEGORY(lcScan)
Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace orvelle {
// An address as the log shows it: a query, a fragment or a user name may
// carry a code, a token or a password, so they stay out.
inline QString loggedAddress(const QUrl &address)
{
    return address.toString(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
}
} // namespace orvelle
