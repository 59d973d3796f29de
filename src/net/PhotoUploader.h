#pragma once

#include "core/AppConfig.h"
#include "net/TlsTrust.h"

#include <QFile>
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
//
// Photos go one after another over the uploader's own HTTPS connections, not
// the network manager's: on an inspector's slow link the progress must follow
// what crossed the link (little unsent data per socket, counted from the
// far end's acknowledgements), a photo set aside must stop at once (a reset,
// so the kernel sends nothing more of it), and a kept connection must be
// known fresh before a body goes on it. QNetworkAccessManager gives access to
// none of its sockets. What it gave is kept: TLS session resumption, a
// User-Agent, the application proxy, and answers read by a fuzzed reader.
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

    // Stops the uploads `context` waits for at their next safe point: those
    // not begun and those still sending their body end at once, nothing more
    // of them sent; one whose whole body went gets up to `patience` for its
    // answer, since the file store most likely has it. Each `done` still
    // runs once, later, with the photo's address or with nothing.
    void stopAtSafePoint(QObject *context, std::chrono::milliseconds patience);

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
        // The next photo may start: this one's body has left the client.
        bool bodyWritten = false;
    };

    void startWaiting();
    bool mayStartAnother() const;
    void start(Upload upload);
    void follow(const std::shared_ptr<Flight> &flight);
    void onAnswered(Flight &flight, int status, const QByteArray &body, bool kept);
    void onFailed(Flight &flight, const QString &why, bool mayRetry);
    void sendBody(UploadConnection *connection, std::unique_ptr<QFile> file);
    std::vector<FileDone> takeWaiting(QObject *context);
    UploadConnection *newConnection(const QSslConfiguration &tls);
    UploadConnection *takeIdle(const QSslConfiguration &tls);
    void land(Flight &flight, bool kept);
    void dropIdle();

    AppConfig m_config;
    std::shared_ptr<TlsTrust> m_trust;
    std::deque<Upload> m_waiting;
    // Uploads on their way, oldest first.
    std::vector<std::shared_ptr<Flight>> m_flights;
    // The last TLS session a connection received, for the configuration it
    // was made with: new connections resume it.
    QByteArray m_sessionTicket;
    QSslConfiguration m_ticketTls;
    // Connections kept open between uploads, most recent last.
    std::vector<QPointer<UploadConnection>> m_idle;
    std::chrono::milliseconds m_timeout{60000};
    // Where the connections live: handshakes and encryption take tens of
    // milliseconds when a sheet's photos all connect at once.
    QThread m_network;
};

} // namespace orvelle
