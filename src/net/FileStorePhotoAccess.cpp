#include "FileStorePhotoAccess.h"

#include "core/Logging.h"
#include "net/Answers.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <optional>

namespace orvelle {

namespace {

// A request that is not sent: it fails as soon as the caller listens.
class RefusedReply final : public QNetworkReply
{
public:
    RefusedReply(const QNetworkRequest &request, QNetworkAccessManager::Operation operation,
                 QObject *parent)
        : QNetworkReply(parent)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(operation);
        open(QIODevice::ReadOnly);
        setError(ContentAccessDenied, QStringLiteral("not an address of a photo host"));
        QTimer::singleShot(0, this, [this] {
            emit errorOccurred(error());
            setFinished(true);
            emit finished();
        });
    }
    void abort() override {}

protected:
    qint64 readData(char *, qint64) override { return -1; }
};

class PhotoNetwork final : public QNetworkAccessManager
{
public:
    PhotoNetwork(const QStringList &hosts, const QString &caFile, std::chrono::milliseconds timeout,
                 QObject *parent)
        : QNetworkAccessManager(parent)
        , m_hosts(hosts)
        , m_caFile(caFile)
        , m_timeout(timeout)
    {
        // Qt Quick follows a redirect itself, with a new request through here.
        answers::followNoRedirect(this);
    }

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &original,
                                 QIODevice *outgoing) override
    {
        const QUrl url = original.url();
        const bool web =
            url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
        if (operation != GetOperation || !web
            || !m_hosts.contains(url.host(), Qt::CaseInsensitive)) {
            qCDebug(lcNet) << "photo not fetched from" << url.host() << "(not a photo host)";
            return new RefusedReply(original, operation, this);
        }
        QNetworkRequest request(original);
        request.setTransferTimeout(int(m_timeout.count()));
        if (url.scheme() == QLatin1String("https")) {
            // Read on the loader's thread when a photo first needs it.
            if (!m_tls)
                m_tls = answers::tlsConfiguration(m_caFile);
            request.setSslConfiguration(*m_tls);
        }
        QNetworkReply *reply = QNetworkAccessManager::createRequest(operation, request, outgoing);
        answers::limitSize(reply, answers::Cut::FromTheEventLoop);
        return reply;
    }

private:
    QStringList m_hosts;
    QString m_caFile;
    std::chrono::milliseconds m_timeout;
    std::optional<QSslConfiguration> m_tls;
};

} // namespace

FileStorePhotoAccess::FileStorePhotoAccess(const AppConfig &config,
                                           std::chrono::milliseconds timeout)
    : m_hosts(config.photoHosts())
    , m_caFile(config.caFile)
    , m_timeout(timeout)
{}

QNetworkAccessManager *FileStorePhotoAccess::create(QObject *parent)
{
    return new PhotoNetwork(m_hosts, m_caFile, m_timeout, parent);
}

} // namespace orvelle
