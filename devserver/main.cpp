#include "DevServer.h"
#include "QrCodes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <csignal>
#include <cstdio>

using namespace orvelle::devserver;

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "orvelle-devserver: %s\n", qPrintable(message));
    return 1;
}

bool readNumber(const QCommandLineParser &parser, const QString &name, qint64 *value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *value = parser.value(name).toLongLong(&ok);
    return ok && *value >= 0;
}

volatile std::sig_atomic_t stopRequested = 0;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvelle-devserver"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local stand-in for the inspection service and the file store."));
    parser.addHelpOption();
    const auto option = [&](const char *name, const char *description, const char *valueName) {
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(description),
                          QString::fromLatin1(valueName)});
    };
    option("data", "Data folder (certificates, database, photos).", "DIR");
    option("listen", "Address to listen on (default 127.0.0.1).", "ADDR");
    option("http-port", "Plain-HTTP port for photos and pages (default 50080).", "PORT");
    option("public-host", "Host written into photo addresses (default: the listen address).",
           "HOST");
    option("publish-build", "Publish build number N as the newest client version.", "N");
    option("token-lifetime", "Seconds a sign-in stays valid (default 604800).", "SECONDS");
    option("code-lifetime", "Seconds a verification code stays valid (default 300).", "SECONDS");
    option("fault",
           "Drop the connection of record requests without an answer: drop-before-store or "
           "drop-after-store.",
           "MODE");
    option("fault-count", "How many record requests the fault meets (default 1).", "N");
    option("print-qr", "Write the QR codes of check points and notices to DIR and exit.", "DIR");
    parser.addOption({QStringLiteral("accounts"), QStringLiteral("Print the accounts and exit.")});
    parser.process(app);

    DevServerOptions options;
    options.dataDir = parser.isSet(QStringLiteral("data")) ? parser.value(QStringLiteral("data"))
                                                           : defaultDataDir();
    if (parser.isSet(QStringLiteral("listen")))
        options.listenAddress = parser.value(QStringLiteral("listen"));
    options.publicHost = parser.value(QStringLiteral("public-host"));
    qint64 httpPort = options.httpPort;
    qint64 tokenSeconds = options.tokenLifetimeMs / 1000;
    qint64 codeSeconds = options.codeLifetimeMs / 1000;
    qint64 build = 0;
    qint64 faultCount = options.faultCount;
    if (!readNumber(parser, QStringLiteral("http-port"), &httpPort) || httpPort > 65535)
        return fail(QStringLiteral("--http-port must be a port number"));
    if (!readNumber(parser, QStringLiteral("token-lifetime"), &tokenSeconds)
        || !readNumber(parser, QStringLiteral("code-lifetime"), &codeSeconds))
        return fail(QStringLiteral("lifetimes must be whole seconds"));
    if (!readNumber(parser, QStringLiteral("publish-build"), &build))
        return fail(QStringLiteral("--publish-build must be a whole number"));
    if (parser.isSet(QStringLiteral("fault"))) {
        const auto fault = faultNamed(parser.value(QStringLiteral("fault")));
        if (!fault)
            return fail(
                QStringLiteral("--fault must be none, drop-before-store or drop-after-store"));
        options.fault = *fault;
    }
    if (!readNumber(parser, QStringLiteral("fault-count"), &faultCount) || faultCount < 1
        || faultCount > 1000000)
        return fail(QStringLiteral("--fault-count must be a whole number from 1"));
    options.faultCount = int(faultCount);
    options.httpPort = int(httpPort);
    options.tokenLifetimeMs = tokenSeconds * 1000;
    options.codeLifetimeMs = codeSeconds * 1000;
    if (parser.isSet(QStringLiteral("publish-build")))
        options.publishBuild = build;

    if (parser.isSet(QStringLiteral("accounts")) || parser.isSet(QStringLiteral("print-qr"))) {
        QString error;
        if (!makeOwnerOnlyFolder(options.dataDir, &error))
            return fail(error);
        const QString host =
            options.publicHost.isEmpty() ? options.listenAddress : options.publicHost;
        Store store(
            StoreSettings{options.tokenLifetimeMs,
                          options.codeLifetimeMs,
                          {},
                          QStringLiteral("http://%1:%2/site/").arg(host).arg(options.httpPort)});
        if (!store.open(databasePath(options.dataDir), &error))
            return fail(error);
        if (parser.isSet(QStringLiteral("print-qr"))) {
            const QString dir = parser.value(QStringLiteral("print-qr"));
            if (!printQrCodes(store, QStringLiteral("%1:%2").arg(host).arg(options.httpPort), dir,
                              &error))
                return fail(error);
            std::printf("QR codes written to %s\n", qPrintable(QDir(dir).absolutePath()));
        }
        if (parser.isSet(QStringLiteral("accounts"))) {
            std::printf("%-10s %-12s %-12s %-12s %s\n", "account", "phone", "password", "notes-pw",
                        "department");
            for (const AccountSummary &a : store.accounts())
                std::printf("%-10s %-12s %-12s %-12s %s/%s\n", qPrintable(a.username),
                            qPrintable(a.mobile.isEmpty() ? QStringLiteral("-") : a.mobile),
                            qPrintable(a.password), qPrintable(a.notesPassword), qPrintable(a.ou1),
                            qPrintable(a.ou2));
        }
        return 0;
    }

    DevServer server(options);
    QString error;
    if (!server.start(&error))
        return fail(error);
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    while (!stopRequested)
        QThread::msleep(100);
    server.stop();
    return 0;
}
