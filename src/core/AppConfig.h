#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <variant>

namespace orvelle {

// Why a configuration could not be used: which file (or environment variable),
// which key, what is wrong. Start-up prints line() and exits with code 2.
struct ConfigError
{
    QString source;
    QString key;
    QString problem;

    QString line() const;
};

// What an installation chooses. Everything else is fixed in the client.
struct AppConfig
{
    QString serviceHost;
    QString fileStoreHost;
    QString notesServer;
    QUrl siteUrl;
    // Extra CA certificate file trusted for the services' TLS; empty for none.
    // Left empty, the dev service's CA when every host is loopback.
    QString caFile;
    // The hosts notice pages may come from; empty for any.
    QStringList noticeHosts;
    // The hosts the photos of submitted sheets may be fetched from: where
    // the file store keeps a photo is its own choice. Empty: the file
    // store's host (see photoHosts()).
    QStringList reviewPhotoHosts;
    // An image file that stands in for the camera (a desktop without a
    // webcam, demonstrations); empty for the real camera.
    QString cameraImage;
    // Where unsent drafts and their photos are kept; empty keeps nothing.
    QString deviceFolder;
    // Desktop testers may present a handset; unset means "ask the machine".
    std::optional<QString> deviceModel;
    std::optional<QString> deviceName;
    std::optional<QString> deviceSystemVersion;

    // The built-in defaults: the local dev service.
    static AppConfig defaults();
    // The hosts review photos are fetched from, as an address's host() gives
    // them (IPv6 without brackets).
    QStringList photoHosts() const;
    // Where the local dev service writes its CA certificate.
    static QString devServiceCaFile();
    // Without a CA file of its own, one whose services are all on this
    // machine trusts the dev service's CA.
    void trustDevServiceCa();

    // The machine's file, where an administrator points every user of an
    // installed client at the group's services.
    static QString systemConfigFile() { return QStringLiteral("/etc/orvelle/orvelle.conf"); }

    // Reads the configuration: defaults, then the INI file (configFile, else
    // ORVELLE_CONFIG, else systemFile when it exists), then the ORVELLE_*
    // variables. Tests name their own systemFile; an empty one is never read.
    static std::variant<AppConfig, ConfigError>
    load(const QString &configFile,
         const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
         const QString &systemFile = systemConfigFile());

    // Every key a file may set, "section/name", sorted.
    static QStringList keys();

    // Applies the text of an INI file; `source` names it in errors.
    std::optional<ConfigError> applyIni(const QByteArray &text, const QString &source);
    std::optional<ConfigError> applyEnvironment(const QProcessEnvironment &environment);
};

// Checks shared by the file and the environment; each returns the problem or "".
QString hostProblem(const QString &host);
// A loopback address (IPv6 in brackets) or "localhost".
bool isLoopbackHost(const QString &host);
QString siteUrlProblem(const QString &url);
QString caFileProblem(const QString &path);
// The certificates of a CA file, PEM or DER.
QList<QSslCertificate> caCertificatesIn(const QString &path);
QString imageFileProblem(const QString &path);

} // namespace orvelle
