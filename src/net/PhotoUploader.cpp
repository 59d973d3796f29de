#include "PhotoUploader.h"

#include "core/Logging.h"
#include "net/Answers.h"
#include "net/Endpoints.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRandomGenerator>
#include <algorithm>

namespace orvelle {

namespace {
QByteArray newBoundary()
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return "orvelle.boundary." + QByteArray::number(random, 16);
}
} // namespace

PhotoUploader::PhotoUploader(const AppConfig &config, std::shared_ptr<TlsTrust> trust,
                             QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_trust(trustOrOwn(std::move(trust), config.caFile))
{
    for (Lane &lane : m_lanes) {
        lane.network = new QNetworkAccessManager(this);
        answers::followNoRedirect(lane.network);
    }
}

PhotoUploader::~PhotoUploader() = default;

QString PhotoUploader::uploadAddress() const
{
    return QStringLiteral("https://%1:%2%3")
        .arg(m_config.fileStoreHost)
        .arg(endpoints::port)
        .arg(endpoints::photoUpload);
}

std::optional<QString> PhotoUploader::photoAddress(const QJsonValue &answer)
{
    const QJsonObject object = answer.toObject();
    const QJsonValue success = object.value(QLatin1String("success"));
    const bool stored =
        success.isBool() ? success.toBool() : success.isDouble() && success.toDouble() == 1.0;
    const QJsonValue url = object.value(QLatin1String("httpUrl"));
    if (!answer.isObject() || !stored || !url.isString())
        return std::nullopt;
    const QString text = url.toString();
    // An address that already has its scheme must not get a second one.
    if (text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return text;
    return QStringLiteral("http://") + text;
}

void PhotoUploader::uploadFile(const QString &jpegFile, QObject *context, FileDone done,
                               FileProgress progress)
{
    const QPointer<QObject> guard(context);
    m_trust->whenReady(this, [=, this](const QSslConfiguration &tls) {
        // Nobody waits for it any more.
        if (!guard)
            return;
        send(
            jpegFile, tls, guard,
            [guard, done](const std::optional<QString> &address, bool refused) {
                if (guard && done)
                    done(address, refused);
            },
            progress);
    });
}

void PhotoUploader::send(const QString &fileName, const QSslConfiguration &tls, QObject *context,
                         FileDone done, FileProgress progress)
{
    auto *body = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    body->setBoundary(newBoundary());
    auto *file = new QFile(fileName, body);
    if (!file->open(QIODevice::ReadOnly)) {
        delete body;
        return done(std::nullopt, true);
    }
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("image/*"));
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QByteArrayLiteral("form-data; name=\"file\"; filename=\"image.png\""));
    part.setBodyDevice(file);
    body->append(part);

    QNetworkRequest request{QUrl(uploadAddress())};
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("multipart/form-data; boundary=" + body->boundary()));
    request.setTransferTimeout(int(m_timeout.count()));
    request.setSslConfiguration(tls);
    Lane &lane =
        *std::min_element(m_lanes.begin(), m_lanes.end(),
                          [](const Lane &a, const Lane &b) { return a.sending < b.sending; });
    ++lane.sending;
    QNetworkReply *reply = lane.network->post(request, body);
    body->setParent(reply);
    answers::limitSize(reply);
    connect(context, &QObject::destroyed, reply, &QNetworkReply::abort);
    if (progress)
        connect(reply, &QNetworkReply::uploadProgress, context, std::move(progress));
    connect(reply, &QNetworkReply::finished, this, [reply, &lane, done = std::move(done)] {
        --lane.sending;
        reply->deleteLater();
        std::optional<QString> address;
        const bool answered = !answers::transferFailed(reply);
        if (!answered) {
            qCDebug(lcNet) << "photo upload failed:" << reply->errorString();
        } else if (const auto json = answers::parseJson(reply->readAll())) {
            address = photoAddress(*json);
        }
        done(address, answered && !address);
    });
}

} // namespace orvelle
