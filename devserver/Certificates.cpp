#include "Certificates.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSaveFile>
#include <QSslCertificate>
#include <QSslCertificateExtension>

namespace orvelle::devserver {

namespace {

bool openssl(const QStringList &arguments, QString *error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForStarted()) {
        *error = QStringLiteral("cannot run openssl: %1").arg(process.errorString());
        return false;
    }
    process.waitForFinished(60000);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2")
                     .arg(arguments.value(0), QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

bool writeText(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()
        || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

const QStringList ecKey = {
    QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

// Anyone who copies the CA key can sign only for this machine's names.
constexpr const char *loopbackOnly =
    "nameConstraints=critical,permitted;IP:127.0.0.0/255.0.0.0,"
    "permitted;IP:::1/ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff,permitted;DNS:localhost";

} // namespace

bool limitedToThisMachine(const QString &caFile)
{
    const auto certificates = QSslCertificate::fromPath(caFile);
    if (certificates.size() != 1)
        return false;
    bool constrained = false;
    bool noIntermediates = false;
    for (const QSslCertificateExtension &extension : certificates.first().extensions()) {
        if (extension.oid() == QLatin1String("2.5.29.30"))
            constrained = extension.isCritical();
        if (extension.oid() == QLatin1String("2.5.29.19")) {
            const QVariant pathLength =
                extension.value().toMap().value(QStringLiteral("pathLenConstraint"));
            noIntermediates = pathLength.isValid() && pathLength.toInt() == 0;
        }
    }
    return constrained && noIntermediates;
}

bool ensureCertificates(const QString &tlsDir, const QString &listenAddress,
                        CertificateFiles *files, QString *error)
{
    const QDir dir(tlsDir);
    if (!dir.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot create %1").arg(tlsDir);
        return false;
    }
    files->caCert = dir.filePath(QStringLiteral("ca.pem"));
    files->serverCert = dir.filePath(QStringLiteral("server.pem"));
    files->serverKey = dir.filePath(QStringLiteral("server-key.pem"));
    const QString caKey = dir.filePath(QStringLiteral("ca-key.pem"));
    const QString addressFile = dir.filePath(QStringLiteral("server-address"));

    // A CA made before it was limited to this machine's names is replaced.
    if (!QFile::exists(files->caCert) || !QFile::exists(caKey)
        || !limitedToThisMachine(files->caCert)) {
        QFile::remove(files->serverCert);
        if (!openssl(
                QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey
                    + QStringList{QStringLiteral("-keyout"), caKey, QStringLiteral("-out"),
                                  files->caCert, QStringLiteral("-days"), QStringLiteral("3650"),
                                  QStringLiteral("-subj"),
                                  QStringLiteral("/O=Orvelle/CN=Orvelle dev service CA"),
                                  QStringLiteral("-addext"),
                                  QStringLiteral("basicConstraints=critical,CA:TRUE,pathlen:0"),
                                  QStringLiteral("-addext"),
                                  QStringLiteral("keyUsage=critical,keyCertSign,cRLSign"),
                                  QStringLiteral("-addext"), QLatin1String(loopbackOnly)},
                error))
            return false;
    }
    if (QFile::exists(files->serverCert) && QFile::exists(files->serverKey)
        && readText(addressFile) == listenAddress)
        return true;

    const bool isIp = !QHostAddress(listenAddress).isNull();
    QStringList names;
    names << (isIp ? QStringLiteral("IP:") : QStringLiteral("DNS:")) + listenAddress;
    if (listenAddress != QLatin1String("127.0.0.1"))
        names << QStringLiteral("IP:127.0.0.1");
    names << QStringLiteral("DNS:localhost");
    const QString extFile = dir.filePath(QStringLiteral("server.ext"));
    const QString csr = dir.filePath(QStringLiteral("server.csr"));
    const QByteArray ext = "basicConstraints=CA:FALSE\n"
                           "keyUsage=critical,digitalSignature,keyEncipherment\n"
                           "extendedKeyUsage=serverAuth\n"
                           "subjectAltName="
                           + names.join(u',').toUtf8() + "\n";
    const bool made =
        writeText(extFile, ext, error)
        && openssl(QStringList{QStringLiteral("req")} + ecKey
                       + QStringList{QStringLiteral("-keyout"), files->serverKey,
                                     QStringLiteral("-out"), csr, QStringLiteral("-subj"),
                                     QStringLiteral("/O=Orvelle/CN=") + listenAddress},
                   error)
        && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr,
                    QStringLiteral("-CA"), files->caCert, QStringLiteral("-CAkey"), caKey,
                    QStringLiteral("-set_serial"),
                    QString::number(QDateTime::currentMSecsSinceEpoch()), QStringLiteral("-days"),
                    QStringLiteral("825"), QStringLiteral("-extfile"), extFile,
                    QStringLiteral("-out"), files->serverCert},
                   error)
        && writeText(addressFile, listenAddress.toUtf8() + '\n', error);
    QFile::remove(csr);
    QFile::remove(extFile);
    // Only the owner reads the private keys.
    for (const QString &key : {caKey, files->serverKey})
        QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return made;
}

} // namespace orvelle::devserver
