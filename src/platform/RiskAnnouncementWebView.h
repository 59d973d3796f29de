#pragma once

#include "WebView.h"

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

// The notice page ("风险公告") for the text of a scanned code. A scanned code
// is untrusted input: only an absolute http or https address with a host
// (one of the notice hosts, when an installation names them) is opened,
// exactly as scanned; anything else shows the link error.
class RiskAnnouncementWebView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the home screen")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString key READ keyText CONSTANT)
    Q_PROPERTY(orvelle::WebView *webView READ webView CONSTANT)
    Q_PROPERTY(QString errorText READ errorText CONSTANT)

public:
    // Empty `noticeHosts`: any host.
    explicit RiskAnnouncementWebView(const std::optional<QString> &key,
                                     const QStringList &noticeHosts = {},
                                     QObject *parent = nullptr);

    // The address a key opens, or nothing when it must not be opened.
    static std::optional<QUrl> pageAddress(const QString &key, const QStringList &noticeHosts = {});

    QString title() const { return QStringLiteral("风险公告"); }
    std::optional<QString> key() const { return m_key; }
    QString keyText() const { return m_key.value_or(QString()); }
    // Null when the key is not a page address.
    WebView *webView() const { return m_webView; }
    QString errorText() const { return QStringLiteral("链接错误，请重试"); }

private:
    std::optional<QString> m_key;
    WebView *m_webView = nullptr;
};

} // namespace orvelle
