// Photo uploads measured on the inspector's link. Eight camera-sized photos,
// encoded once by the client's photo intake, are filed as a hazard report
// through the client's own road (outbox entry, delivery, the overlay's
// progress) over a link the test server shapes: 1 Mbit/s with answers 300 ms
// late, as underground, and 20 Mbit/s at 50 ms. Loopback without shaping
// stays as a cost figure against curl.

#include "Loopback.h"
#include "ShapedLink.h"
#include "common/ProcessFigures.h"
#include "common/StallWatch.h"
#include "net/Endpoints.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "outbox/FilingProgress.h"
#include "photos/PhotoIntake.h"
#include "session/Session.h"
#include "store/DeviceStore.h"
#include "support/https/HttpsTestServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSet>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <cstdio>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)

using namespace orvelle;
using orvelle::bench::LinkFigures;
using orvelle::test::Answer;
using orvelle::test::HttpsTestServer;

namespace {
constexpr int photoCount = 8;
// At the client's JPEG quality a photo then weighs about 0.8 MB, as a
// phone camera's does.
constexpr quint32 photoNoise = 20;
constexpr int runs = 3;
constexpr double costTarget = 1.5;
constexpr double memoryTargetMiB = 64;

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The file store names a photo by its size, which differs from photo to
// photo; every other path is the service, saying yes.
Answer fileStoreAndService(const test::RecordedRequest &request)
{
    static const std::string uploadPath = QString(endpoints::photoUpload).toStdString();
    if (request.path == uploadPath)
        return Answer::json(R"({"success":true,"httpUrl":"g/)" + std::to_string(request.bodyBytes)
                            + R"(.jpg"})");
    return Answer::json(R"({"code":1,"msg":"ok"})");
}

// The filing overlay over an empty phone-sized window, bound to `progress`.
struct ShownProgress
{
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QObject> root;

    explicit ShownProgress(FilingProgress &progress)
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQuick
            import Orvelle.Core
            Item {
                required property QtObject progress
                LoadingOverlay {
                    shown: progress.step !== ""
                    text: progress.step
                    detail: progress.amount
                    value: progress.fraction
                }
            })",
                          QUrl(QStringLiteral("qrc:/bench/ShownProgress.qml")));
        root.reset(component.createWithInitialProperties(
            {{QStringLiteral("progress"), QVariant::fromValue<QObject *>(&progress)}}));
        if (auto *item = qobject_cast<QQuickItem *>(root.get())) {
            window.resize(420, 800);
            item->setParentItem(window.contentItem());
            window.show();
        } else {
            std::fprintf(stderr, "bench upload: %s\n", qPrintable(component.errorString()));
        }
    }
};

void printLink(const char *name, const HttpsTestServer::Link &link, const LinkFigures &figures)
{
    std::printf("%s link: %.0f Mbit/s, answers %lld ms late (%.1f s)\n", name,
                double(link.bitsPerSecond) / 1e6, (long long)link.latency.count(),
                double(figures.wallMs) / 1000.0);
    if (!figures.trouble.isEmpty())
        std::printf("  TROUBLE          %s\n", qPrintable(figures.trouble));
    std::printf("  goodput          %.2f of the link (%lld ms to the record; target >= %.1f)\n",
                figures.goodput, (long long)figures.photosMs, LinkFigures::goodputTarget);
    std::printf("  overlay ahead    %.3f of the whole at worst (target <= %.2f)\n", figures.ahead,
                LinkFigures::aheadTarget);
    std::printf("  overlay behind   %.3f of the whole at worst\n", figures.behind);
    std::printf("  set aside at 70%% %d of %d photos stored (target >= %d), %lld ms to stop\n",
                figures.storedAtStop, photoCount, LinkFigures::storedAtStopTarget,
                (long long)figures.stopMs);
    std::printf(
        "  sent for nothing %.1f KiB after the stop (target <= %lld; %.1f KiB read in all)\n",
        double(figures.bytesAfterStop) / 1024.0,
        (long long)LinkFigures::bytesAfterStopTarget / 1024,
        double(figures.readAfterStop) / 1024.0);
    std::printf("  stored once      %s (%d twice, %d never, over both attempts)\n",
                figures.storedOnce ? "yes" : "no", figures.storedTwice, figures.neverStored);
    std::printf("  GUI thread stall %.1f ms (target <= %.0f; %.1f ms with the machine's pauses)\n",
                figures.stallMs, LinkFigures::stallTarget, figures.rawStallMs);
    std::printf("  connections      %d, %d TLS sessions resumed\n", figures.connections,
                figures.resumedSessions);
}

void addLink(QJsonObject &figures, QJsonObject &targets, const QString &name,
             const LinkFigures &link)
{
    const QString prefix = name + QLatin1Char('_');
    figures.insert(prefix + "goodput_share", link.goodput);
    figures.insert(prefix + "ahead_max", link.ahead);
    figures.insert(prefix + "behind_max", link.behind);
    figures.insert(prefix + "stored_at_stop", link.storedAtStop);
    figures.insert(prefix + "bytes_after_stop", link.bytesAfterStop);
    figures.insert(prefix + "read_after_stop", link.readAfterStop);
    figures.insert(prefix + "stored_once", link.storedOnce);
    figures.insert(prefix + "gui_stall_ms", link.stallMs);
    figures.insert(prefix + "gui_stall_raw_ms", link.rawStallMs);
    figures.insert(prefix + "connections", link.connections);
    figures.insert(prefix + "resumed_sessions", link.resumedSessions);
    figures.insert(prefix + "trouble", link.trouble);
    targets.insert(prefix + "goodput_share", LinkFigures::goodputTarget);
    targets.insert(prefix + "ahead_max", LinkFigures::aheadTarget);
    targets.insert(prefix + "stored_at_stop", LinkFigures::storedAtStopTarget);
    targets.insert(prefix + "bytes_after_stop", LinkFigures::bytesAfterStopTarget);
    targets.insert(prefix + "stored_once", true);
    targets.insert(prefix + "gui_stall_ms", LinkFigures::stallTarget);
}
} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer wall;
    wall.start();
    // Made before the application object, so that nothing the client keeps
    // goes to the user's own folders.
    QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toUtf8());
    QGuiApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("orvelle.*.debug=false"));
    const auto cannot = [](const QString &why) {
        std::fprintf(stderr, "bench upload: %s\n", qPrintable(why));
        return 2;
    };

    const std::string host = "127.0.0.98";
    HttpsTestServer server(test::Certificate::Valid, host);
    if (!server.isListening())
        return cannot(
            QStringLiteral("cannot listen on %1:50000").arg(QString::fromStdString(host)));
    server.setKeepBodies(false);
    // Below the GUI thread, for the floor and the client alike: its threads
    // decrypting at once would otherwise count as the client's stall.
    server.setNiceness(10);
    server.setResponder(fileStoreAndService);

    AppConfig config = AppConfig::defaults();
    config.serviceHost = config.fileStoreHost = QString::fromStdString(host);
    config.caFile = QString::fromStdString(HttpsTestServer::caFile());
    // A guest: delivery takes the sign-in as it is, and a guest's token is
    // known without asking the keychain (no prompt on a desktop).
    Session session(folder.filePath(QStringLiteral("account.ini")));
    session.enterGuest();
    ServiceClient client(config, session);
    PhotoUploader uploader(config);
    DeviceStore store;
    if (!store.open(folder.filePath(QStringLiteral("device"))))
        return cannot(store.errorString());
    PhotoIntake intake(store);
    FilingProgress progress;
    ShownProgress shown(progress);

    QList<QImage> photos;
    for (int i = 0; i < photoCount; ++i)
        photos << bench::syntheticPhoto(quint32(i + 1), photoNoise);
    QTemporaryDir floorDir;
    const bench::Floor floor =
        bench::uploadFloor(photos, floorDir.path(), uploader.uploadAddress(), server, runs);

    resetPeakMemory();
    const long baseKiB = bench::statusKiB("VmRSS:");
    // A heartbeat with nothing to do: what the machine itself costs.
    bench::StallWatch idle;
    bench::waitFor([] { return false; }, 400);
    const double idleStallMs = idle.rawLongestMs();
    const bool realtimeWitness = idle.realtimeWitness();

    const bench::StallWatch loopbackStall;
    const bench::ClientUploads loopback =
        bench::clientUploads(uploader, intake, progress, photos, runs);
    const double loopbackStallMs = loopbackStall.longestMs();
    const double ratio = double(loopback.ms) / double(std::max<qint64>(floor.ms, 1));
    photos.clear();

    QStringList hashes;
    QSet<qint64> sizes;
    for (const StoredPhoto &photo : loopback.stored) {
        hashes << photo.hash;
        sizes << QFileInfo(photo.file).size();
    }
    if (hashes.size() != photoCount || sizes.size() != photoCount)
        return cannot(QStringLiteral("the photos were not stored, each of its own size"));

    FilingServices services{client, uploader, store, session};
    // Entries go only with the account that filed them: the guest's own key.
    bench::ShapedLink shaped(server, services, progress, session.accountKey(), hashes);
    const HttpsTestServer::Link slowLink{1000000, std::chrono::milliseconds(300)};
    const HttpsTestServer::Link fastLink{20000000, std::chrono::milliseconds(50)};
    const LinkFigures slow = shaped.measure(slowLink);
    const LinkFigures fast = shaped.measure(fastLink);
    const double addedMiB = double(bench::statusKiB("VmHWM:") - baseKiB) / 1024.0;

    std::printf("filing %d photos of %dx%d, %.2f MB in all\n", photoCount, bench::photoWidth,
                bench::photoHeight, double(shaped.photoBytes()) / 1e6);
    printLink("slow", slowLink, slow);
    printLink("fast", fastLink, fast);
    std::printf("loopback, no shaping (best of %d)\n", runs);
    std::printf("  total            %lld ms (all stored: %s)\n", (long long)loopback.ms,
                loopback.allStored ? "yes" : "no");
    std::printf("  floor            %lld ms (libjpeg-turbo %lld ms + curl --parallel %lld ms%s)\n",
                (long long)floor.ms, (long long)floor.encodeMs, (long long)floor.postMs,
                floor.ok ? "" : ", curl failed");
    std::printf("  total / floor    %.2f (target <= %.1f)\n", ratio, costTarget);
    std::printf("  GUI thread stall %.1f ms (encoding included)\n", loopbackStallMs);
    std::printf("  idle stall       %.1f ms (the same heartbeat with no upload)\n", idleStallMs);
    std::printf("machine pauses     %s\n",
                realtimeWitness ? "taken off by a real-time witness"
                                : "taken off by a witness without real-time priority: read the "
                                  "figures with the pauses");
    std::printf("added peak RSS     %.1f MiB (target <= %.0f)\n", addedMiB, memoryTargetMiB);
    const double wallSeconds = double(wall.elapsed()) / 1000.0;
    std::printf("wall time          %.1f s\n", wallSeconds);

    const bool loopbackMet =
        loopback.allStored && floor.ok && ratio <= costTarget && addedMiB <= memoryTargetMiB;
    const bool met = slow.met() && fast.met() && loopbackMet;
    QJsonObject figures{{"photo_bytes", shaped.photoBytes()},
                        {"loopback_total_ms", loopback.ms},
                        {"loopback_floor_ms", floor.ms},
                        {"loopback_floor_encode_ms", floor.encodeMs},
                        {"loopback_floor_post_ms", floor.postMs},
                        {"loopback_total_over_floor", ratio},
                        {"loopback_gui_stall_ms", loopbackStallMs},
                        {"idle_stall_ms", idleStallMs},
                        {"realtime_witness", realtimeWitness},
                        {"added_peak_mib", addedMiB},
                        {"wall_s", wallSeconds}};
    QJsonObject targets{{"loopback_total_over_floor", costTarget},
                        {"added_peak_mib", memoryTargetMiB}};
    addLink(figures, targets, QStringLiteral("slow"), slow);
    addLink(figures, targets, QStringLiteral("fast"), fast);
    const QJsonObject line{
        {"bench", "upload"},
        {"figures", figures},
        {"targets", targets},
        {"met", met},
    };
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    return met ? 0 : 1;
}
