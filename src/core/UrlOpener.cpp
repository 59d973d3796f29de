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

} // namespace orvelle
