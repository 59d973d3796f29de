#include "WebView.h"

#include "core/Logging.h"

#include <algorithm>

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
    m_progress = 0;
    m_timeout.start();
    qCDebug(lcWeb).noquote() << "Started to load: " + loggedAddress(currentUrl);
    setFailure(WebLoadFailure());
    emit loadingChanged();
}

void WebView::setProgress(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (!m_navigating || percent == m_progress)
        return;
    m_progress = percent;
    emit loadingChanged();
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
    m_progress = 100;
    m_timeout.stop();
    qCDebug(lcWeb).noquote() << "Finished loading: " + loggedAddress(currentUrl);
    emit loadingChanged();
}

void WebView::navigationFailed(const QString &description, int code, int domain)
{
    // An answer with an error status, or content that had begun to arrive,
    // means the page was loading. The engine describes status failures with
    // an HTML template; the code says it better.
    const auto errorDomain = WebLoadFailure::Domain(domain);
    const bool httpStatus = errorDomain == WebLoadFailure::Domain::HttpStatus;
    const bool committed = httpStatus || m_committed;
    if (endNavigation(committed,
                      httpStatus ? QStringLiteral("HTTP status %1").arg(code) : description))
        setFailure(WebLoadFailure::of(errorDomain, code, committed));
}

void WebView::navigationStopped()
{
    const bool timedOut = m_timedOut;
    if (endNavigation(m_committed, timedOut ? QStringLiteral("The request timed out.")
                                            : QStringLiteral("The navigation was stopped."))
        && timedOut)
        setFailure(WebLoadFailure(WebLoadFailure::Kind::TimedOut));
}

bool WebView::endNavigation(bool committed, const QString &description)
{
    if (!m_navigating)
        return false;
    m_navigating = false;
    m_timeout.stop();
    if (committed)
        qCDebug(lcWeb).noquote() << "Failed to load: " + description;
    else
        qCDebug(lcWeb).noquote() << "Failed to start loading: " + description;
    emit loadingChanged();
    return true;
}

void WebView::setFailure(WebLoadFailure failure)
{
    if (failure.kind() == m_failure.kind())
        return;
    m_failure = failure;
    emit failureChanged();
}

void WebView::retry()
{
    if (!m_failure.retryOffered())
        return;
    setFailure(WebLoadFailure());
    emit reloadRequested();
}

void WebView::timedOut()
{
    if (!m_navigating || m_committed)
        return;
    m_timedOut = true;
    emit stopRequested();
}

} // namespace orvelle
