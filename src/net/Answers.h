#pragma once

#include <QJsonValue>
#include <QSslConfiguration>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// What the service client and the photo upload share in reading an answer.
namespace orvelle::answers {

// Larger answers are cut off: a broken or hostile service must not be able to
// fill the handset's memory.
inline constexpr qint64 maxAnswerBytes = 16 * 1024 * 1024;

// A 307 or 308 would send the body (password, token, a record) again to
// wherever the answer points; a redirect is a failure like any other.
void followNoRedirect(QNetworkAccessManager *network);

// Aborts the reply as soon as its answer is known to exceed maxAnswerBytes,
// and transferFailed() then says so even if the whole answer came in first.
// At once keeps the least in memory; Qt Quick's image loader is left loading
// until its time-out when its reply is aborted inside the reply's own signal,
// so its replies are cut from the event loop.
enum class Cut { AtOnce, FromTheEventLoop };
void limitSize(QNetworkReply *reply, Cut when = Cut::AtOnce);

// True when no usable answer arrived (no connection, TLS failure, time-out,
// dropped connection, size limit, a redirect). An answer with an HTTP error status is
// still an answer: only its body decides.
bool transferFailed(const QNetworkReply *reply);

// True when the failure proves nothing reached the service: the connection
// was refused, the host unknown or the TLS handshake failed.
bool refusedBeforeSending(const QNetworkReply *reply);

// Parses a body as JSON, top-level scalars included; nothing when the body is
// not valid JSON.
std::optional<QJsonValue> parseJson(const QByteArray &body);

// The system's CAs: those named by OpenSSL's SSL_CERT_FILE / SSL_CERT_DIR
// when set (Qt 6.4 ignores both), else the ones Qt finds on the machine.
QList<QSslCertificate> systemCaCertificates();

// System CAs plus the certificates (PEM or DER) in caFile, when given.
// Verification is always on.
QSslConfiguration tlsConfiguration(const QString &caFile);

} // namespace orvelle::answers
