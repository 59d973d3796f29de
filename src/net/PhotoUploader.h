#pragma once

#include "core/AppConfig.h"
#include "net/TlsTrust.h"

#include <QImage>
#include <QJsonValue>
#include <QObject>
#include <QSslConfiguration>
#include <QStringList>
#include <QThreadPool>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace orvelle {

// Stores photos in the file store, all at once, and hands back their addresses.
class PhotoUploader : public QObject
{
    Q_OBJECT

public:
    // `urls` in the order the answers arrived; callers discard them unless
    // allSucceeded.
    using DoneHandler = std::function<void(bool allSucceeded, const QStringList &urls)>;
    // The stored photo's address, or nothing when it was not stored.
    using FileDone = std::function<void(const std::optional<QString> &address)>;

    explicit PhotoUploader(const AppConfig &config, std::shared_ptr<TlsTrust> trust = {},
                           QObject *parent = nullptr);
    ~PhotoUploader() override;

    // Calls `done` exactly once on the GUI thread after every upload has
    // ended, or not at all once `context` is destroyed; uploads already running
    // still run to their end. An empty list ends right after this call.
    void uploadPhotos(const QList<QImage> &photos, QObject *context, DoneHandler done);

    // Sends a JPEG file as it is on disk (no encoding, no staging); `done`
    // runs once on the GUI thread, or not at all once `context` is destroyed.
    void uploadFile(const QString &jpegFile, QObject *context, FileDone done);

    QString uploadAddress() const;
    // Where the request bodies are staged; the system temporary folder by default.
    void setStagingDirectory(const QString &directory) { m_stagingDirectory = directory; }
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The address one file-store answer gives, or nothing when it failed.
    static std::optional<QString> photoAddress(const QJsonValue &answer);

private:
    struct Batch;
    struct StagedFiles;
    static QString stage(const QImage &photo, const QString &directory,
                         const std::shared_ptr<StagedFiles> &staged);
    void send(const QString &file, const QSslConfiguration &tls, FileDone done);
    void photoDone(const std::shared_ptr<Batch> &batch, const QString &stagedFile,
                   const std::optional<QString> &address);

    AppConfig m_config;
    std::shared_ptr<TlsTrust> m_trust;
    QNetworkAccessManager *m_network;
    // Encoding runs at idle priority so the GUI thread always gets a core.
    QThreadPool m_encoders;
    // Files staged and not yet removed; shared with the encoders.
    std::shared_ptr<StagedFiles> m_staged;
    QString m_stagingDirectory;
    std::chrono::milliseconds m_timeout{60000};
};

} // namespace orvelle
