#pragma once

#include <QUrl>

namespace orvelle {

// Hands an address to the system's default handler (browser, store); the
// result is not awaited. Tests record the calls instead.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    virtual void open(const QUrl &url) = 0;

    // The real one, on QDesktopServices.
    static UrlOpener &system();
};

} // namespace orvelle
