#include "UploadConnection.h"

#include "core/Logging.h"
#include "net/Answers.h"

#include <QSslSocket>
#include <QTimer>
#include <algorithm>

namespace orvelle {

namespace {
// Enough queued to keep the connection busy, little enough that the file is
// read as it goes out rather than into memory.
constexpr qint64 queuedBytes = 64 * 1024;
constexpr qint64 pieceBytes = 32 * 1024;
constexpr qint64 reportEveryBytes = 256 * 1024;
// An unused connection is closed before a service would drop it under us.
constexpr std::chrono::seconds idleLimit{30};
} // namespace

UploadConnection::UploadConnection(const QUrl &address, const QSslConfiguration &tls,
                                   QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_tls(tls)
{}

// Made on first use, on the connection's thread: the first socket of the
// process loads the TLS library, which takes ten milliseconds and more.
void UploadConnection::makeSocket()
{
    m_socket = new QSslSocket(this);
    m_quiet = new QTimer(this);
    QSslConfiguration http1 = m_tls;
    http1.setAllowedNextProtocols({QByteArray(QSslConfiguration::NextProtocolHttp1_1)});
    m_socket->setSslConfiguration(http1);
    m_quiet->setSingleShot(true);

    const auto moved = [this] {
        if (m_busy)
            m_quiet->start(m_timeout);
    };
    connect(m_socket, &QSslSocket::connected, this, [this, moved] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        moved();
    });
    connect(m_socket, &QSslSocket::encrypted, this, [this, moved] {
        moved();
        feedSocket();
    });
    connect(m_socket, &QSslSocket::bytesWritten, this, [this, moved](qint64 bytes) {
        moved();
        m_sent += bytes;
        const qint64 body = m_total - m_headBytes;
        const qint64 sent = std::clamp(m_sent - m_headBytes, qint64(0), body);
        // Each report crosses to the GUI thread and redraws the progress.
        if (sent == body || sent - m_reported >= reportEveryBytes) {
            m_reported = sent;
            emit progress(sent, body);
        }
        feedSocket();
    });
    connect(m_socket, &QSslSocket::encryptedBytesWritten, this, [this, moved] {
        moved();
        feedSocket();
    });
    connect(m_socket, &QSslSocket::readyRead, this, &UploadConnection::onReadable);
    connect(m_socket, &QSslSocket::errorOccurred, this, &UploadConnection::onSocketError);
    connect(m_socket, &QSslSocket::disconnected, this, &UploadConnection::onClosedByPeer);
    connect(m_socket, &QSslSocket::sslErrors, this, [](const QList<QSslError> &errors) {
        for (const QSslError &error : errors)
            qCDebug(lcNet) << "file store TLS:" << error.errorString();
    });
    connect(m_quiet, &QTimer::timeout, this, [this] {
        if (m_busy)
            return fail(QStringLiteral("no progress for %1 ms").arg(m_timeout.count()), true);
        close();
    });
}

UploadConnection::~UploadConnection()
{
    if (m_socket)
        m_socket->disconnect(this);
}

void UploadConnection::post(const QByteArray &contentType, const QByteArray &before, QFile *file,
                            const QByteArray &after, std::chrono::milliseconds timeout)
{
    m_file.reset(file);
    if (!m_socket)
        makeSocket();
    if (m_gone) {
        // Closed while the uploader was choosing it.
        emit failed(QStringLiteral("the kept connection had closed"), true);
        return;
    }
    m_timeout = timeout;
    m_fileBytes = file->size();
    const qint64 bodyBytes = before.size() + m_fileBytes + after.size();
    const QByteArray head = "POST " + m_address.path(QUrl::FullyEncoded).toLatin1()
                            + " HTTP/1.1\r\nHost: " + m_address.authority().toLatin1()
                            + "\r\nContent-Type: " + contentType + "\r\nContent-Length: "
                            + QByteArray::number(bodyBytes) + "\r\nConnection: keep-alive\r\n\r\n";
    m_front = head + before;
    m_back = after;
    m_headBytes = head.size();
    m_total = head.size() + bodyBytes;
    m_handedOver = m_sent = m_reported = 0;
    m_answer = std::make_unique<HttpAnswerReader>(answers::maxAnswerBytes);
    m_busy = true;
    m_quiet->start(m_timeout);
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_socket->connectToHostEncrypted(m_address.host(), quint16(m_address.port(443)));
    else
        feedSocket();
}

void UploadConnection::feedSocket()
{
    if (!m_busy || !m_socket->isEncrypted())
        return;
    while (m_handedOver < m_total
           && m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite() < queuedBytes) {
        const qint64 inFront = m_front.size();
        const qint64 fileEnd = inFront + m_fileBytes;
        QByteArray piece;
        if (m_handedOver < inFront) {
            piece = m_front.mid(m_handedOver, pieceBytes);
        } else if (m_handedOver < fileEnd) {
            piece = m_file->read(std::min(pieceBytes, fileEnd - m_handedOver));
            // A file that shrank or cannot be read would break the length sent.
            if (piece.isEmpty())
                return fail(QStringLiteral("cannot read %1: %2")
                                .arg(m_file->fileName(), m_file->errorString()));
        } else {
            piece = m_back.mid(m_handedOver - fileEnd, pieceBytes);
        }
        m_socket->write(piece);
        m_handedOver += piece.size();
    }
}

void UploadConnection::onReadable()
{
    const QByteArray bytes = m_socket->readAll();
    if (!m_busy) {
        // Bytes nobody asked for: the connection is out of step.
        if (!bytes.isEmpty())
            close();
        return;
    }
    if (bytes.isEmpty())
        return;
    m_quiet->start(m_timeout);
    switch (m_answer->feed(bytes)) {
    case HttpAnswerReader::State::Done:
        return finishAnswer();
    case HttpAnswerReader::State::Failed:
        return fail(m_answer->error());
    case HttpAnswerReader::State::Reading:
        return;
    }
}

void UploadConnection::onSocketError()
{
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return onClosedByPeer();
    if (m_busy)
        fail(m_socket->errorString());
    else
        onClosedByPeer();
}

void UploadConnection::onClosedByPeer()
{
    if (!m_busy)
        return close();
    onReadable();
    if (!m_busy)
        return;
    if (m_answer->closed() == HttpAnswerReader::State::Done)
        finishAnswer();
    else
        fail(m_answer->error());
}

void UploadConnection::finishAnswer()
{
    m_busy = false;
    m_used = true;
    m_quiet->stop();
    // An answer that came before the whole body went leaves the rest unsent.
    const bool reusable = m_answer->keepAlive() && m_handedOver == m_total
                          && m_socket->bytesToWrite() == 0
                          && m_socket->state() == QAbstractSocket::ConnectedState;
    const int status = m_answer->status();
    const QByteArray body = m_answer->body();
    m_answer.reset();
    m_file.reset();
    m_front.clear();
    m_back.clear();
    if (reusable)
        m_quiet->start(idleLimit);
    else
        dropSocket();
    emit answered(status, body, reusable);
}

void UploadConnection::fail(const QString &why, bool timedOut)
{
    if (!m_busy)
        return;
    m_busy = false;
    const bool mayRetry = m_used && !timedOut && m_answer->status() == 0;
    m_answer.reset();
    m_file.reset();
    dropSocket();
    emit failed(why, mayRetry);
}

// A kept connection goes: closed by the service, spoiled, or unused too long.
void UploadConnection::close()
{
    if (m_gone)
        return;
    dropSocket();
    emit closed();
}

// The connection is spent: nothing of its socket reaches this object again.
void UploadConnection::dropSocket()
{
    m_gone = true;
    m_quiet->stop();
    m_socket->disconnect(this);
    m_socket->abort();
}

} // namespace orvelle
