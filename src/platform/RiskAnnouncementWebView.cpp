#include "RiskAnnouncementWebView.h"

#include "core/UrlOpener.h"

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
    return webAddress(key);
}

} // namespace orvelle
