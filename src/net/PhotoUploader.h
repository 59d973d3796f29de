#pragma once

#include "core/AppConfig.h"
#include "net/TlsTrust.h"

#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QThread>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orvelle {

class UploadConnection;

// Stores photo files in the file store and hands back their addresses.
class PhotoUploader : public QObject
{
    Q_OBJECT

public:
    // The stored photo's address, or nothing when it was not stored; then
    // `refused` tells an answer that said no (or a file that cannot be read)
    // from no answer at all, which a later try may mend.
    using FileDone = std::function<void(const std::optional<QString> &address, bool refused)>;
    // Request body bytes sent so far of all there are to send.
    using FileProgress = std::function<void(qint64 sent, qint64 total)>;

    explicit PhotoUploader(const AppConfig &config, std::shared_ptr<TlsTrust> trust = {},
                           QObject *parent = nullptr);
    ~PhotoUploader() override;

    // Sends a JPEG file as it is on disk (no encoding, no staging); `done`
    // runs once on the GUI thread, or not at all once `context` is destroyed,
    // which also drops the transfer. `progress` runs as the body goes.
    void uploadFile(const QString &jpegFile, QObject *context, FileDone done,
                    FileProgress progress = {});

    QString uploadAddress() const;
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The address one file-store answer gives, or nothing when it failed.
    static std::optional<QString> photoAddress(const QJsonValue &answer);

private:
    struct Upload
    {
        QString file;
        QPointer<QObject> context;
        FileDone done;
        FileProgress progress;
        QSslConfiguration tls;
        // Sent again once, on a new connection, after a kept one failed.
        bool again = false;
    };
    // An upload on its connection; `live` ends when either side goes first,
    // so a late signal of the connection's thread finds nothing to do.
    struct Flight
    {
        Upload upload;
        QPointer<UploadConnection> connection;
        QMetaObject::Connection contextGone;
        bool live = true;
    };

    void startWaiting();
    void start(Upload upload);
    UploadConnection *takeIdle(const QSslConfiguration &tls);
    void land(Flight &flight, bool kept);
    void dropIdle();

    AppConfig m_config;
    std::shared_ptr<TlsTrust> m_trust;
    std::deque<Upload> m_waiting;
    // Uploads on their way, at most maxConnections.
    std::vector<std::shared_ptr<Flight>> m_flights;
    // Connections kept open between uploads, most recent last.
    std::vector<QPointer<UploadConnection>> m_idle;
    std::chrono::milliseconds m_timeout{60000};
    // Where the connections live: handshakes and encryption take tens of
    // milliseconds when a sheet's photos all connect at once.
    QThread m_network;
};

} // namespace orvelle
