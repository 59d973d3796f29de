#pragma once

#include "net/HttpAnswerReader.h"

#include <QFile>
#include <QObject>
#include <QSslConfiguration>
#include <QUrl>
#include <chrono>
#include <memory>

class QSslSocket;
class QTimer;

namespace orvelle {

// One HTTPS connection to the file store. It carries one upload at a time and
// stays open between them while the service keeps it. It lives on the
// uploads' own thread: TLS handshakes and encryption stay off the GUI thread.
//
// The socket is held to the link: the kernel keeps little unsent data, so
// what counts as sent is what the far end has acknowledged; a stopped upload
// is reset, so the kernel drops what it still holds instead of sending it.
class UploadConnection : public QObject
{
    Q_OBJECT

public:
    // `sessionTicket`, when not empty, resumes an earlier connection's TLS
    // session instead of a full handshake.
    UploadConnection(const QUrl &address, const QSslConfiguration &tls,
                     const QByteArray &sessionTicket = {}, QObject *parent = nullptr);
    ~UploadConnection() override;

    // POSTs a body of `contentType` to the address: `before`, the file's
    // bytes as they are on disk, then `after`; takes the open file. Connects
    // first when not connected. Ends in answered(), or in failed() also when
    // nothing moved for `timeout`. Called on the connection's thread.
    void post(const QByteArray &contentType, const QByteArray &before, QFile *file,
              const QByteArray &after, std::chrono::milliseconds timeout);
    // Stops the upload at its next safe point: one still sending its body is
    // reset and ends in failed(); one whose whole body has gone waits for
    // its answer, since the service most likely has it. Connection's thread.
    void stopAtSafePoint();

    // Set once at construction, without the session ticket.
    const QSslConfiguration &tls() const { return m_tls; }

signals:
    // Body bytes the far end has acknowledged, of all the body's bytes; a
    // few times a second while they move.
    void progress(qint64 sent, qint64 total);
    // The whole body has left the client's own buffers.
    void bodyWritten();
    // `kept`: the connection may carry the next upload.
    void answered(int status, const QByteArray &body, bool kept);
    // `mayRetry`: a connection kept from an earlier upload turned out closed
    // before any byte of this body went, so nothing of it reached the service.
    void failed(const QString &why, bool mayRetry);
    // A kept connection closed (by the service, or unused too long).
    void closed();
    // A TLS session the next new connection can resume.
    void sessionTicketReceived(const QByteArray &ticket);

private:
    void makeSocket();
    void connectSocket();
    // Little unsent data per connection, so progress follows the link.
    void boundUnsentBytes();
    void feedSocket();
    void reportProgress(bool final = false);
    qint64 bodyBytesAcknowledged() const;
    bool closedMeanwhile() const;
    void onReadable();
    void onSocketError();
    void onClosedByPeer();
    void finishAnswer();
    void fail(const QString &why);
    void close();
    void dropSocket(bool reset);

    QUrl m_address;
    QSslConfiguration m_tls;
    QByteArray m_sessionTicket;
    std::chrono::milliseconds m_timeout{0};
    std::chrono::milliseconds m_idleLimit;
    QSslSocket *m_socket = nullptr;
    QTimer *m_quiet = nullptr;
    QTimer *m_report = nullptr;
    bool m_busy = false;
    bool m_used = false;
    bool m_gone = false;

    // The upload in flight.
    QByteArray m_front;
    std::unique_ptr<QFile> m_file;
    QByteArray m_back;
    qint64 m_headBytes = 0;
    qint64 m_fileBytes = 0;
    qint64 m_total = 0;
    qint64 m_handedOver = 0;
    qint64 m_encrypted = 0;
    qint64 m_reported = 0;
    bool m_bodyWritten = false;
    std::unique_ptr<HttpAnswerReader> m_answer;
};

} // namespace orvelle
