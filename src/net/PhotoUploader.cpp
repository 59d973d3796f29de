#include "PhotoUploader.h"

#include "core/Jpeg.h"
#include "core/Logging.h"
#include "net/Answers.h"
#include "net/Endpoints.h"

#include <QDir>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonObject>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtConcurrent/QtConcurrentRun>

namespace orvelle {

// A staged photo is a private picture on disk: whoever finishes with it, or
// the uploader going away first, removes it.
struct PhotoUploader::StagedFiles
{
    QMutex mutex;
    QSet<QString> files;

    void add(const QString &file)
    {
        QMutexLocker lock(&mutex);
        files.insert(file);
    }
    void remove(const QString &file)
    {
        QMutexLocker lock(&mutex);
        files.remove(file);
        QFile::remove(file);
    }
    void removeAll()
    {
        QMutexLocker lock(&mutex);
        for (const QString &file : std::as_const(files))
            QFile::remove(file);
        files.clear();
    }
};

// Encodes one photo into a new file of its own; "" when that fails. Runs on
// the thread pool: a 12-megapixel JPEG takes far longer than a frame.
QString PhotoUploader::stage(const QImage &photo, const QString &directory,
                             const std::shared_ptr<StagedFiles> &staged)
{
    QTemporaryFile file(directory + QStringLiteral("/orvelle-upload-XXXXXX.jpg"));
    file.setAutoRemove(false);
    if (!file.open())
        return {};
    staged->add(file.fileName());
    const QByteArray jpeg = uploadJpeg(photo);
    if (jpeg.isEmpty() || file.write(jpeg) != jpeg.size()) {
        qCDebug(lcNet) << "photo not staged:"
                       << (jpeg.isEmpty() ? "not encoded" : file.errorString());
        file.close();
        staged->remove(file.fileName());
        return {};
    }
    return file.fileName();
}

namespace {
QByteArray newBoundary()
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return "orvelle.boundary." + QByteArray::number(random, 16);
}
} // namespace

struct PhotoUploader::Batch
{
    QPointer<QObject> context;
    bool guarded = false;
    DoneHandler done;
    bool allSucceeded = true;
    QStringList urls;
    int outstanding = 0;
};

PhotoUploader::PhotoUploader(const AppConfig &config, std::shared_ptr<TlsTrust> trust,
                             QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_trust(trustOrOwn(std::move(trust), config.caFile))
    , m_network(new QNetworkAccessManager(this))
    , m_staged(std::make_shared<StagedFiles>())
    , m_stagingDirectory(QDir::tempPath())
{}

PhotoUploader::~PhotoUploader()
{
    // Encodings still running hold nothing of ours, but their files must not
    // outlive the uploader: let them finish, then remove what no answer will
    // (an unlinked file still open in a request body is fine).
    m_encoders.waitForDone();
    m_staged->removeAll();
}

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

void PhotoUploader::uploadPhotos(const QList<QImage> &photos, QObject *context, DoneHandler done)
{
    auto batch = std::make_shared<Batch>();
    batch->context = context;
    batch->guarded = context != nullptr;
    batch->done = std::move(done);
    batch->outstanding = int(photos.size());
    if (photos.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [batch] {
                if ((!batch->guarded || batch->context) && batch->done)
                    batch->done(true, {});
            },
            Qt::QueuedConnection);
        return;
    }
    for (const QImage &photo : photos) {
        QtConcurrent::run(&m_encoders, stage, photo, m_stagingDirectory, m_staged)
            .then(this, [this, batch](const QString &stagedFile) {
                if (stagedFile.isEmpty())
                    photoDone(batch, stagedFile, std::nullopt);
                else
                    m_trust->whenReady(this, [this, batch, stagedFile](const auto &tls) {
                        send(stagedFile, tls, [this, batch, stagedFile](const auto &address) {
                            photoDone(batch, stagedFile, address);
                        });
                    });
            });
    }
}

void PhotoUploader::uploadFile(const QString &jpegFile, QObject *context, FileDone done)
{
    const QPointer<QObject> guard(context);
    m_trust->whenReady(this, [=, this](const QSslConfiguration &tls) {
        send(jpegFile, tls, [guard, done](const std::optional<QString> &address) {
            if (guard && done)
                done(address);
        });
    });
}

void PhotoUploader::send(const QString &fileName, const QSslConfiguration &tls, FileDone done)
{
    auto *body = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    body->setBoundary(newBoundary());
    auto *file = new QFile(fileName, body);
    if (!file->open(QIODevice::ReadOnly)) {
        delete body;
        return done(std::nullopt);
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
    QNetworkReply *reply = m_network->post(request, body);
    body->setParent(reply);
    answers::limitSize(reply);
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        reply->deleteLater();
        std::optional<QString> address;
        if (answers::transferFailed(reply)) {
            qCDebug(lcNet) << "photo upload failed:" << reply->errorString();
        } else if (const auto json = answers::parseJson(reply->readAll())) {
            address = photoAddress(*json);
        }
        done(address);
    });
}

void PhotoUploader::photoDone(const std::shared_ptr<Batch> &batch, const QString &stagedFile,
                              const std::optional<QString> &address)
{
    // Unlinking is safe while the body may still hold the file open.
    if (!stagedFile.isEmpty())
        m_staged->remove(stagedFile);
    if (address)
        batch->urls.append(*address);
    else
        batch->allSucceeded = false;
    if (--batch->outstanding > 0)
        return;
    qCDebug(lcNet) << "photo upload ended, all stored:" << batch->allSucceeded;
    if ((!batch->guarded || batch->context) && batch->done)
        batch->done(batch->allSucceeded, batch->urls);
}

} // namespace orvelle
