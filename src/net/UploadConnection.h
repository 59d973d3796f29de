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
// QNetworkAccessManager leaves Nagle's algorithm on and offers no way to turn
// it off: the last partial segment of every body then waits for the
// service's delayed acknowledgement. Here the socket sends each write at once.
class UploadConnection : public QObject
{
    Q_OBJECT

public:
    UploadConnection(const QUrl &address, const QSslConfiguration &tls, QObject *parent = nullptr);
    ~UploadConnection() override;

    // POSTs a body of `contentType` to the address: `before`, the file's
    // bytes as they are on disk, then `after`; takes the open file. Connects
    // first when not connected. Ends in answered(), or in failed() also when
    // nothing moved for `timeout`. Called on the connection's thread.
    void post(const QByteArray &contentType, const QByteArray &before, QFile *file,
              const QByteArray &after, std::chrono::milliseconds timeout);

    // Set once at construction.
    const QSslConfiguration &tls() const { return m_tls; }

signals:
    // Body bytes the socket has sent, of all the body's bytes.
    void progress(qint64 sent, qint64 total);
    // `kept`: the connection may carry the next upload.
    void answered(int status, const QByteArray &body, bool kept);
    // `mayRetry`: a connection kept from an earlier upload failed before any
    // answer came, most likely closed by the service meanwhile.
    void failed(const QString &why, bool mayRetry);
    // A kept connection closed (by the service, or unused too long).
    void closed();

private:
    void makeSocket();
    void feedSocket();
    void onReadable();
    void onSocketError();
    void onClosedByPeer();
    void finishAnswer();
    void fail(const QString &why, bool timedOut = false);
    void close();
    void dropSocket();

    QUrl m_address;
    QSslConfiguration m_tls;
    std::chrono::milliseconds m_timeout{0};
    QSslSocket *m_socket = nullptr;
    QTimer *m_quiet = nullptr;
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
    qint64 m_sent = 0;
    qint64 m_reported = 0;
    std::unique_ptr<HttpAnswerReader> m_answer;
};

} // namespace orvelle
