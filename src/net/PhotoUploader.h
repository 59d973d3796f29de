#pragma once

#include "core/AppConfig.h"
#include "net/TlsTrust.h"

#include <QJsonValue>
#include <QObject>
#include <QSslConfiguration>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace orvelle {

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
    void send(const QString &file, const QSslConfiguration &tls, QObject *context, FileDone done,
              FileProgress progress);

    // Qt opens at most six connections to a host for one manager, and does
    // all of a manager's TLS on one thread: a sheet's nine photos would go in
    // two rounds on one core. Each photo goes to the lane sending fewest.
    struct Lane
    {
        QNetworkAccessManager *network = nullptr;
        int sending = 0;
    };

    AppConfig m_config;
    std::shared_ptr<TlsTrust> m_trust;
    std::array<Lane, 2> m_lanes;
    std::chrono::milliseconds m_timeout{60000};
};

} // namespace orvelle
