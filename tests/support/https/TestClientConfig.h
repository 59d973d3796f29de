#pragma once

#include "HttpsTestServer.h"
#include "core/AppConfig.h"

#include <QString>
#include <QTemporaryDir>

namespace orvelle::test {

// A client configuration aimed at this executable's test server, with a fixed
// handset so request bodies are byte-for-byte predictable.
inline AppConfig testConfig()
{
    AppConfig config = AppConfig::defaults();
    config.serviceHost = QString::fromStdString(HttpsTestServer::testHost());
    config.fileStoreHost = config.serviceHost;
    config.caFile = QString::fromStdString(HttpsTestServer::caFile());
    config.deviceModel = QStringLiteral("iPhone 7");
    config.deviceName = QStringLiteral("Field Phone");
    config.deviceSystemVersion = QStringLiteral("16.1");
    return config;
}

// Keeps the default account store and device store inside a temporary
// folder; made before the application object so the locations are read from it.
inline QTemporaryDir &configHome()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    return dir;
}

} // namespace orvelle::test
