#pragma once

#include "DevServer.h"

#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace httplib {
class SSLClient;
}

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

    // Starts (or restarts) the service on the same data folder.
    bool start(QString *error);
    QString host() const;
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
    std::unique_ptr<httplib::SSLClient> client() const;

    QTemporaryDir m_dir;
    orvelle::devserver::DevServerOptions m_options;
    std::unique_ptr<orvelle::devserver::DevServer> m_server;
    std::atomic<qint64> m_offsetMs{0};
    mutable std::mutex m_logMutex;
    QStringList m_log;
};

// A body the file store takes for a JPEG: its magic bytes, then filler.
std::string fakeJpeg(const std::string &filler);

// The base of the dev service tests: before each test a fresh service (a
// token lives a minute, a code half of one) and zhangwei signed in.
class DevServerTest : public QObject
{
    Q_OBJECT

protected:
    static constexpr qint64 tokenLifetimeMs = 60 * 1000;
    static constexpr qint64 codeLifetimeMs = 30 * 1000;

    // An operation as zhangwei, with the token of the sign-in before the test.
    DevServerFixture::Reply call(const std::string &path, const QJsonObject &params)
    {
        return fixture->call(path, params, token);
    }

    std::unique_ptr<DevServerFixture> fixture;
    QString token;

private slots:
    void init()
    {
        fixture = std::make_unique<DevServerFixture>();
        fixture->options().tokenLifetimeMs = tokenLifetimeMs;
        fixture->options().codeLifetimeMs = codeLifetimeMs;
        QString error;
        QVERIFY2(fixture->start(&error), qPrintable(error));
        token = fixture->signIn(QStringLiteral("zhangwei"), QStringLiteral("orvelle1"));
        QVERIFY(!token.isEmpty());
    }
    void cleanup() { fixture.reset(); }
};
