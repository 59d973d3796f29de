// Files 50 check sheets with three photos each on the client's own sheet
// screen while the dev service is down, so they wait in the outbox; then
// brings the service back and lets the outbox deliver them, watching the GUI
// thread. Counts what the service stored: each sheet once, each photo once.
// Also times a draft's save after a change, the photos being on disk already,
// and delivers 50 more whose oldest keeps failing: the 49 behind it must go.
#include "common/ProcessFigures.h"
#include "common/SignedInClient.h"
#include "common/StallWatch.h"
#include "core/Scheduler.h"
#include "inspection/DetailedOnspectionListView.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "outbox/FormFiling.h"
#include "outbox/Outbox.h"
#include "platform/Camera.h"
#include "session/User.h"
#include "store/DeviceStore.h"
#include "store/FormDraft.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sqlite3.h>

using namespace orvelle;
using namespace orvelle::bench;

namespace {
constexpr int sheetCount = 50;
constexpr int photosPerSheet = 3;
constexpr int draftSaves = 50;

using Road = FormServices;

// A sheet screen as the task list opens it; empty when its sheet loaded.
QString openSheet(Road &road, const QString &key, const QStringList &onsite,
                  QPointer<DetailedOnspectionListView> &sheet)
{
    sheet = new DetailedOnspectionListView(road, onsite, key);
    sheet->appeared();
    waitUntil(sheet.data(), &DetailedOnspectionListView::sheetChanged,
              [&] { return sheet->canUpload() || sheet->hasErrorMessage(); });
    return sheet->canUpload() ? QString()
                              : QStringLiteral("not loaded: ") + sheet->errorMessageText();
}

void close(QPointer<DetailedOnspectionListView> &sheet)
{
    delete sheet.data();
}

// One sheet filled in with the service out of reach: the on-site photo (its
// own picture unless `onsite` is given), one item unqualified with two photos,
// then "上传". Empty once it waits in the outbox.
QString fileOffline(Road &road, const QString &key, int number, QString onsite = {})
{
    if (onsite.isEmpty())
        onsite = storedPicture(road.filing.store, 3 * number).hash;
    QPointer<DetailedOnspectionListView> sheet;
    QString problem = openSheet(road, key, {onsite}, sheet);
    if (problem.isEmpty()) {
        InspectionItemListModel *items = sheet->checkitems();
        for (int row = 0; row < items->count(); ++row) {
            if (row != number % items->count()) {
                items->at(row)->qualify();
                continue;
            }
            items->at(row)->disqualify();
            items->at(row)->setInputText(QStringLiteral("第%1张检查表的问题").arg(number));
            for (const int photo : {3 * number + 1, 3 * number + 2})
                sheet->photos()->selectedImages()->append(storedPicture(road.filing.store, photo));
        }
        sheet->upload();
        if (!waitUntil(sheet->alert(), &AlertState::changed,
                       [&] { return sheet->alert()->shown(); }))
            problem = QStringLiteral("no answer");
        else if (sheet->alert()->message() != FormFiling::queuedMessage())
            problem = sheet->alert()->message();
        sheet->alert()->acknowledge();
    }
    close(sheet);
    return problem;
}

// A photo file intact on the device that the file store refuses: no picture.
QString refusedPhoto(DeviceStore &store)
{
    QStringList hashes;
    QEventLoop loop;
    store.storePhotos({QByteArrayLiteral("no picture, refused by the file store")}, &loop,
                      [&](const QStringList &stored, const QString &) {
                          hashes = stored;
                          loop.quit();
                      });
    loop.exec();
    return hashes.value(0);
}

// The GUI thread's share of FormDraft::save after each change, in ms, sorted.
QList<double> draftSaveTimes(DeviceStore &store, const QString &account)
{
    QStringList photos;
    for (const int number : {1000, 1001, 1002})
        photos << storedPicture(store, number).hash;
    int changes = 0;
    FormDraft draft(&store, account, QStringLiteral("bench/draft"), [&] {
        FormDraft::Snapshot snapshot;
        snapshot.fields.insert(QStringLiteral("change"), changes);
        snapshot.photos.insert(QStringLiteral("photos"), photos);
        return std::optional(snapshot);
    });
    QList<double> times;
    for (int i = 0; i < draftSaves; ++i) {
        ++changes;
        QElapsedTimer clock;
        clock.start();
        draft.save();
        times << double(clock.nsecsElapsed()) / 1e6;
    }
    draft.finish();
    std::sort(times.begin(), times.end());
    return times;
}

struct Stored
{
    qint64 sheets = -1;
    qint64 addresses = 0;
    qint64 distinctAddresses = 0;
};

Stored storedSheets(const QString &databaseFile)
{
    Stored stored;
    QSet<QString> distinct;
    sqlite3 *db = nullptr;
    sqlite3_stmt *query = nullptr;
    if (sqlite3_open_v2(databaseFile.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr)
            != SQLITE_OK
        || sqlite3_prepare_v2(db, "SELECT openimageurl || '----' || image FROM sheets", -1, &query,
                              nullptr)
               != SQLITE_OK) {
        std::fprintf(stderr, "bench outbox: sqlite: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return stored;
    }
    stored.sheets = 0;
    while (sqlite3_step(query) == SQLITE_ROW) {
        ++stored.sheets;
        const QString text =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(query, 0)));
        for (const QString &address : text.split(QStringLiteral("----"), Qt::SkipEmptyParts)) {
            ++stored.addresses;
            distinct.insert(address);
        }
    }
    stored.distinctAddresses = distinct.size();
    sqlite3_finalize(query);
    sqlite3_close(db);
    return stored;
}

qint64 filesUnder(const QString &dir)
{
    qint64 count = 0;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++count;
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    SignedInClient bench("outbox");
    QCoreApplication app(argc, argv);
    if (const QString problem = bench.start(); !problem.isEmpty())
        return bench.fail(problem);
    DeviceStore &store = bench.store;
    Outbox &outbox = *bench.outbox;

    // Online once: the check points and each one's blank sheet are kept.
    const QStringList keys = bench.checkPointKeys();
    if (keys.isEmpty())
        return bench.fail(QStringLiteral("no check point for the department"));
    Road &road = *bench.forms;
    for (const QString &key : keys) {
        QPointer<DetailedOnspectionListView> sheet;
        const QString problem = openSheet(road, key, {}, sheet);
        close(sheet);
        if (!problem.isEmpty())
            return bench.fail(problem);
    }

    // Underground.
    bench.devService->kill();
    int notQueued = 0;
    for (int number = 1; number <= sheetCount; ++number) {
        const QString problem = fileOffline(road, keys.at(number % keys.size()), number);
        if (!problem.isEmpty()) {
            ++notQueued;
            std::fprintf(stderr, "bench outbox: sheet %d: %s\n", number, qPrintable(problem));
        }
    }
    const int queued = outbox.waitingCount();
    const QList<double> saves = draftSaveTimes(store, bench.user.username().value_or(QString()));

    // Back in reach: "重试", and the outbox delivers them one after the other.
    if (QString error; !bench.devService->start({}, &error))
        return bench.fail(error);
    QElapsedTimer clock;
    clock.start();
    StallWatch stalls;
    outbox.retry();
    const bool drained = waitUntil(&outbox, &Outbox::changed, [&] {
        return outbox.waitingCount() == 0 && !outbox.isSending();
    });
    const double seconds = double(clock.elapsed()) / 1000.0;
    const double stallMs = stalls.longestMs();

    bench.devService->stop();
    const Stored stored = storedSheets(bench.devService->databaseFile());
    const qint64 photoFiles = filesUnder(bench.devService->photoDir());
    const qint64 expectedPhotos = qint64(sheetCount) * photosPerSheet;
    const double medianSaveMs = saves.value(saves.size() / 2);
    const double longestSaveMs = saves.isEmpty() ? 0 : saves.last();

    std::printf("outbox: %d check sheets of %d photos filed with the dev service down, then\n"
                "        delivered by the outbox once it is back at %s\n",
                sheetCount, photosPerSheet, qPrintable(bench.address));
    std::printf("  queued               %d (not queued %d)\n", queued, notQueued);
    std::printf("  delivery             %.1f s (%.0f ms a sheet), all delivered: %s\n", seconds,
                seconds * 1000.0 / sheetCount, drained ? "yes" : "no");
    std::printf("  stored by the service %lld sheets, %lld photo addresses (%lld distinct), "
                "%lld photo files\n",
                (long long)stored.sheets, (long long)stored.addresses,
                (long long)stored.distinctAddresses, (long long)photoFiles);
    std::printf("  GUI thread stall     %.1f ms while delivering (target <= 16)\n", stallMs);
    std::printf("  draft save           %.2f ms median, %.2f ms longest on the GUI thread "
                "(target <= 5)\n",
                medianSaveMs, longestSaveMs);

    const bool exactlyOnce = stored.sheets == sheetCount && stored.addresses == expectedPhotos
                             && stored.distinctAddresses == expectedPhotos
                             && photoFiles == expectedPhotos;

    // Underground again, and the oldest sheet's on-site photo is one the file
    // store refuses each time: the ones behind it go all the same, each once.
    const QString refused = refusedPhoto(store);
    int behindNotQueued = 0;
    for (int number = 1; number <= sheetCount; ++number)
        if (!fileOffline(road, keys.at(number % keys.size()), sheetCount + number,
                         number == 1 ? refused : QString())
                 .isEmpty())
            ++behindNotQueued;
    if (QString error; !bench.devService->start({}, &error))
        return bench.fail(error);
    clock.restart();
    StallWatch behindStalls;
    outbox.retry();
    const bool othersDrained = waitUntil(&outbox, &Outbox::changed, [&] {
        return outbox.waitingCount() == 1 && !outbox.isSending();
    });
    const double behindSeconds = double(clock.elapsed()) / 1000.0;
    const double behindStallMs = behindStalls.longestMs();
    QList<OutboxEntry> left;
    for (const OutboxEntry &entry : outbox.entries())
        if (entry.state != OutboxState::Sent)
            left << entry;
    // It waits for its next try, saying why.
    const bool oldestLeft =
        left.size() == 1 && !left.first().reason.isEmpty()
        && left.first().photos.value(QStringLiteral("onsite")).contains(refused);
    bench.devService->stop();
    const Stored afterBehind = storedSheets(bench.devService->databaseFile());
    const qint64 behindFiles = filesUnder(bench.devService->photoDir()) - photoFiles;
    const int behind = sheetCount - 1;
    const qint64 behindSheets = afterBehind.sheets - stored.sheets;
    const qint64 behindPhotos = qint64(behind) * photosPerSheet;
    // The failing sheet's photos stored before the refused one count too.
    const bool behindOnce =
        behindSheets == behind && afterBehind.addresses - stored.addresses == behindPhotos
        && afterBehind.distinctAddresses - stored.distinctAddresses == behindPhotos
        && behindFiles == behindPhotos + (oldestLeft ? left.first().uploaded.size() : 0);
    std::printf(
        "  oldest failing       %d filed, the oldest's photo refused: %lld of the %d "
        "behind it delivered in %.1f s, each once: %s, the oldest waits with its reason: %s\n",
        sheetCount - behindNotQueued, (long long)behindSheets, behind, behindSeconds,
        behindOnce ? "yes" : "no", oldestLeft ? "yes" : "no");
    std::printf("  GUI thread stall     %.1f ms while delivering past it (target <= 16)\n",
                behindStallMs);

    const bool met = notQueued == 0 && queued == sheetCount && drained && exactlyOnce
                     && stallMs <= 16.0 && longestSaveMs <= 5.0 && behindNotQueued == 0
                     && othersDrained && oldestLeft && behindOnce && behindStallMs <= 16.0;
    const QJsonObject line{
        {"bench", "outbox"},
        {"figures", QJsonObject{{"sheets", sheetCount},
                                {"queued", queued},
                                {"delivery_seconds", seconds},
                                {"stored_sheets", stored.sheets},
                                {"stored_photo_addresses", stored.addresses},
                                {"distinct_photo_addresses", stored.distinctAddresses},
                                {"photo_files", photoFiles},
                                {"gui_stall_ms", stallMs},
                                {"draft_save_median_ms", medianSaveMs},
                                {"draft_save_longest_ms", longestSaveMs},
                                {"exactly_once", exactlyOnce},
                                {"oldest_failing_delivered_behind", behindSheets},
                                {"oldest_failing_seconds", behindSeconds},
                                {"oldest_failing_each_once", behindOnce},
                                {"oldest_failing_waits_with_reason", oldestLeft},
                                {"oldest_failing_gui_stall_ms", behindStallMs}}},
        {"targets", QJsonObject{{"stored_sheets", sheetCount},
                                {"photo_files", expectedPhotos},
                                {"gui_stall_ms", 16},
                                {"draft_save_longest_ms", 5},
                                {"oldest_failing_delivered_behind", behind},
                                {"oldest_failing_gui_stall_ms", 16}}},
        {"met", met},
    };
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    return met ? 0 : 1;
}
