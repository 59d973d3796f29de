#pragma once

// Filings of the same photos through the client's own road (an outbox entry
// delivered with the overlay's progress) over a link the test server shapes,
// as an inspector underground has it: how much of the link the photos use,
// how closely the overlay follows what crossed it, what a filing set aside
// keeps and what it sends for nothing, and whether a later delivery stores a
// photo twice.

#include "outbox/Delivery.h"
#include "support/https/HttpsTestServer.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace orvelle {
class FilingProgress;
}

namespace orvelle::bench {

struct LinkFigures
{
    // Photo bytes over the time from the delivery's start to its record, as a
    // share of what the link carries in that time.
    double goodput = 0;
    qint64 photosMs = 0;
    // The overlay's lead over what the server has read, of all the photo
    // bytes, at its worst; `behind` is the same the other way.
    double ahead = 0;
    double behind = 0;
    // A second filing set aside once the server has read 70 % of it.
    int storedAtStop = 0;
    // Read after the stop by uploads that never completed: sent for nothing.
    qint64 bytesAfterStop = 0;
    // Read after the stop by all uploads, those that completed too.
    qint64 readAfterStop = 0;
    qint64 stopMs = 0;
    // Over that filing and its later delivery, by the stored bodies' sizes.
    bool storedOnce = false;
    int storedTwice = 0;
    int neverStored = 0;
    // Less the machine's own pauses, and as the GUI thread saw it.
    double stallMs = 0;
    double rawStallMs = 0;
    int connections = 0;
    int resumedSessions = 0;
    qint64 wallMs = 0;
    // Why a filing went other than it should, "" when none did.
    QString trouble;

    static constexpr double goodputTarget = 0.9;
    static constexpr double aheadTarget = 0.10;
    static constexpr int storedAtStopTarget = 5;
    static constexpr qint64 bytesAfterStopTarget = 128 * 1024;
    static constexpr double stallTarget = 16.0;

    bool met() const
    {
        return trouble.isEmpty() && goodput >= goodputTarget && ahead <= aheadTarget
               && storedAtStop >= storedAtStopTarget && bytesAfterStop <= bytesAfterStopTarget
               && storedOnce && stallMs <= stallTarget;
    }
};

class ShapedLink
{
public:
    // `hashes`: photos already in the store, each of its own size.
    ShapedLink(test::HttpsTestServer &server, FilingServices &services, FilingProgress &progress,
               QString account, QStringList hashes);

    LinkFigures measure(const test::HttpsTestServer::Link &link);

    qint64 photoBytes() const { return m_photoBytes; }

private:
    qint64 newEntry(LinkFigures &figures);
    std::optional<OutboxEntry> entry(qint64 id);
    // One attempt, run to its end; false when it did not end in time.
    bool deliver(const OutboxEntry &entry, Delivery::Result &result);
    // Until the server has recorded every request it began.
    void settle();
    void firstFiling(LinkFigures &figures, const test::HttpsTestServer::Link &link);
    void setAsideFiling(LinkFigures &figures);

    test::HttpsTestServer &m_server;
    FilingServices &m_services;
    FilingProgress &m_progress;
    QString m_account;
    QStringList m_hashes;
    // Photo file sizes, each photo's own.
    QList<qint64> m_sizes;
    qint64 m_photoBytes = 0;
    // The GUI thread's longest stall in the deliveries so far.
    double m_stallMs = 0, m_rawStallMs = 0;
};

// Runs the event loop until `done` holds or `ms` have passed; whether it holds.
bool waitFor(const std::function<bool()> &done, int ms);

} // namespace orvelle::bench
