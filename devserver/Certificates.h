#pragma once

#include <QString>

namespace orvelle::devserver {

struct CertificateFiles
{
    QString caCert;     // what clients trust
    QString serverCert; // chain presented by the service
    QString serverKey;
};

// True when the CA certificate in caFile signs only for loopback addresses
// and "localhost" and for no intermediate CA.
bool limitedToThisMachine(const QString &caFile);

// Makes sure tlsDir holds a CA and a server certificate whose IP SAN is
// listenAddress, creating them with the openssl CLI when missing. The CA is
// kept once made, unless it is not limited to this machine's names; the
// server certificate is re-issued when the address changes, so a client that
// trusts the CA keeps working.
bool ensureCertificates(const QString &tlsDir, const QString &listenAddress,
                        CertificateFiles *files, QString *error);

} // namespace orvelle::devserver
