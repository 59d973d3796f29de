#pragma once

// What the benchmarks that talk to orvelle-devserver share: a loopback address
// of their own and a wait on the event loop.

#include "net/Endpoints.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTimer>

#include <functional>

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
