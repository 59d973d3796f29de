#include "DevServer.h"

#include "Certificates.h"
#include "Contract.h"
#include "FileStore.h"

#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cstdio>
#include <mutex>

namespace orvelle::devserver {

namespace {

constexpr size_t uploadLimit = 32u * 1024 * 1024;
constexpr size_t serviceLimit = 1024u * 1024;

void reply(httplib::Response &res, int status, const QJsonObject &body)
{
    res.status = status;
    res.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                    "application/json; charset=utf-8");
}

QString statusText(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("请求格式错误");
    case 404:
        return QStringLiteral("未知的接口");
    case 405:
        return QStringLiteral("不支持的请求方法");
    case 413:
        return QStringLiteral("请求体过大");
    default:
        return QStringLiteral("请求失败（HTTP %1）").arg(status);
    }
}

// Request line for the log: what was asked and how it ended, never a value
// that was sent.
QString describe(const char *server, const httplib::Request &req, const httplib::Response &res)
{
    QString line = QStringLiteral("%1 %2 %3 -> %4")
                       .arg(QLatin1String(server), QString::fromStdString(req.method),
                            QString::fromStdString(req.path))
                       .arg(res.status);
    if (res.get_header_value("Content-Type").rfind("application/json", 0) == 0) {
        const QJsonObject body =
            QJsonDocument::fromJson(QByteArray::fromStdString(res.body)).object();
        if (body.contains(QLatin1String("code")))
            line += QStringLiteral(" code=%1").arg(body.value(QLatin1String("code")).toInt());
        if (body.contains(QLatin1String("success")))
            line += QStringLiteral(" success=%1")
                        .arg(body.value(QLatin1String("success")).toBool() ? u"true" : u"false");
    }
    return line;
}

void installCommon(httplib::Server &server)
{
    // The library's default adds SO_REUSEPORT, which would let a second
    // instance share the address silently; a clear bind failure is wanted.
    server.set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    // Small answers go out at once instead of waiting for the client's
    // delayed acknowledgement (about 40 ms a request otherwise).
    server.set_tcp_nodelay(true);
    // As a production web server does: the library's default of five requests
    // a connection makes a client open a new TLS session every few requests.
    server.set_keep_alive_max_count(100);
    server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (res.body.empty())
            reply(res, res.status, refusal(statusText(res.status)));
    });
    server.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
            reply(res, 500, refusal(QStringLiteral("服务器内部错误")));
        });
}

std::mutex stdoutMutex;

constexpr std::pair<Fault, const char *> faultNames[] = {
    {Fault::None, "none"},
    {Fault::DropBeforeStore, "drop-before-store"},
    {Fault::DropAfterStore, "drop-after-store"},
};

QString faultName(Fault fault)
{
    for (const auto &[value, name] : faultNames)
        if (value == fault)
            return QLatin1String(name);
    return {};
}

// Ends the connection with nothing sent back: the library's writing of the
// answer then fails and it closes the socket, so the client sees the host
// close instead of an error status.
void dropConnection(const httplib::Request &req)
{
    shutdown(SSL_get_fd(req.ssl), SHUT_RDWR);
}

void answer(ServiceContext &context, const Operation &operation, const httplib::Request &req,
            httplib::Response &res)
{
    if (req.body.size() > serviceLimit)
        return reply(res, 413, refusal(statusText(413)));
    QJsonObject values;
    if (operation.body == BodyKind::Form) {
        if (req.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) != 0)
            return reply(res, 400, refusal(QStringLiteral("请求体不是表单数据")));
        for (const auto &[key, value] : req.params)
            values.insert(QString::fromStdString(key), QString::fromStdString(value));
    } else {
        QJsonParseError parseError;
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(req.body), &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject())
            return reply(res, 400, refusal(QStringLiteral("请求体不是JSON对象")));
        values = document.object();
    }
    Params params =
        operation.body == BodyKind::Form ? Params::fromForm(values) : Params::fromJson(values);
    reply(res, 200, operation.run(context, params));
}

} // namespace

std::optional<Fault> faultNamed(const QString &name)
{
    for (const auto &[value, text] : faultNames)
        if (name == QLatin1String(text))
            return value;
    return std::nullopt;
}

QString defaultDataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/orvelle-devserver");
}

QString databasePath(const QString &dataDir)
{
    return QDir(dataDir).filePath(QStringLiteral("orvelle-devserver.sqlite"));
}

DevServer::DevServer(DevServerOptions options)
    : m_options(std::move(options))
    , m_adminToken(QString::number(QRandomGenerator::system()->generate64(), 16)
                   + QString::number(QRandomGenerator::system()->generate64(), 16))
    , m_store([this] {
        if (m_options.publicHost.isEmpty())
            m_options.publicHost = m_options.listenAddress;
        return StoreSettings{
            m_options.tokenLifetimeMs, m_options.codeLifetimeMs, m_options.clock,
            QStringLiteral("http://%1:%2/site/").arg(m_options.publicHost).arg(m_options.httpPort)};
    }())
{
    setFault(m_options.fault, m_options.faultCount);
}

DevServer::~DevServer()
{
    stop();
}

void DevServer::log(const QString &line) const
{
    if (m_options.log) {
        m_options.log(line);
        return;
    }
    std::lock_guard lock(stdoutMutex);
    std::fprintf(stdout, "orvelle-devserver: %s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void DevServer::setFault(Fault fault, int count)
{
    std::lock_guard lock(m_faultMutex);
    m_fault = count > 0 ? fault : Fault::None;
    m_faultsLeft = m_fault == Fault::None ? 0 : count;
}

Fault DevServer::takeFault()
{
    std::lock_guard lock(m_faultMutex);
    const Fault fault = m_fault;
    if (fault != Fault::None && --m_faultsLeft == 0)
        m_fault = Fault::None;
    return fault;
}

QString DevServer::serviceUrl() const
{
    return QStringLiteral("https://%1:%2").arg(m_options.listenAddress).arg(m_options.port);
}

QString DevServer::httpUrl() const
{
    return QStringLiteral("http://%1:%2").arg(m_options.listenAddress).arg(m_options.httpPort);
}

bool makeOwnerOnlyFolder(const QString &dir, QString *error)
{
    // It holds the CA key, passwords and the photos.
    if (!QDir().mkpath(dir)
        || !QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                           | QFileDevice::ExeOwner)) {
        *error = QStringLiteral("cannot create %1 for its owner only").arg(dir);
        return false;
    }
    return true;
}

bool DevServer::start(QString *error)
{
    const QDir data(m_options.dataDir);
    const QString photoDir = data.filePath(QStringLiteral("photos"));
    if (!makeOwnerOnlyFolder(m_options.dataDir, error))
        return false;
    if (!data.mkpath(QStringLiteral("photos"))) {
        *error = QStringLiteral("cannot create %1").arg(photoDir);
        return false;
    }
    CertificateFiles certificates;
    if (!ensureCertificates(data.filePath(QStringLiteral("tls")), m_options.listenAddress,
                            &certificates, error))
        return false;
    m_caFile = certificates.caCert;
    if (!m_store.open(databasePath(m_options.dataDir), error))
        return false;
    if (m_options.publishBuild && !m_store.publishBuild(*m_options.publishBuild, error))
        return false;

    m_context.reset(new ServiceContext{
        m_store, [this](const QString &line) { log(line); }, photoDir,
        QStringLiteral("%1:%2").arg(m_options.publicHost).arg(m_options.httpPort)});
    m_https =
        std::make_unique<httplib::SSLServer>(certificates.serverCert.toLocal8Bit().constData(),
                                             certificates.serverKey.toLocal8Bit().constData());
    if (!m_https->is_valid()) {
        *error = QStringLiteral("cannot load %1").arg(certificates.serverCert);
        return false;
    }
    m_http = std::make_unique<httplib::Server>();
    routeService();
    routeHttp();

    const std::string host = m_options.listenAddress.toStdString();
    if (!m_https->bind_to_port(host, m_options.port)) {
        *error = QStringLiteral("cannot listen on %1:%2")
                     .arg(m_options.listenAddress)
                     .arg(m_options.port);
        return false;
    }
    if (!m_http->bind_to_port(host, m_options.httpPort)) {
        *error = QStringLiteral("cannot listen on %1:%2")
                     .arg(m_options.listenAddress)
                     .arg(m_options.httpPort);
        m_https.reset();
        return false;
    }
    m_httpsThread = std::thread([this] { m_https->listen_after_bind(); });
    m_httpThread = std::thread([this] { m_http->listen_after_bind(); });
    // stop() only ends a loop that is already running.
    while (!m_https->is_running() || !m_http->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    log(QStringLiteral("CA certificate: %1").arg(m_caFile));
    log(QStringLiteral("admin token: %1").arg(m_adminToken));
    log(QStringLiteral("data: %1").arg(QDir(m_options.dataDir).absolutePath()));
    log(QStringLiteral("ready %1 %2").arg(serviceUrl(), httpUrl()));
    return true;
}

void DevServer::stop()
{
    if (m_https)
        m_https->stop();
    if (m_http)
        m_http->stop();
    if (m_httpsThread.joinable())
        m_httpsThread.join();
    if (m_httpThread.joinable())
        m_httpThread.join();
}

void DevServer::routeService()
{
    httplib::SSLServer &server = *m_https;
    installCommon(server);
    // Larger bodies are drained and refused by the library; the smaller
    // limit of the service operations is applied once the body is read.
    server.set_payload_max_length(uploadLimit);
    server.set_logger([this](const httplib::Request &req, const httplib::Response &res) {
        log(describe("https", req, res));
    });

    for (const QList<Operation> &group : {accountOperations(), inspectionOperations()}) {
        for (const Operation &operation : group) {
            const std::string path = std::string(contract::serviceBase) + operation.path;
            const bool record =
                std::string_view(operation.path) == contract::paths::createSheet
                || std::string_view(operation.path) == contract::paths::createDanger;
            server.Post(path, [this, operation, record](const httplib::Request &req,
                                                        httplib::Response &res) {
                const Fault fault = record ? takeFault() : Fault::None;
                if (fault != Fault::None)
                    log(QStringLiteral("fault %1: %2 gets no answer")
                            .arg(faultName(fault), QString::fromStdString(req.path)));
                if (fault == Fault::DropBeforeStore)
                    return dropConnection(req);
                answer(*m_context, operation, req, res);
                if (fault == Fault::DropAfterStore)
                    dropConnection(req);
            });
        }
    }
    routeFileStore(server, *m_context);
}

void DevServer::routeHttp()
{
    installCommon(*m_http);
    m_http->set_payload_max_length(serviceLimit);
    // The library builds every requested range in memory, overlapping ones
    // too: a few hundred ranges over one photo took half a gigabyte. The
    // request object is the server's own, so dropping them here is sound.
    m_http->set_pre_routing_handler([](const httplib::Request &req, httplib::Response &) {
        auto &mutableRequest = const_cast<httplib::Request &>(req);
        mutableRequest.ranges.clear();
        mutableRequest.headers.erase("Range");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_http->set_logger([this](const httplib::Request &req, const httplib::Response &res) {
        log(describe("http", req, res));
    });
    routePages(*m_http, *m_context);
    // For tests and by hand: the fault of the next record requests.
    m_http->Post("/admin/fault", [this](const httplib::Request &req, httplib::Response &res) {
        if (!QHostAddress(QString::fromStdString(req.remote_addr)).isLoopback())
            return reply(res, 403, {{"error", "only from this machine"}});
        // A web page may post here across sites; it cannot know the token.
        if (QString::fromStdString(req.get_header_value(adminTokenHeader)) != m_adminToken)
            return reply(res, 403, {{"error", "the admin token printed at start is missing"}});
        const std::optional<Fault> fault =
            faultNamed(QString::fromStdString(req.get_param_value("mode")));
        bool counted = true;
        const int count = req.has_param("count")
                              ? QString::fromStdString(req.get_param_value("count")).toInt(&counted)
                              : 1;
        if (!fault || !counted || count < 1)
            return reply(res, 400,
                         {{"error", "mode is none, drop-before-store or drop-after-store; count a "
                                    "whole number from 1"}});
        setFault(*fault, count);
        reply(res, 200,
              {{"mode", faultName(*fault)}, {"count", *fault == Fault::None ? 0 : count}});
    });
}

} // namespace orvelle::devserver
