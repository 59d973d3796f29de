#include "DevServerFixture.h"

#include <httplib.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>

using namespace orvelle::devserver;

namespace {

// A fixed morning, so "today" never crosses midnight during a run.
const qint64 baseTime = QDateTime(QDate(2026, 6, 1), QTime(9, 30)).toMSecsSinceEpoch();

DevServerFixture::Reply finish(const httplib::Result &result)
{
    DevServerFixture::Reply reply;
    if (result) {
        reply.status = result->status;
        reply.body = result->body;
        reply.json = QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
    }
    return reply;
}

} // namespace

std::string fakeJpeg(const std::string &filler)
{
    return std::string("\xFF\xD8\xFF\xE0", 4) + filler;
}

DevServerFixture::DevServerFixture()
{
    m_options.dataDir = m_dir.path();
    m_options.listenAddress = QStringLiteral(ORVELLE_TEST_HOST);
    m_options.clock = [this] { return baseTime + m_offsetMs.load(); };
    m_options.log = [this](const QString &line) {
        std::lock_guard lock(m_logMutex);
        m_log.append(line);
    };
}

DevServerFixture::~DevServerFixture()
{
    // Before the log it writes to.
    m_server.reset();
}

bool DevServerFixture::start(QString *error)
{
    m_server.reset();
    m_server = std::make_unique<DevServer>(m_options);
    return m_server->start(error);
}

QString DevServerFixture::host() const
{
    return m_options.listenAddress;
}

QString DevServerFixture::caFile() const
{
    return m_dir.filePath(QStringLiteral("tls/ca.pem"));
}

std::unique_ptr<httplib::SSLClient> DevServerFixture::client() const
{
    auto c = std::make_unique<httplib::SSLClient>(host().toStdString(), 50000);
    c->set_ca_cert_path(caFile().toStdString().c_str());
    c->enable_server_certificate_verification(true);
    c->set_connection_timeout(10);
    c->set_read_timeout(30);
    return c;
}

DevServerFixture::Reply DevServerFixture::postForm(const std::string &path, const Form &form)
{
    const httplib::Params params(form.begin(), form.end());
    return finish(client()->Post("/TolvKsServer" + path, params));
}

DevServerFixture::Reply DevServerFixture::postJson(const std::string &path, const QJsonObject &body)
{
    return postRaw(path, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                   "application/json");
}

DevServerFixture::Reply DevServerFixture::postRaw(const std::string &path, const std::string &body,
                                                  const std::string &contentType)
{
    const std::string full = path.rfind("/notes/", 0) == 0 ? "/TolvKsServer" + path : path;
    return finish(client()->Post(full, body, contentType));
}

DevServerFixture::Reply DevServerFixture::upload(const std::string &content,
                                                 const std::string &fieldName)
{
    const httplib::MultipartFormDataItems items = {{fieldName, content, "image.png", "image/*"}};
    return finish(client()->Post("/fastdfs/fastdfs/upload/file/sample", items));
}

DevServerFixture::Reply DevServerFixture::fetch(const QString &hostAndPath)
{
    const qsizetype slash = hostAndPath.indexOf(u'/');
    httplib::Client plain(("http://" + hostAndPath.left(slash)).toStdString());
    return finish(plain.Get(hostAndPath.mid(slash).toStdString()));
}

DevServerFixture::Reply DevServerFixture::call(const std::string &path, QJsonObject params,
                                               const QString &token)
{
    if (!params.contains(QLatin1String("db")))
        params[QLatin1String("db")] = QStringLiteral("QMDB/gongan/SafetyCheck.nsf");
    params[QLatin1String("server")] = QStringLiteral("DevNotes/Orvelle");
    params[QLatin1String("mobile")] = QStringLiteral("13800000001");
    if (!token.isNull())
        params[QLatin1String("token")] = token;
    return postJson(path, params);
}

QString DevServerFixture::signIn(const QString &account, const QString &password)
{
    const Reply reply = postForm("/notes/NotesLogin", {{"mobile", account.toStdString()},
                                                       {"password", password.toStdString()}});
    return reply.json[QLatin1String("userinfo")][QLatin1String("token")].toString();
}

QString DevServerFixture::lastCode(const QString &mobile) const
{
    const QRegularExpression pattern(QStringLiteral("^SMS to %1: verification code (\\d{6})$")
                                         .arg(QRegularExpression::escape(mobile)));
    const QStringList lines = logLines();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (const auto match = pattern.match(*it); match.hasMatch())
            return match.captured(1);
    return {};
}

QStringList DevServerFixture::logLines() const
{
    std::lock_guard lock(m_logMutex);
    return m_log;
}
