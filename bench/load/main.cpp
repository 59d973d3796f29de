// Fills in and submits 200 check sheets through the client's own sheet screen,
// a fresh screen for each sheet as each opening of it makes, against a dev
// service run as a child process, and watches the client's memory: heap and
// resident size after the first 20 sheets and after all 200. Then counts the
// sheets the service holds in its database.
#include "common/SignedInClient.h"
#include "core/Scheduler.h"
#include "inspection/DetailedOnspectionListView.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "platform/Camera.h"
#include "session/User.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace orvelle;
using namespace orvelle::bench;

namespace {
constexpr int sheetCount = 200;
constexpr int warmSheets = 20;
// Every third sheet has one unqualified item, described and photographed.
constexpr int unqualifiedEvery = 3;
const QString storedText = QStringLiteral("检查表提交成功");

struct Memory
{
    double heapKiB = 0;
    double residentKiB = 0;
};

Memory memoryNow()
{
    // Replies and closed screens go with deleteLater: count only what the client keeps.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Memory memory;
    memory.heapKiB = double(mallinfo2().uordblks) / 1024.0;
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        if (fields.size() > 1)
            memory.residentKiB = double(fields[1].toLongLong() * sysconf(_SC_PAGESIZE)) / 1024.0;
    }
    return memory;
}

// One sheet as the inspector fills it in on a fresh screen, then "上传" and
// "确定". Empty when the service confirmed it, otherwise what went wrong.
QString fillInAndSubmit(FormServices &forms, const QString &key, int number, bool unqualified)
{
    auto *sheet = new DetailedOnspectionListView(
        forms, {storedPicture(forms.filing.store, number).hash}, key);
    const auto changed = &DetailedOnspectionListView::sheetChanged;
    QString problem;
    sheet->appeared();
    if (!waitUntil(sheet, changed, [&] { return sheet->canUpload() || sheet->hasErrorMessage(); })
        || !sheet->canUpload()) {
        problem = QStringLiteral("not loaded: ") + sheet->errorMessageText();
    } else {
        InspectionItemListModel *items = sheet->checkitems();
        const int bad = unqualified && items->count() > 0 ? number % items->count() : -1;
        for (int row = 0; row < items->count(); ++row) {
            if (row != bad) {
                items->at(row)->qualify();
                continue;
            }
            items->at(row)->disqualify();
            items->at(row)->setInputText(QStringLiteral("第%1张检查表的问题").arg(number));
            sheet->photos()->selectedImages()->append(
                storedPicture(forms.filing.store, sheetCount + number));
        }
        sheet->upload();
        if (!waitUntil(sheet->alert(), &AlertState::changed,
                       [&] { return sheet->alert()->shown(); }))
            problem = QStringLiteral("no answer");
        else if (sheet->alert()->message() != storedText || !sheet->shouldNavigate())
            problem = sheet->alert()->message();
        sheet->alert()->acknowledge();
    }
    // Closed as the task list closes it, before the next one opens.
    const QPointer<DetailedOnspectionListView> closed = sheet;
    sheet->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (closed && problem.isEmpty())
        problem = QStringLiteral("the screen was not destroyed");
    return problem;
}

struct Stored
{
    qint64 sheets = -1;
    qint64 unqualified = -1;
};

// Check sheets in the service's database, and those it holds as not all qualified.
Stored storedSheets(const QString &databaseFile)
{
    Stored stored;
    sqlite3 *db = nullptr;
    sqlite3_stmt *query = nullptr;
    if (sqlite3_open_v2(databaseFile.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr)
            == SQLITE_OK
        && sqlite3_prepare_v2(db,
                              "SELECT COUNT(*), COALESCE(SUM(allapprove = '0'), 0)"
                              " FROM sheets WHERE hazard = 0",
                              -1, &query, nullptr)
               == SQLITE_OK
        && sqlite3_step(query) == SQLITE_ROW) {
        stored.sheets = sqlite3_column_int64(query, 0);
        stored.unqualified = sqlite3_column_int64(query, 1);
    } else {
        std::fprintf(stderr, "bench load: sqlite: %s\n", sqlite3_errmsg(db));
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return stored;
}

} // namespace

int main(int argc, char **argv)
{
    SignedInClient bench("load");
    QCoreApplication app(argc, argv);
    if (const QString problem = bench.start(); !problem.isEmpty())
        return bench.fail(problem);
    // The check points the on-site list offers today; the sheets go round them.
    const QStringList keys = bench.checkPointKeys();
    if (keys.isEmpty())
        return bench.fail(QStringLiteral("no check point for the department"));

    int refused = 0;
    int unqualified = 0;
    Memory warm;
    QElapsedTimer clock;
    clock.start();
    for (int number = 1; number <= sheetCount; ++number) {
        const bool bad = number % unqualifiedEvery == 0;
        const QString problem =
            fillInAndSubmit(*bench.forms, keys.at(number % keys.size()), number, bad);
        if (!problem.isEmpty()) {
            ++refused;
            std::fprintf(stderr, "bench load: sheet %d: %s\n", number, qPrintable(problem));
        } else if (bad) {
            ++unqualified;
        }
        if (number == warmSheets)
            warm = memoryNow();
    }
    const Memory done = memoryNow();
    const double seconds = double(clock.elapsed()) / 1000.0;

    bench.devService->stop();
    const Stored stored = storedSheets(bench.devService->databaseFile());

    const double heapGrowthKiB = done.heapKiB - warm.heapKiB;
    const double residentGrowthPct =
        warm.residentKiB > 0 ? (done.residentKiB - warm.residentKiB) * 100.0 / warm.residentKiB
                             : 100.0;
    const bool allStored =
        refused == 0 && stored.sheets == sheetCount && stored.unqualified == unqualified;
    std::printf("load: %d check sheets filled in and submitted on the sheet screen, one after\n"
                "      the other, to the dev service at %s\n",
                sheetCount, qPrintable(bench.address));
    std::printf("  time                 %.1f s (%.1f ms a sheet)\n", seconds,
                seconds * 1000.0 / sheetCount);
    std::printf("  heap in use          %.0f KiB after %d, %.0f KiB after %d (%+.0f KiB)\n",
                warm.heapKiB, warmSheets, done.heapKiB, sheetCount, heapGrowthKiB);
    std::printf("  resident             %.0f KiB after %d, %.0f KiB after %d (%+.1f %%)\n",
                warm.residentKiB, warmSheets, done.residentKiB, sheetCount, residentGrowthPct);
    std::printf(
        "  stored by the service %lld sheets, %lld not all qualified (%d sent), refused %d\n",
        (long long)stored.sheets, (long long)stored.unqualified, unqualified, refused);

    const bool met = allStored && heapGrowthKiB <= 1024.0 && residentGrowthPct <= 10.0;
    const QJsonObject line{
        {"bench", "load"},
        {"figures", QJsonObject{{"sheets", sheetCount},
                                {"seconds", seconds},
                                {"heap_kib_20", warm.heapKiB},
                                {"heap_kib_200", done.heapKiB},
                                {"heap_growth_kib", heapGrowthKiB},
                                {"resident_kib_20", warm.residentKiB},
                                {"resident_kib_200", done.residentKiB},
                                {"resident_growth_pct", residentGrowthPct},
                                {"stored_rows", stored.sheets},
                                {"stored_unqualified", stored.unqualified},
                                {"sent_unqualified", unqualified},
                                {"refused", refused},
                                {"all_stored", allStored}}},
        {"targets", QJsonObject{{"heap_growth_kib", 1024},
                                {"resident_growth_pct", 10},
                                {"stored_rows", sheetCount}}},
        {"met", met},
    };
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    return met ? 0 : 1;
}
