#pragma once

#include "core/AppConfig.h"

#include <QQmlNetworkAccessManagerFactory>
#include <chrono>

namespace orvelle {

// The network access of the QML engine, which fetches the review photos of
// submitted sheets: their addresses come from what a submitter sent, so only
// the configured photo hosts are reached (the file store's by default), with
// the client's TLS trust, its request timeout and its answer size cap, and no
// redirect leads elsewhere. Anything else fails, and the page shows its
// failed-photo symbol.
class FileStorePhotoAccess : public QQmlNetworkAccessManagerFactory
{
public:
    explicit FileStorePhotoAccess(const AppConfig &config,
                                  std::chrono::milliseconds timeout = std::chrono::minutes(1));

    // Called by the engine on each thread that loads from the network.
    QNetworkAccessManager *create(QObject *parent) override;

private:
    QStringList m_hosts;
    QString m_caFile;
    std::chrono::milliseconds m_timeout;
};

} // namespace orvelle
