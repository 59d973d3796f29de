#include "WebLoadFailure.h"

#include <optional>

namespace orvelle {

namespace {
// Chromium's network error codes that read differently to a user.
enum NetError {
    aborted = -3,
    timedOut = -7,
    networkChanged = -21,
    nameNotResolved = -105,
    internetDisconnected = -106,
    connectionTimedOut = -118,
    nameResolutionFailed = -137,
};

WebLoadFailure::Kind statusKind(int status)
{
    if (status == 404 || status == 410)
        return WebLoadFailure::Kind::NotFound;
    return status >= 500 ? WebLoadFailure::Kind::ServerError : WebLoadFailure::Kind::Refused;
}

// What some network codes mean to a user, whatever their domain.
std::optional<WebLoadFailure::Kind> networkKind(int code)
{
    switch (code) {
    case internetDisconnected:
    case networkChanged:
        return WebLoadFailure::Kind::Offline;
    case nameNotResolved:
    case nameResolutionFailed:
        return WebLoadFailure::Kind::HostNotFound;
    case timedOut:
    case connectionTimedOut:
        return WebLoadFailure::Kind::TimedOut;
    default:
        return std::nullopt;
    }
}
} // namespace

WebLoadFailure WebLoadFailure::of(Domain domain, int code, bool committed)
{
    // A navigation that was given up (a refused address, a page left) is no
    // failure of the page shown.
    if (domain == Domain::None || code == aborted)
        return WebLoadFailure();
    if (domain == Domain::HttpStatus)
        return WebLoadFailure(statusKind(code));
    if (domain == Domain::Certificate)
        return WebLoadFailure(Kind::Certificate);
    if (domain == Domain::Dns)
        return WebLoadFailure(Kind::HostNotFound);
    if (const auto kind = networkKind(code))
        return WebLoadFailure(*kind);
    if (committed)
        return WebLoadFailure(Kind::Interrupted);
    return WebLoadFailure(domain == Domain::Connection ? Kind::Unreachable : Kind::Other);
}

QString WebLoadFailure::text() const
{
    switch (m_kind) {
    case Kind::None:
        return {};
    case Kind::Offline:
        return QStringLiteral("手机没有连上网络，请连接网络后重试");
    case Kind::HostNotFound:
        return QStringLiteral("找不到这个网站，请检查网络后重试");
    case Kind::Unreachable:
        return QStringLiteral("连接不上网站，请稍后重试");
    case Kind::TimedOut:
        return QStringLiteral("网站长时间没有响应，请稍后重试");
    case Kind::Interrupted:
        return QStringLiteral("页面没有加载完，连接中断了，请重试");
    case Kind::Certificate:
        return QStringLiteral("网站的安全证书无效，为保护您的信息，页面没有打开");
    case Kind::NotFound:
        return QStringLiteral("网站上没有这个页面，可能已被删除");
    case Kind::Refused:
        return QStringLiteral("网站拒绝打开这个页面");
    case Kind::ServerError:
        return QStringLiteral("网站出了故障，请稍后重试");
    case Kind::Other:
        break;
    }
    return QStringLiteral("页面打开失败，请重试");
}

bool WebLoadFailure::retryOffered() const
{
    switch (m_kind) {
    case Kind::None:
    case Kind::Certificate:
    case Kind::NotFound:
    case Kind::Refused:
        return false;
    default:
        return true;
    }
}

} // namespace orvelle
