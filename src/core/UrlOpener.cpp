#include "UrlOpener.h"

#include <QDesktopServices>

namespace orvelle {

namespace {
class DesktopUrlOpener final : public UrlOpener
{
public:
    void open(const QUrl &url) override { QDesktopServices::openUrl(url); }
};
} // namespace

UrlOpener &UrlOpener::system()
{
    static DesktopUrlOpener opener;
    return opener;
}

std::optional<QUrl> webAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return url;
}

} // namespace orvelle
