#pragma once

#include "Operations.h"
#include "Store.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace httplib {
class Server;
class SSLServer;
} // namespace httplib

namespace orvelle::devserver {

// What the service does to record requests (sheets and hazard reports), so a
// client's handling of an ambiguous delivery can be driven: the connection
// ends without an answer, before or after the record is stored.
enum class Fault { None, DropBeforeStore, DropAfterStore };

// "none", "drop-before-store", "drop-after-store"; nullopt for anything else.
std::optional<Fault> faultNamed(const QString &name);

struct DevServerOptions
{
    QString dataDir;
    QString listenAddress = QStringLiteral("127.0.0.1");
    int port = 50000;
    int httpPort = 50080;
    // Host written into photo and notice addresses; the listen address when empty.
    QString publicHost;
    qint64 tokenLifetimeMs = 7LL * 24 * 3600 * 1000;
    qint64 codeLifetimeMs = 5LL * 60 * 1000;
    std::optional<qint64> publishBuild;
    Clock clock;
    // One line per call; stdout when unset.
    LogSink log;
    // Played on the next faultCount record requests, then none again.
    Fault fault = Fault::None;
    int faultCount = 1;
};

// The HTTPS service (inspection operations and file store upload) and the
// plain-HTTP server (stored photos, notice and site pages), each on its own
// thread, over one Store in the data folder.
class DevServer
{
public:
    explicit DevServer(DevServerOptions options);
    ~DevServer();
    DevServer(const DevServer &) = delete;
    DevServer &operator=(const DevServer &) = delete;

    // Creates certificates and data on first use, binds both ports and
    // starts serving; false with a reason when any step fails.
    bool start(QString *error);
    void stop();

    QString caFile() const { return m_caFile; }
    // Sent in the adminTokenHeader header to /admin/fault; printed at start.
    QString adminToken() const { return m_adminToken; }
    QString serviceUrl() const;
    QString httpUrl() const;
    Store &store() { return m_store; }
    // From any thread: the fault for the next count record requests.
    void setFault(Fault fault, int count = 1);

private:
    void routeService();
    void routeHttp();
    void log(const QString &line) const;
    // The fault one record request meets, counting it off.
    Fault takeFault();

    DevServerOptions m_options;
    const QString m_adminToken;
    Store m_store;
    std::unique_ptr<ServiceContext> m_context;
    std::unique_ptr<httplib::SSLServer> m_https;
    std::unique_ptr<httplib::Server> m_http;
    std::thread m_httpsThread;
    std::thread m_httpThread;
    QString m_caFile;
    std::mutex m_faultMutex;
    Fault m_fault = Fault::None;
    int m_faultsLeft = 0;
};

inline constexpr const char *adminTokenHeader = "X-Admin-Token";

// Creates the folder (with its parents) or narrows an existing one to its owner.
bool makeOwnerOnlyFolder(const QString &dir, QString *error);

// Opens the store of a data folder without serving (for --accounts, --print-qr).
QString databasePath(const QString &dataDir);
QString defaultDataDir();

} // namespace orvelle::devserver
