#include "ShapedLink.h"

#include "common/ProcessFigures.h"
#include "common/StallWatch.h"
#include "net/Endpoints.h"
#include "outbox/FilingProgress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

namespace orvelle::bench {

namespace {
const QString draftKey = QStringLiteral("hazard");
const QString photoGroup = QStringLiteral("image");
const std::string uploadPath = QString(endpoints::photoUpload).toStdString();
// The part of a filing the server has read when it is set aside.
constexpr double stopShare = 0.7;
// A filing of eight photos at 1 Mbit/s takes under a minute; one that runs
// three is lost, and what follows would measure nothing.
constexpr int filingPatienceMs = 180000;
} // namespace

bool waitFor(const std::function<bool()> &done, int ms)
{
    QEventLoop loop;
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (done())
        return true;
    look.start();
    giveUp.start(ms);
    loop.exec();
    return done();
}

ShapedLink::ShapedLink(test::HttpsTestServer &server, FilingServices &services,
                       FilingProgress &progress, QString account, QStringList hashes)
    : m_server(server)
    , m_services(services)
    , m_progress(progress)
    , m_account(std::move(account))
    , m_hashes(std::move(hashes))
{
    for (const QString &hash : m_hashes) {
        m_sizes.append(QFileInfo(m_services.store.photoFile(hash)).size());
        m_photoBytes += m_sizes.last();
    }
}

// A hazard report with the photos, filed into the outbox as the form files it.
qint64 ShapedLink::newEntry(LinkFigures &figures)
{
    const Submission submission{draftKey,
                                QStringLiteral("hazard"),
                                QStringLiteral("巷道顶板离层"),
                                QString(endpoints::json::createDanger),
                                {{QStringLiteral("db"), endpoints::notesDatabase},
                                 {QStringLiteral("checkname"), QStringLiteral("隐患登记")},
                                 {QStringLiteral("rowcount"), QStringLiteral("1")}},
                                {{photoGroup, photoGroup, QStringLiteral("----")}},
                                {}};
    const Draft draft{m_account, draftKey, {}, {{photoGroup, m_hashes}}, {}};
    const qint64 id = m_services.store.saveDraft(draft)
                          ? m_services.store
                                .enqueue(m_account, draftKey, submission.kind, submission.title,
                                         submission.payload())
                                .value_or(OutboxEntry{})
                                .id
                          : 0;
    if (id == 0)
        figures.trouble = QStringLiteral("not filed: ") + m_services.store.errorString();
    return id;
}

std::optional<OutboxEntry> ShapedLink::entry(qint64 id)
{
    for (const OutboxEntry &entry : m_services.store.outbox(m_account))
        if (entry.id == id)
            return entry;
    return std::nullopt;
}

bool ShapedLink::deliver(const OutboxEntry &entry, Delivery::Result &result)
{
    // While the overlay shows the attempt, not while the bench files or reads entries.
    const StallWatch stall(true);
    bool ended = false;
    QEventLoop loop;
    // Gone at the end: an attempt that did not end is dropped with it.
    QObject context;
    Delivery::run(
        m_services, Parcel::of(entry), &context,
        [&](const Delivery::Result &answer) {
            result = answer;
            ended = true;
            loop.quit();
        },
        &m_progress);
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    giveUp.start(filingPatienceMs);
    if (!ended)
        loop.exec();
    m_stallMs = std::max(m_stallMs, stall.longestMs());
    m_rawStallMs = std::max(m_rawStallMs, stall.rawLongestMs());
    return ended;
}

void ShapedLink::settle()
{
    waitFor([this] { return m_server.requests().size() == std::size_t(m_server.startedCount()); },
            15000);
}

LinkFigures ShapedLink::measure(const test::HttpsTestServer::Link &link)
{
    LinkFigures figures;
    QElapsedTimer wall;
    wall.start();
    m_server.setLink(link);
    const int connections = m_server.connectionCount();
    const int resumed = m_server.resumedSessions();
    m_stallMs = m_rawStallMs = 0;
    firstFiling(figures, link);
    if (figures.trouble.isEmpty())
        setAsideFiling(figures);
    figures.stallMs = m_stallMs;
    figures.rawStallMs = m_rawStallMs;
    figures.connections = m_server.connectionCount() - connections;
    figures.resumedSessions = m_server.resumedSessions() - resumed;
    m_server.setLink({});
    figures.wallMs = wall.elapsed();
    return figures;
}

// Delivered whole, the overlay watched at each of its changes and every 50 ms.
void ShapedLink::firstFiling(LinkFigures &figures, const test::HttpsTestServer::Link &link)
{
    const std::optional<OutboxEntry> filed = entry(newEntry(figures));
    if (!filed)
        return;
    const std::size_t readBefore = m_server.bodyBytesRead();
    QElapsedTimer clock;
    qint64 recordNs = -1;
    const auto look = [&] {
        if (m_progress.stage() != FilingProgress::Stage::Photos)
            return;
        const double read = double(m_server.bodyBytesRead() - readBefore);
        const double lead = (double(m_progress.bytesSent()) - read) / double(m_photoBytes);
        figures.ahead = std::max(figures.ahead, lead);
        figures.behind = std::max(figures.behind, -lead);
    };
    QObject watching;
    QObject::connect(&m_progress, &FilingProgress::changed, &watching, look);
    QObject::connect(&m_progress, &FilingProgress::stageChanged, &watching, [&] {
        if (m_progress.stage() == FilingProgress::Stage::Record && recordNs < 0)
            recordNs = clock.nsecsElapsed();
        look();
    });
    QTimer every(&watching);
    QObject::connect(&every, &QTimer::timeout, &watching, look);
    every.start(50);

    clock.start();
    Delivery::Result result;
    if (!deliver(*filed, result))
        figures.trouble = QStringLiteral("the first filing did not end");
    else if (result.outcome != Delivery::Outcome::Delivered)
        figures.trouble = QStringLiteral("the first filing was not delivered");
    if (recordNs > 0) {
        figures.photosMs = recordNs / 1000000;
        figures.goodput =
            double(m_photoBytes) * 8.0 / (double(recordNs) / 1e9) / double(link.bitsPerSecond);
    }
    settle();
}

// Set aside at 70 % of its bytes read, then delivered later: what the stop
// kept, what went after it for nothing, and whether any photo went twice.
void ShapedLink::setAsideFiling(LinkFigures &figures)
{
    const qint64 id = newEntry(figures);
    const std::optional<OutboxEntry> filed = entry(id);
    if (!filed)
        return;
    const std::size_t readBefore = m_server.bodyBytesRead();
    const std::size_t firstRequest = m_server.requests().size();
    const auto stopAt = std::size_t(stopShare * double(m_photoBytes));
    bool asked = false;
    QElapsedTimer sinceAsked;
    QTimer look;
    look.setTimerType(Qt::PreciseTimer);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (asked || m_server.bodyBytesRead() - readBefore < stopAt)
            return;
        m_server.markTime();
        m_progress.askToStop();
        asked = true;
        sinceAsked.start();
    });
    look.start(2);
    Delivery::Result result;
    const bool ended = deliver(*filed, result);
    look.stop();
    if (!asked) {
        figures.trouble = QStringLiteral("the filing ended before it could be set aside");
        return;
    }
    figures.stopMs = sinceAsked.elapsed();
    if (!ended)
        figures.trouble = QStringLiteral("the set-aside filing did not end");
    settle();
    const std::optional<OutboxEntry> waiting = entry(id);
    figures.storedAtStop = waiting ? int(waiting->uploaded.size()) : 0;
    const auto requests = m_server.requests();
    for (std::size_t i = firstRequest; i < requests.size(); ++i) {
        figures.readAfterStop += qint64(requests[i].bytesAfterMark);
        if (!requests[i].complete)
            figures.bytesAfterStop += qint64(requests[i].bytesAfterMark);
    }

    if (!waiting || !deliver(*waiting, result)) {
        figures.trouble = QStringLiteral("the later delivery did not end");
        return;
    }
    if (result.outcome != Delivery::Outcome::Delivered)
        figures.trouble = QStringLiteral("the later delivery was not delivered");
    settle();
    // Every complete upload is a photo the file store stored.
    QHash<qint64, int> stored;
    const auto all = m_server.requests();
    for (std::size_t i = firstRequest; i < all.size(); ++i)
        if (all[i].path == uploadPath && all[i].complete)
            ++stored[qint64(all[i].bodyBytes)];
    int storedPhotos = 0;
    for (const qint64 size : m_sizes) {
        const int times = stored.value(size);
        figures.neverStored += times == 0 ? 1 : 0;
        figures.storedTwice += std::max(0, times - 1);
        storedPhotos += times;
    }
    // A body of no photo's size would be a photo cut or padded on its way.
    int storedBodies = 0;
    for (const int times : stored)
        storedBodies += times;
    figures.storedOnce =
        figures.neverStored == 0 && figures.storedTwice == 0 && storedBodies == storedPhotos;
}

} // namespace orvelle::bench
