#include "RiskAnnouncementWebView.h"

#include "core/UrlOpener.h"

namespace orvelle {

RiskAnnouncementWebView::RiskAnnouncementWebView(const std::optional<QString> &key,
                                                 const QStringList &noticeHosts, QObject *parent)
    : QObject(parent)
    , m_key(key)
{
    if (const auto address = pageAddress(keyText(), noticeHosts)) {
        m_webView = new WebView(*address, this);
        m_webView->setAllowedHosts(noticeHosts);
    }
}

std::optional<QUrl> RiskAnnouncementWebView::pageAddress(const QString &key,
                                                         const QStringList &noticeHosts)
{
    auto address = webAddress(key);
    if (address && !noticeHosts.isEmpty()
        && !noticeHosts.contains(address->host(), Qt::CaseInsensitive))
        return std::nullopt;
    return address;
}

} // namespace orvelle
