#include "WebView.h"

#include "core/Logging.h"

namespace orvelle {

WebView::WebView(const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_host(url.host())
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(std::chrono::seconds(60));
    connect(&m_timeout, &QTimer::timeout, this, &WebView::timedOut);
}

bool WebView::allows(const QUrl &address, bool mainFrame) const
{
    const QString scheme = address.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    if (!mainFrame || m_allowedHosts.isEmpty())
        return true;
    return m_allowedHosts.contains(address.host(), Qt::CaseInsensitive);
}

void WebView::refused(const QString &what, const QUrl &origin)
{
    qCDebug(lcWeb).noquote() << "Refused " + what + ": " + loggedAddress(origin);
}

void WebView::showHostOf(const QUrl &address)
{
    if (address.host().isEmpty() || address.host() == m_host)
        return;
    m_host = address.host();
    emit hostChanged();
}

void WebView::navigationStarted(const QUrl &currentUrl)
{
    showHostOf(currentUrl);
    m_navigating = true;
    m_committed = false;
    m_timedOut = false;
    m_timeout.start();
    qCDebug(lcWeb).noquote() << "Started to load: " + loggedAddress(currentUrl);
}

void WebView::contentArrived()
{
    if (!m_navigating)
        return;
    m_committed = true;
    m_timeout.stop();
}

void WebView::navigationFinished(const QUrl &currentUrl)
{
    showHostOf(currentUrl);
    m_navigating = false;
    m_timeout.stop();
    qCDebug(lcWeb).noquote() << "Finished loading: " + loggedAddress(currentUrl);
}

void WebView::navigationFailed(const QString &description, int code, bool httpStatus)
{
    // An answer with an error status, or content that had begun to arrive,
    // means the page was loading. The engine describes status failures with
    // an HTML template; the code says it better.
    logFailure(httpStatus || m_committed,
               httpStatus ? QStringLiteral("HTTP status %1").arg(code) : description);
}

void WebView::navigationStopped()
{
    logFailure(m_committed, m_timedOut ? QStringLiteral("The request timed out.")
                                       : QStringLiteral("The navigation was stopped."));
}

void WebView::logFailure(bool committed, const QString &description)
{
    if (!m_navigating)
        return;
    m_navigating = false;
    m_timeout.stop();
    if (committed)
        qCDebug(lcWeb).noquote() << "Failed to load: " + description;
    else
        qCDebug(lcWeb).noquote() << "Failed to start loading: " + description;
}

void WebView::timedOut()
{
    if (!m_navigating || m_committed)
        return;
    m_timedOut = true;
    emit stopRequested();
}

} // namespace orvelle
