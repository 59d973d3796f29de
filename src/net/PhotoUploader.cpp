#include "PhotoUploader.h"

#include "core/BackgroundTask.h"
#include "core/Logging.h"
#include "net/Answers.h"
#include "net/Endpoints.h"

#include "net/UploadConnection.h"

#include <QFile>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace orvelle {

namespace {
// Photos finish one after another: the next body starts once the current
// one has gone, while that one waits for its answer. A cut link or a filing
// set aside then loses at most two photos, and on a fast link the answer's
// wait still overlaps the next body.
constexpr std::size_t maxInFlight = 2;

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
    m_network.setObjectName(QStringLiteral("photo upload"));
    // Without a context object this runs on the new thread itself.
    connect(&m_network, &QThread::started, [] { yieldToTheGuiThread(); });
}

PhotoUploader::~PhotoUploader()
{
    // A context may be this uploader: its end must find no upload to drop.
    for (const auto &flight : m_flights)
        disconnect(flight->contextGone);
    // The connections go with their thread; none calls back.
    m_network.quit();
    m_network.wait();
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

void PhotoUploader::uploadFile(const QString &jpegFile, QObject *context, FileDone done,
                               FileProgress progress)
{
    const QPointer<QObject> guard(context);
    m_trust->whenReady(this, [=, this](const QSslConfiguration &tls) {
        // Nobody waits for it any more.
        if (!guard)
            return;
        m_waiting.push_back({jpegFile, guard, done, progress, tls});
        startWaiting();
    });
}

bool PhotoUploader::mayStartAnother() const
{
    return m_flights.size() < maxInFlight
           && std::all_of(m_flights.begin(), m_flights.end(),
                          [](const auto &flight) { return flight->bodyWritten; });
}

void PhotoUploader::startWaiting()
{
    while (!m_waiting.empty() && mayStartAnother()) {
        Upload upload = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (upload.context)
            start(std::move(upload));
    }
}

UploadConnection *PhotoUploader::newConnection(const QSslConfiguration &tls)
{
    // Started at the first photo, not with the application.
    if (!m_network.isRunning())
        m_network.start();
    const QByteArray ticket = m_ticketTls == tls ? m_sessionTicket : QByteArray();
    auto *connection = new UploadConnection(QUrl(uploadAddress()), tls, ticket);
    connection->moveToThread(&m_network);
    connect(&m_network, &QThread::finished, connection, &QObject::deleteLater);
    connect(connection, &UploadConnection::sessionTicketReceived, this,
            [this, tls](const QByteArray &received) {
                m_sessionTicket = received;
                m_ticketTls = tls;
            });
    return connection;
}

void PhotoUploader::start(Upload upload)
{
    auto file = std::make_unique<QFile>(upload.file);
    if (!file->open(QIODevice::ReadOnly)) {
        qCDebug(lcNet) << "photo not sent:" << file->errorString();
        return upload.done(std::nullopt, true);
    }
    UploadConnection *connection = upload.again ? nullptr : takeIdle(upload.tls);
    if (!connection)
        connection = newConnection(upload.tls);
    auto flight = std::make_shared<Flight>(Flight{std::move(upload), connection, {}});
    m_flights.push_back(flight);
    follow(flight);
    sendBody(connection, std::move(file));
}

void PhotoUploader::follow(const std::shared_ptr<Flight> &flight)
{
    UploadConnection *connection = flight->connection;
    QObject *context = flight->upload.context;
    if (flight->upload.progress)
        connect(connection, &UploadConnection::progress, context, flight->upload.progress);
    flight->contextGone = connect(context, &QObject::destroyed, this, [this, flight] {
        if (!flight->live)
            return;
        land(*flight, false);
        startWaiting();
    });
    connect(connection, &UploadConnection::bodyWritten, this, [this, flight] {
        flight->bodyWritten = true;
        if (flight->live)
            startWaiting();
    });
    connect(connection, &UploadConnection::answered, this,
            [this, flight](int status, const QByteArray &body, bool kept) {
                if (flight->live)
                    onAnswered(*flight, status, body, kept);
            });
    connect(connection, &UploadConnection::failed, this,
            [this, flight](const QString &why, bool mayRetry) {
                if (flight->live)
                    onFailed(*flight, why, mayRetry);
            });
}

void PhotoUploader::onAnswered(Flight &flight, int status, const QByteArray &body, bool kept)
{
    land(flight, kept);
    std::optional<QString> address;
    // A redirect would send the photo wherever it points.
    const bool answered = status / 100 != 3;
    if (!answered)
        qCDebug(lcNet) << "photo upload: redirect not followed:" << status;
    else if (const auto json = answers::parseJson(body))
        address = photoAddress(*json);
    flight.upload.done(address, answered && !address);
    startWaiting();
}

void PhotoUploader::onFailed(Flight &flight, const QString &why, bool mayRetry)
{
    qCDebug(lcNet) << "photo upload failed:" << why;
    land(flight, false);
    if (mayRetry && !flight.upload.again) {
        // The other kept connections are as old: none is trusted.
        dropIdle();
        flight.upload.again = true;
        m_waiting.push_front(std::move(flight.upload));
    } else {
        flight.upload.done(std::nullopt, false);
    }
    startWaiting();
}

void PhotoUploader::sendBody(UploadConnection *connection, std::unique_ptr<QFile> file)
{
    const QByteArray boundary = newBoundary();
    const QByteArray type = "multipart/form-data; boundary=" + boundary;
    const QByteArray before = "--" + boundary
                              + "\r\nContent-Type: image/*"
                                "\r\nContent-Disposition: form-data; name=\"file\"; "
                                "filename=\"image.png\"\r\n\r\n";
    const QByteArray after = "\r\n--" + boundary + "--\r\n";
    file->moveToThread(&m_network);
    QMetaObject::invokeMethod(connection, [=, file = file.release(), timeout = m_timeout] {
        connection->post(type, before, file, after, timeout);
    });
}

void PhotoUploader::stopAtSafePoint(QObject *context, std::chrono::milliseconds patience)
{
    const QPointer<QObject> guard(context);
    // Told later, so that no caller hears of its own stop before it returns.
    for (FileDone &done : takeWaiting(context))
        QMetaObject::invokeMethod(
            this,
            [guard, done = std::move(done)] {
                if (guard)
                    done(std::nullopt, false);
            },
            Qt::QueuedConnection);
    // The connection decides: only it knows whether the body has all gone.
    std::vector<std::weak_ptr<Flight>> stopping;
    for (const auto &flight : m_flights) {
        if (flight->upload.context != context || !flight->connection)
            continue;
        stopping.push_back(flight);
        QMetaObject::invokeMethod(flight->connection, &UploadConnection::stopAtSafePoint);
    }
    QTimer::singleShot(patience, context, [this, guard, stopping] {
        std::vector<FileDone> unanswered;
        for (const auto &weak : stopping) {
            const auto flight = weak.lock();
            if (!flight || !flight->live)
                continue;
            qCDebug(lcNet) << "photo upload: no answer after it was stopped";
            land(*flight, false);
            unanswered.push_back(flight->upload.done);
        }
        startWaiting();
        // Last: the one who waits may go with the first of them.
        for (const FileDone &done : unanswered)
            if (guard)
                done(std::nullopt, false);
    });
}

std::vector<PhotoUploader::FileDone> PhotoUploader::takeWaiting(QObject *context)
{
    std::vector<FileDone> taken;
    for (auto upload = m_waiting.begin(); upload != m_waiting.end();) {
        if (upload->context != context) {
            ++upload;
            continue;
        }
        taken.push_back(std::move(upload->done));
        upload = m_waiting.erase(upload);
    }
    return taken;
}

UploadConnection *PhotoUploader::takeIdle(const QSslConfiguration &tls)
{
    while (!m_idle.empty()) {
        const QPointer<UploadConnection> connection = m_idle.back();
        m_idle.pop_back();
        if (!connection)
            continue;
        connection->disconnect(this);
        if (connection->tls() == tls)
            return connection;
        connection->deleteLater();
    }
    return nullptr;
}

// Ends an upload's hold on its connection: kept when it may carry the next,
// else closed on its own thread, with a reset if the upload was still going.
void PhotoUploader::land(Flight &flight, bool kept)
{
    flight.live = false;
    disconnect(flight.contextGone);
    std::erase_if(m_flights, [&flight](const auto &live) { return live.get() == &flight; });
    const QPointer<UploadConnection> connection = flight.connection;
    if (!connection)
        return;
    connection->disconnect(this);
    if (flight.upload.context)
        connection->disconnect(flight.upload.context);
    if (!kept) {
        connection->deleteLater();
        return;
    }
    m_idle.push_back(connection);
    // Queued from the connection's thread: it may have been taken again or
    // deleted by the time this runs.
    connect(connection, &UploadConnection::closed, this, [this, connection] {
        const auto kept = std::find(m_idle.begin(), m_idle.end(), connection);
        if (kept == m_idle.end() || !connection)
            return;
        m_idle.erase(kept);
        connection->deleteLater();
    });
}

void PhotoUploader::dropIdle()
{
    for (const QPointer<UploadConnection> &connection : std::exchange(m_idle, {})) {
        if (connection)
            connection->deleteLater();
    }
}

} // namespace orvelle
