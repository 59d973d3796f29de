#include "AppConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QImageReader>
#include <QSslCertificate>
#include <QStandardPaths>
#include <functional>
#include <map>

namespace orvelle {

QString ConfigError::line() const
{
    if (key.isEmpty())
        return QStringLiteral("%1: %2").arg(source, problem);
    return QStringLiteral("%1: %2: %3").arg(source, key, problem);
}

AppConfig AppConfig::defaults()
{
    AppConfig config;
    config.serviceHost = QStringLiteral("127.0.0.1");
    config.fileStoreHost = QStringLiteral("127.0.0.1");
    config.notesServer = QStringLiteral("DevNotes/Orvelle");
    config.siteUrl = QUrl(QStringLiteral("http://127.0.0.1:50080/site/"));
    config.deviceFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                          + QStringLiteral("/device");
    return config;
}

namespace {
// As an address's host() gives it: without IPv6 brackets.
QString bareHost(const QString &host)
{
    return host.startsWith(u'[') && host.endsWith(u']') ? host.mid(1, host.size() - 2) : host;
}

// A comma-separated list of hosts (empty parts skipped), or the problem.
QString setHosts(QStringList &target, const QString &value)
{
    QStringList hosts;
    for (const QString &part : value.split(u',', Qt::SkipEmptyParts)) {
        const QString host = part.trimmed();
        if (const QString problem = hostProblem(host); !problem.isEmpty())
            return QStringLiteral("\"%1\" %2").arg(host, problem);
        hosts << bareHost(host);
    }
    target = hosts;
    return {};
}
} // namespace

QStringList AppConfig::photoHosts() const
{
    return reviewPhotoHosts.isEmpty() ? QStringList{bareHost(fileStoreHost)} : reviewPhotoHosts;
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    return QHostAddress(bracketed ? host.mid(1, host.size() - 2) : host).isLoopback();
}

void AppConfig::trustDevServiceCa()
{
    // Its key lies beside it on a developer's disk: trusted for the dev
    // service only, and only when the dev service has made it, so the client
    // also starts on a machine where the dev service never ran.
    const QString devCa = devServiceCaFile();
    if (caFile.isEmpty() && isLoopbackHost(serviceHost) && isLoopbackHost(fileStoreHost)
        && QFileInfo::exists(devCa))
        caFile = devCa;
}

QString AppConfig::devServiceCaFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/orvelle-devserver/tls/ca.pem");
}

QString hostProblem(const QString &host)
{
    if (host.isEmpty())
        return QStringLiteral("must not be empty");
    if (host.contains(QLatin1String("://")))
        return QStringLiteral("must be a host name without a scheme");
    if (host.contains(QLatin1Char('/')))
        return QStringLiteral("must be a host name without a path");
    for (const QChar c : host) {
        if (c.isSpace() || c == QLatin1Char('@') || c == QLatin1Char('?') || c == QLatin1Char('#'))
            return QStringLiteral("is not a valid host name");
    }
    // The port is fixed by the services (50000); only a bracketed IPv6
    // address may contain colons.
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (!bracketed && host.contains(QLatin1Char(':')))
        return QStringLiteral("must be a host name without a port");
    const QUrl probe(QStringLiteral("https://%1:50000/").arg(host), QUrl::StrictMode);
    if (!probe.isValid() || probe.host().isEmpty())
        return QStringLiteral("is not a valid host name");
    return {};
}

QString siteUrlProblem(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid())
        return QStringLiteral("is not a valid address");
    if (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https"))
        return QStringLiteral("must be an http or https address");
    if (parsed.host().isEmpty())
        return QStringLiteral("must name a host");
    return {};
}

QString caFileProblem(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("must name a file");
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("file does not exist");
    if (!info.isFile() || !info.isReadable())
        return QStringLiteral("file is not readable");
    if (caCertificatesIn(path).isEmpty())
        return QStringLiteral("file holds no certificate");
    return {};
}

QList<QSslCertificate> caCertificatesIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    const auto pem = QSslCertificate::fromData(data, QSsl::Pem);
    return pem.isEmpty() ? QSslCertificate::fromData(data, QSsl::Der) : pem;
}

QString imageFileProblem(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("must name a file");
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("file does not exist");
    QImageReader reader(path);
    if (!info.isFile() || !reader.canRead())
        return QStringLiteral("file is not a readable image");
    return {};
}

namespace {

using Setter = std::function<QString(AppConfig &, const QString &)>;

QString noProblem(const QString &)
{
    return {};
}

QString emptyProblem(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("must not be empty") : QString();
}

// Sets the field when the value passes its check.
template <typename Field>
Setter checked(Field AppConfig::*field, QString (*problemOf)(const QString &))
{
    return [field, problemOf](AppConfig &config, const QString &value) {
        QString problem = problemOf(value);
        if (problem.isEmpty())
            config.*field = value;
        return problem;
    };
}

Setter hostList(QStringList AppConfig::*field)
{
    return
        [field](AppConfig &config, const QString &value) { return setHosts(config.*field, value); };
}

// The keys a configuration may set, with their checks.
const std::map<QString, Setter> &settableKeys()
{
    static const std::map<QString, Setter> keys{
        {QStringLiteral("service/host"), checked(&AppConfig::serviceHost, hostProblem)},
        {QStringLiteral("filestore/host"), checked(&AppConfig::fileStoreHost, hostProblem)},
        {QStringLiteral("notes/server"), checked(&AppConfig::notesServer, emptyProblem)},
        {QStringLiteral("site/url"),
         [](AppConfig &c, const QString &v) {
             QString problem = siteUrlProblem(v);
             if (problem.isEmpty())
                 c.siteUrl = QUrl(v, QUrl::StrictMode);
             return problem;
         }},
        {QStringLiteral("tls/ca_file"), checked(&AppConfig::caFile, caFileProblem)},
        {QStringLiteral("notice/hosts"), hostList(&AppConfig::noticeHosts)},
        {QStringLiteral("review/photo_hosts"), hostList(&AppConfig::reviewPhotoHosts)},
        {QStringLiteral("camera/image"), checked(&AppConfig::cameraImage, imageFileProblem)},
        {QStringLiteral("device/model"), checked(&AppConfig::deviceModel, noProblem)},
        {QStringLiteral("device/name"), checked(&AppConfig::deviceName, noProblem)},
        {QStringLiteral("device/system_version"),
         checked(&AppConfig::deviceSystemVersion, noProblem)},
    };
    return keys;
}

QString unquoted(const QString &value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QStringList AppConfig::keys()
{
    QStringList names;
    for (const auto &[key, setter] : settableKeys())
        names << key;
    return names;
}

// A strict reading of the INI form: QSettings accepts almost anything and turns
// values with commas into lists, which would hide a typo in an address.
std::optional<ConfigError> AppConfig::applyIni(const QByteArray &text, const QString &source)
{
    const QString content = QString::fromUtf8(text);
    if (content.toUtf8() != text)
        return ConfigError{source, {}, QStringLiteral("is not valid UTF-8 text")};

    QString section;
    std::map<QString, int> seen;
    const QStringList lines = content.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        const QString where = QStringLiteral("%1:%2").arg(source).arg(i + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))
            || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3)
                return ConfigError{where, {}, QStringLiteral("malformed section header")};
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return ConfigError{where, {}, QStringLiteral("expected \"key = value\"")};
        const QString name = line.left(equals).trimmed();
        const QString key = section.isEmpty() ? name : section + QLatin1Char('/') + name;
        const auto setter = settableKeys().find(key);
        if (setter == settableKeys().end())
            return ConfigError{where, key, QStringLiteral("unknown key")};
        if (seen.count(key))
            return ConfigError{where, key, QStringLiteral("set twice")};
        seen[key] = int(i);
        const QString problem = setter->second(*this, unquoted(line.mid(equals + 1).trimmed()));
        if (!problem.isEmpty())
            return ConfigError{where, key, problem};
    }
    return std::nullopt;
}

std::optional<ConfigError> AppConfig::applyEnvironment(const QProcessEnvironment &environment)
{
    static const std::pair<const char *, const char *> overrides[] = {
        {"ORVELLE_SERVICE_HOST", "service/host"},
        {"ORVELLE_FILESTORE_HOST", "filestore/host"},
        {"ORVELLE_NOTES_SERVER", "notes/server"},
        {"ORVELLE_SITE_URL", "site/url"},
        {"ORVELLE_CA_FILE", "tls/ca_file"},
        {"ORVELLE_CAMERA_IMAGE", "camera/image"},
        {"ORVELLE_NOTICE_HOSTS", "notice/hosts"},
        {"ORVELLE_REVIEW_PHOTO_HOSTS", "review/photo_hosts"},
    };
    for (const auto &[variable, key] : overrides) {
        const QString name = QString::fromLatin1(variable);
        if (!environment.contains(name))
            continue;
        const QString problem =
            settableKeys().at(QString::fromLatin1(key))(*this, environment.value(name));
        if (!problem.isEmpty())
            return ConfigError{QStringLiteral("environment"), name, problem};
    }
    return std::nullopt;
}

std::variant<AppConfig, ConfigError> AppConfig::load(const QString &configFile,
                                                     const QProcessEnvironment &environment,
                                                     const QString &systemFile)
{
    AppConfig config = defaults();

    QString file =
        configFile.isEmpty() ? environment.value(QStringLiteral("ORVELLE_CONFIG")) : configFile;
    // A machine without the file keeps the defaults; one that has it must be right.
    if (file.isEmpty() && !systemFile.isEmpty() && QFileInfo::exists(systemFile))
        file = systemFile;
    if (!file.isEmpty()) {
        QFile input(file);
        if (!QFileInfo::exists(file))
            return ConfigError{file, {}, QStringLiteral("file does not exist")};
        if (!input.open(QIODevice::ReadOnly))
            return ConfigError{
                file, {}, QStringLiteral("file is not readable: %1").arg(input.errorString())};
        if (auto error = config.applyIni(input.readAll(), file))
            return *error;
    }

    if (auto error = config.applyEnvironment(environment))
        return *error;
    config.trustDevServiceCa();
    return config;
}

} // namespace orvelle
