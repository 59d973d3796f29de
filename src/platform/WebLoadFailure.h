#pragma once

#include <QObject>
#include <QString>

namespace orvelle {

// Why a page did not load, in the words a user is shown, and whether loading
// it again can help. Decided from what the web engine reports, never shown as
// the engine's own error names.
class WebLoadFailure
{
    Q_GADGET

public:
    // The engine's error domains (WebEngineLoadingInfo.ErrorDomain), by value.
    enum class Domain { None, Internal, Connection, Certificate, Http, Ftp, Dns, HttpStatus };
    Q_ENUM(Domain)

    enum class Kind {
        None, // loaded, still loading, or left on purpose
        Offline,
        HostNotFound,
        Unreachable,
        TimedOut,
        Interrupted,
        Certificate,
        NotFound,
        Refused,
        ServerError,
        Other,
    };

    WebLoadFailure() = default;
    explicit WebLoadFailure(Kind kind)
        : m_kind(kind)
    {}

    // `code`: the engine's error code, an HTTP status in the HttpStatus
    // domain; `committed`: the page had begun to arrive.
    static WebLoadFailure of(Domain domain, int code, bool committed);

    Kind kind() const { return m_kind; }
    bool failed() const { return m_kind != Kind::None; }
    QString text() const;
    // Only where another try may go otherwise: a missing page or a bad
    // certificate stays as it is.
    bool retryOffered() const;

private:
    Kind m_kind = Kind::None;
};

} // namespace orvelle
