#pragma once

#include "WebLoadFailure.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <chrono>

namespace orvelle {

// An embedded web page (drawn by WebViewPage.qml on the web engine). It keeps
// the navigation record: one debug line on `orvelle.web` per event, and a stop
// when a navigation has had no answer for `timeout`. It says how far a load
// is and, when it failed, why in words and whether another try is offered.
// It decides where the page may go: http(s) only, to the allowed hosts.
class WebView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the screen that shows a page")
    Q_PROPERTY(QUrl url READ url CONSTANT)
    // Where the shown page comes from, so a user can tell a notice's origin.
    Q_PROPERTY(QString host READ host NOTIFY hostChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    // 0 to 100, as the engine reports it.
    Q_PROPERTY(int progress READ progress NOTIFY loadingChanged)
    // Empty unless the last load failed.
    Q_PROPERTY(QString failureText READ failureText NOTIFY failureChanged)
    Q_PROPERTY(bool retryOffered READ retryOffered NOTIFY failureChanged)

public:
    explicit WebView(const QUrl &url, QObject *parent = nullptr);

    QUrl url() const { return m_url; }
    QString host() const { return m_host; }
    bool loading() const { return m_navigating; }
    int progress() const { return m_progress; }
    WebLoadFailure failure() const { return m_failure; }
    QString failureText() const { return m_failure.text(); }
    bool retryOffered() const { return m_failure.retryOffered(); }
    // The hosts the page may show; empty for any.
    void setAllowedHosts(const QStringList &hosts) { m_allowedHosts = hosts; }
    // An http(s) address; in the main frame, on an allowed host.
    Q_INVOKABLE bool allows(const QUrl &address, bool mainFrame) const;
    // The page asked for something it does not get (`what`), from `origin`.
    Q_INVOKABLE void refused(const QString &what, const QUrl &origin);
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout.setInterval(timeout); }

    // What the engine reports, forwarded by the page.
    Q_INVOKABLE void navigationStarted(const QUrl &currentUrl);
    Q_INVOKABLE void setProgress(int percent);
    // The server's answer began to arrive (a document title appeared).
    Q_INVOKABLE void contentArrived();
    Q_INVOKABLE void navigationFinished(const QUrl &currentUrl);
    // `domain`: a WebLoadFailure::Domain; in HttpStatus the server answered
    // with the error status `code`.
    Q_INVOKABLE void navigationFailed(const QString &description, int code, int domain);
    Q_INVOKABLE void navigationStopped();

    // "重试" after a failure that offers it: the page loads the address again.
    Q_INVOKABLE void retry();

signals:
    // The page stops the engine's navigation.
    void stopRequested();
    void reloadRequested();
    void hostChanged();
    void loadingChanged();
    void failureChanged();

private:
    void timedOut();
    // False when no navigation was under way.
    bool endNavigation(bool committed, const QString &description);
    void setFailure(WebLoadFailure failure);
    void showHostOf(const QUrl &address);

    QUrl m_url;
    QStringList m_allowedHosts;
    QString m_host;
    QTimer m_timeout;
    bool m_navigating = false;
    bool m_committed = false;
    bool m_timedOut = false;
    int m_progress = 0;
    WebLoadFailure m_failure;
};

} // namespace orvelle
