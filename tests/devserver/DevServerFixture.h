#pragma once

#include "DevServer.h"

#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// One dev service on this test's loopback address, with its data in a
// temporary folder, a clock the test moves by hand and its log captured.
// Requests go over real HTTPS, trusting the CA the service made.
class DevServerFixture
{
public:
    struct Reply
    {
        int status = 0; // 0 when no answer arrived
        QJsonObject json;
        std::string body;
        int code() const { return json.value(QLatin1String("code")).toInt(-1); }
        QString msg() const { return json.value(QLatin1String("msg")).toString(); }
    };
    using Form = std::vector<std::pair<std::string, std::string>>;

    DevServerFixture();
    ~DevServerFixture();

    // Starts (or, after stop(), restarts) the service on the same data folder.
    bool start(QString *error);
    void stop();
    QString host() const;
    QString dataDir() const { return m_dir.path(); }
    QString caFile() const;
    orvelle::devserver::DevServer &server() { return *m_server; }
    orvelle::devserver::DevServerOptions &options() { return m_options; }

    Reply postForm(const std::string &path, const Form &form);
    Reply postJson(const std::string &path, const QJsonObject &body);
    Reply postRaw(const std::string &path, const std::string &body, const std::string &contentType);
    Reply upload(const std::string &content, const std::string &fieldName = "file");
    // A plain-HTTP GET of an address without scheme ("host:port/path").
    Reply fetch(const QString &hostAndPath);

    // An operation with the Notes database and "server", as the seeded phone
    // user with that token (none when null); a "db" in params replaces the
    // right one.
    Reply call(const std::string &path, QJsonObject params, const QString &token);
    // Signs in by Notes account and returns the token ("" on refusal).
    QString signIn(const QString &account, const QString &password);
    // The last verification code the service "sent" to the number.
    QString lastCode(const QString &mobile) const;
    QStringList logLines() const;
    void advance(qint64 ms) { m_offsetMs += ms; }

private:
    QTemporaryDir m_dir;
    orvelle::devserver::DevServerOptions m_options;
    std::unique_ptr<orvelle::devserver::DevServer> m_server;
    std::atomic<qint64> m_offsetMs{0};
    mutable std::mutex m_logMutex;
    QStringList m_log;
};

// A body the file store takes for a JPEG: its magic bytes, then filler.
std::string fakeJpeg(const std::string &filler);
