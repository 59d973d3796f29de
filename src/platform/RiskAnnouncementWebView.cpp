#include "RiskAnnouncementWebView.h"

namespace orvelle {

RiskAnnouncementWebView::RiskAnnouncementWebView(const std::optional<QString> &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
{
    if (const auto address = pageAddress(keyText()))
        m_webView = new WebView(*address, this);
}

std::optional<QUrl> RiskAnnouncementWebView::pageAddress(const QString &key)
{
    // Strict parsing: blanks, stray characters and broken escapes fail rather
    // than being repaired into some other address.
    const QUrl url(key, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    if (url.host().isEmpty())
        return std::nullopt;
    return url;
}

} // namespace orvelle
