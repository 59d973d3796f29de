#include "Answers.h"

#include "core/AppConfig.h"
#include "core/Logging.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>

namespace orvelle::answers {

namespace {
constexpr char oversized[] = "orvelle.oversized";
}

void followNoRedirect(QNetworkAccessManager *network)
{
    network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void limitSize(QNetworkReply *reply, Cut when)
{
    // The size is judged on this thread. The bound keeps the reply's own
    // buffer small, though Qt's network thread may still read on meanwhile.
    reply->setReadBufferSize(maxAnswerBytes + 1);
    const auto cut = [reply, when] {
        // Marked at once: the whole answer may be in before the abort runs.
        reply->setProperty(oversized, true);
        const auto abort = [reply] {
            if (reply->isRunning()) {
                qCDebug(lcNet) << "answer larger than" << maxAnswerBytes << "bytes, aborted";
                reply->abort();
            }
        };
        if (when == Cut::AtOnce)
            abort();
        else
            QMetaObject::invokeMethod(reply, abort, Qt::QueuedConnection);
    };
    // An announced length is known before the body: waiting for the body's
    // progress could let tens of megabytes in first.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, cut] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxAnswerBytes)
            cut();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [cut](qint64 received, qint64 total) {
                         if (received > maxAnswerBytes || total > maxAnswerBytes)
                             cut();
                     });
}

bool transferFailed(const QNetworkReply *reply)
{
    if (reply->property(oversized).toBool())
        return true;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return true;
    if (status.toInt() >= 300 && status.toInt() < 400) {
        qCDebug(lcNet) << "redirect not followed:" << status.toInt();
        return true;
    }
    const int error = reply->error();
    // Content (2xx) and server (4xx) error classes are QNetworkReply's names
    // for HTTP statuses; everything else means the answer did not arrive whole.
    const bool statusOnly =
        (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError
            && error <= QNetworkReply::UnknownServerError)
        || error == QNetworkReply::ProtocolInvalidOperationError;
    return error != QNetworkReply::NoError && !statusOnly;
}

bool refusedBeforeSending(const QNetworkReply *reply)
{
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return true;
    default:
        return false;
    }
}

std::optional<QJsonValue> parseJson(const QByteArray &body)
{
    // QJsonDocument takes only arrays and objects at the top; wrapped in an
    // array, a bare scalar is an array of exactly one element.
    QJsonParseError error;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + body + ']', &error);
    if (error.error != QJsonParseError::NoError || !wrapped.isArray()
        || wrapped.array().size() != 1)
        return std::nullopt;
    return wrapped.array().first();
}

QList<QSslCertificate> systemCaCertificates()
{
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QStringList dirs = qEnvironmentVariable("SSL_CERT_DIR").split(u':', Qt::SkipEmptyParts);
    if (file.isEmpty() && dirs.isEmpty())
        return QSslConfiguration::systemCaCertificates();
    QList<QSslCertificate> certificates;
    if (!file.isEmpty())
        certificates += QSslCertificate::fromPath(file, QSsl::Pem);
    for (const QString &dir : dirs)
        certificates +=
            QSslCertificate::fromPath(QDir(dir).filePath(QStringLiteral("*")), QSsl::Pem,
                                      QSslCertificate::PatternSyntax::Wildcard);
    return certificates;
}

QSslConfiguration tlsConfiguration(const QString &caFile)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!caFile.isEmpty()) {
        // Adding a CA turns off Qt's on-demand use of the system store, so
        // the whole set is given.
        const auto extra = caCertificatesIn(caFile);
        if (extra.isEmpty())
            qCDebug(lcNet) << "no CA certificate in" << caFile;
        tls.setCaCertificates(systemCaCertificates() + extra);
    }
    return tls;
}

} // namespace orvelle::answers
