#include "FuzzTarget.h"

#include "platform/RiskAnnouncementWebView.h"

// The text of any scanned code: the notice page opens only a web address.
ORVELLE_FUZZ_TARGET(notice_address)
{
    const QString key = QString::fromUtf8(orvelle::fuzz::bytes(data, size));
    const orvelle::RiskAnnouncementWebView view(key);
    const auto address = orvelle::RiskAnnouncementWebView::pageAddress(key);
    FUZZ_CHECK(address.has_value() == (view.webView() != nullptr));
    if (!address)
        return 0;
    FUZZ_CHECK(address->isValid());
    FUZZ_CHECK(address->scheme() == QLatin1String("http")
               || address->scheme() == QLatin1String("https"));
    FUZZ_CHECK(!address->host().isEmpty());
    FUZZ_CHECK(view.webView()->url() == *address);
    return 0;
}
