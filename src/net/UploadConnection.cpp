#include "UploadConnection.h"

#include "core/Logging.h"
#include "net/Answers.h"

#include <QSslSocket>
#include <QTimer>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#endif

namespace orvelle {

namespace {
// Enough queued to keep the connection busy, little enough that the file is
// read as it goes out rather than into memory.
constexpr qint64 queuedBytes = 64 * 1024;
constexpr qint64 pieceBytes = 32 * 1024;
// What the kernel may hold unsent: without a bound its send buffer grows to
// megabytes and takes a whole batch of photos at once.
constexpr int unsentBytes = 64 * 1024;
constexpr std::chrono::milliseconds reportEvery{100};
// A file store that names no idle limit is taken to keep a connection this
// long; one that names it is left a second for the request's way there.
constexpr std::chrono::seconds assumedIdleLimit{4};
constexpr std::chrono::seconds wayThere{1};

const char *userAgent = "Mozilla/5.0";
} // namespace

UploadConnection::UploadConnection(const QUrl &address, const QSslConfiguration &tls,
                                   const QByteArray &sessionTicket, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_tls(tls)
    , m_sessionTicket(sessionTicket)
    , m_idleLimit(assumedIdleLimit)
{}

// Made on first use, on the connection's thread: the first socket of the
// process loads the TLS library, which takes ten milliseconds and more.
void UploadConnection::makeSocket()
{
    m_socket = new QSslSocket(this);
    m_quiet = new QTimer(this);
    m_report = new QTimer(this);
    QSslConfiguration tls = m_tls;
    tls.setAllowedNextProtocols({QByteArray(QSslConfiguration::NextProtocolHttp1_1)});
    // Kept so that the next connection resumes this session.
    tls.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    if (!m_sessionTicket.isEmpty())
        tls.setSessionTicket(m_sessionTicket);
    m_socket->setSslConfiguration(tls);
    m_quiet->setSingleShot(true);
    m_report->setInterval(reportEvery);
    connectSocket();
    connect(m_quiet, &QTimer::timeout, this, [this] {
        if (m_busy)
            return fail(QStringLiteral("no progress for %1 ms").arg(m_timeout.count()));
        close();
    });
    connect(m_report, &QTimer::timeout, this, [this] { reportProgress(); });
}

void UploadConnection::connectSocket()
{
    const auto moved = [this] {
        if (m_busy)
            m_quiet->start(m_timeout);
    };
    connect(m_socket, &QSslSocket::connected, this, [this, moved] {
        boundUnsentBytes();
        moved();
    });
    connect(m_socket, &QSslSocket::encrypted, this, [this, moved] {
        moved();
        feedSocket();
    });
    connect(m_socket, &QSslSocket::newSessionTicketReceived, this,
            [this] { emit sessionTicketReceived(m_socket->sslConfiguration().sessionTicket()); });
    connect(m_socket, &QSslSocket::bytesWritten, this, [this, moved](qint64 bytes) {
        moved();
        m_encrypted += bytes;
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
}

void UploadConnection::boundUnsentBytes()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
#ifdef Q_OS_LINUX
    const int lowWater = unsentBytes;
    if (setsockopt(int(m_socket->socketDescriptor()), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &lowWater,
                   sizeof lowWater)
        == 0)
        return;
#endif
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, unsentBytes);
}

UploadConnection::~UploadConnection()
{
    // Gone mid-upload (its screen closed): nothing more of it may leave.
    if (m_socket && !m_gone)
        dropSocket(m_busy);
}

void UploadConnection::post(const QByteArray &contentType, const QByteArray &before, QFile *file,
                            const QByteArray &after, std::chrono::milliseconds timeout)
{
    m_file.reset(file);
    if (!m_socket)
        makeSocket();
    if (m_gone || (m_used && closedMeanwhile())) {
        // Closed while the uploader was choosing it: nothing of this body went.
        if (!m_gone)
            dropSocket(false);
        emit failed(QStringLiteral("the kept connection had closed"), true);
        return;
    }
    m_timeout = timeout;
    m_fileBytes = file->size();
    const qint64 bodyBytes = before.size() + m_fileBytes + after.size();
    const QByteArray head = "POST " + m_address.path(QUrl::FullyEncoded).toLatin1()
                            + " HTTP/1.1\r\nHost: " + m_address.authority().toLatin1()
                            + "\r\nUser-Agent: " + userAgent + "\r\nContent-Type: " + contentType
                            + "\r\nContent-Length: " + QByteArray::number(bodyBytes)
                            + "\r\nConnection: keep-alive\r\n\r\n";
    m_front = head + before;
    m_back = after;
    m_headBytes = head.size();
    m_total = head.size() + bodyBytes;
    m_handedOver = m_encrypted = m_reported = 0;
    m_bodyWritten = false;
    m_answer = std::make_unique<HttpAnswerReader>(answers::maxAnswerBytes);
    m_busy = true;
    m_quiet->start(m_timeout);
    m_report->start();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_socket->connectToHostEncrypted(m_address.host(), quint16(m_address.port(443)));
    else
        feedSocket();
}

void UploadConnection::stopAtSafePoint()
{
    if (m_busy && !m_bodyWritten)
        fail(QStringLiteral("stopped before its body went"));
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
    if (!m_bodyWritten && m_handedOver == m_total && m_socket->bytesToWrite() == 0
        && m_socket->encryptedBytesToWrite() == 0) {
        m_bodyWritten = true;
        emit bodyWritten();
    }
}

// The body bytes that left the device's buffers: handed to the kernel, less
// what it still holds unsent or unacknowledged. Encryption adds a few bytes
// per 16 KiB record, too few to matter here.
qint64 UploadConnection::bodyBytesAcknowledged() const
{
    qint64 inKernel = m_encrypted - m_socket->encryptedBytesToWrite();
#ifdef Q_OS_LINUX
    int held = 0;
    if (ioctl(int(m_socket->socketDescriptor()), SIOCOUTQ, &held) == 0)
        inKernel -= held;
#endif
    return std::clamp(inKernel - m_headBytes, qint64(0), m_total - m_headBytes);
}

void UploadConnection::reportProgress(bool final)
{
    if (!m_busy)
        return;
    const qint64 body = m_total - m_headBytes;
    const qint64 sent = final ? body : bodyBytesAcknowledged();
    if (sent <= m_reported)
        return;
    m_reported = sent;
    m_quiet->start(m_timeout);
    emit progress(sent, body);
}

// A kept connection the service closed while it lay unused: its end may
// still wait unread in the kernel.
bool UploadConnection::closedMeanwhile() const
{
    if (m_socket->state() != QAbstractSocket::ConnectedState || m_socket->bytesAvailable() > 0)
        return true;
#ifdef Q_OS_UNIX
    char byte = 0;
    const auto peeked = recv(int(m_socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    // A close, an error, or bytes nobody asked for (the service's farewell).
    return peeked >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
#else
    return false;
#endif
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
    const bool wholeBodyWent = m_handedOver == m_total;
    if (wholeBodyWent)
        reportProgress(true);
    m_busy = false;
    m_used = true;
    m_quiet->stop();
    m_report->stop();
    const int named = m_answer->keepAliveSeconds();
    if (named >= 0)
        m_idleLimit = std::chrono::seconds(named) - wayThere;
    // An answer that came before the whole body went leaves the rest unsent.
    const bool reusable = m_answer->keepAlive() && m_bodyWritten
                          && m_socket->state() == QAbstractSocket::ConnectedState
                          && m_idleLimit >= wayThere;
    const int status = m_answer->status();
    const QByteArray body = m_answer->body();
    m_answer.reset();
    m_file.reset();
    m_front.clear();
    m_back.clear();
    if (reusable)
        m_quiet->start(m_idleLimit);
    else
        dropSocket(true);
    emit answered(status, body, reusable);
}

void UploadConnection::fail(const QString &why)
{
    if (!m_busy)
        return;
    m_busy = false;
    m_answer.reset();
    m_file.reset();
    dropSocket(true);
    emit failed(why, false);
}

// A kept connection goes: closed by the service, spoiled, or unused too long.
void UploadConnection::close()
{
    if (m_gone)
        return;
    dropSocket(false);
    emit closed();
}

// The connection is spent: nothing of its socket reaches this object again.
// `reset` drops what the kernel still holds unsent, where a plain close would
// go on sending it; the service then sees a broken upload, not a whole one.
void UploadConnection::dropSocket(bool reset)
{
    m_gone = true;
    m_quiet->stop();
    m_report->stop();
    m_socket->disconnect(this);
#ifdef Q_OS_UNIX
    const qintptr descriptor = m_socket->socketDescriptor();
    if (reset && descriptor >= 0) {
        const linger now{1, 0};
        setsockopt(int(descriptor), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
#endif
    m_socket->abort();
}

} // namespace orvelle
