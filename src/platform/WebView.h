#pragma once

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <chrono>

namespace orvelle {

// An embedded web page (drawn by WebViewPage.qml on the web engine). It keeps
// the navigation record: one debug line on `orvelle.web` per event, and a stop
// when a navigation has had no answer for `timeout`. Failures show nothing.
class WebView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the screen that shows a page")
    Q_PROPERTY(QUrl url READ url CONSTANT)

public:
    explicit WebView(const QUrl &url, QObject *parent = nullptr);

    QUrl url() const { return m_url; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout.setInterval(timeout); }

    // What the engine reports, forwarded by the page.
    Q_INVOKABLE void navigationStarted(const QUrl &currentUrl);
    // The server's answer began to arrive (a document title appeared).
    Q_INVOKABLE void contentArrived();
    Q_INVOKABLE void navigationFinished(const QUrl &currentUrl);
    // `httpStatus`: the server answered with an error status `code`.
    Q_INVOKABLE void navigationFailed(const QString &description, int code, bool httpStatus);
    Q_INVOKABLE void navigationStopped();

signals:
    // The page stops the engine's navigation.
    void stopRequested();

private:
    void timedOut();
    void logFailure(bool committed, const QString &description);

    QUrl m_url;
    QTimer m_timeout;
    bool m_navigating = false;
    bool m_committed = false;
    bool m_timedOut = false;
};

} // namespace orvelle
