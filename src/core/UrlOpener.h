#pragma once

#include <QUrl>
#include <optional>

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

// The address in text when it is an absolute http or https address with a
// host, parsed strictly (blanks, stray characters and broken escapes fail
// rather than being repaired into some other address); nothing otherwise.
// Addresses from scanned codes or the service go through it before being
// opened or loaded.
std::optional<QUrl> webAddress(const QString &text);

} // namespace orvelle
