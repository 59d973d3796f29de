#pragma once

// What the benchmarks that talk to orvelle-devserver share: a loopback address
// of their own, the service as a child process, and a wait on the event loop.

#include "net/Endpoints.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTimer>

#include <csignal>
#include <functional>
#include <sys/prctl.h>

namespace orvelle::bench {

// Longer than the client's own request timeout.
constexpr int patience = 90000;

// A loopback address whose service and photo ports nobody holds.
inline QString freeLoopbackAddress()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const quint32 pick = QRandomGenerator::global()->bounded(254u * 254u);
        const QHostAddress address(
            QStringLiteral("127.77.%1.%2").arg(1 + pick / 254).arg(1 + pick % 254));
        QTcpServer service, photos;
        if (service.listen(address, endpoints::port) && photos.listen(address, 50080))
            return address.toString();
    }
    return {};
}

// The dev service as a child with its own data folder, gone when the bench
// goes; its log is read and dropped. It may be started again on the same folder.
inline bool startDevService(QProcess &child, const QString &dataDir, const QString &address)
{
    // A start before this one left its reader, which would eat the ready line.
    QObject::disconnect(&child, &QProcess::readyRead, nullptr, nullptr);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    child.start(QStringLiteral(ORVELLE_DEVSERVER),
                {QStringLiteral("--data"), dataDir, QStringLiteral("--listen"), address,
                 QStringLiteral("--http-port"), QStringLiteral("50080")});
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000 && child.waitForReadyRead(1000)) {
        while (child.canReadLine()) {
            if (child.readLine().startsWith("orvelle-devserver: ready ")) {
                QObject::connect(&child, &QProcess::readyRead, &child,
                                 [&child] { child.readAll(); });
                return true;
            }
        }
    }
    return false;
}

// Runs the event loop until `done` holds, looking again at each `signal`.
template <typename Sender, typename Signal>
bool waitUntil(const Sender *sender, Signal signal, const std::function<bool()> &done)
{
    if (done())
        return true;
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    // A timer of its own: QTimer::singleShot would outlive the loop until it fires.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    giveUp.start(patience);
    loop.exec();
    return done();
}

} // namespace orvelle::bench
