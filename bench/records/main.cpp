// Decoding a large task list and a large sheet into their list models, against
// the floor of parsing the same bytes with QJsonDocument alone, in one run.
#include "inspection/InspectionItemView.h"
#include "inspection/InspectionListModels.h"
#include "inspection/InspectionRecords.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace orvelle;

namespace {

QByteArray todayAnswer(int count)
{
    QJsonArray items;
    for (int i = 0; i < count; ++i)
        items.append(QJsonObject{{"id", QString::number(i)},
                                 {"key", QStringLiteral("KS-%1").arg(i, 6, 10, QLatin1Char('0'))},
                                 {"project", QStringLiteral("二号线破碎机检查点 %1").arg(i)},
                                 {"qzdept", QStringLiteral("岚石水泥/矿山分厂")}});
    return QJsonDocument(QJsonObject{{"code", 1},
                                     {"msg", "成功"},
                                     {"db", "QMDB/gongan/SafetyCheck.nsf"},
                                     {"dbvw", "vw-ProjectByQzdept"},
                                     {"server", "DevNotes/Orvelle"},
                                     {"checkitems", items}})
        .toJson(QJsonDocument::Compact);
}

QByteArray sheetAnswer(int count)
{
    QJsonArray items;
    for (int i = 0; i < count; ++i)
        items.append(
            QJsonObject{{"id", QString::number(i + 1)},
                        {"projectitem", QStringLiteral("皮带机护栏是否完好，编号 %1").arg(i)},
                        {"yhtype", "设备设施"},
                        {"yhtypes", "防护装置"},
                        {"yhlevel", "一般隐患"}});
    return QJsonDocument(QJsonObject{{"code", 1},
                                     {"checkdept", "安全环保部"},
                                     {"checkname", "破碎车间日检表"},
                                     {"checkpl", "PL-1"},
                                     {"key", "KS-000001"},
                                     {"rowcount", count},
                                     {"yhfrom", "日常检查"},
                                     {"checkitems", items}})
        .toJson(QJsonDocument::Compact);
}

struct Timing
{
    double floorMicros = 0;
    double workMicros = 0;
    double ratio = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Floor and work run in turns, so a load that comes and goes on a shared
// machine hits both alike; the ratio is the median of the pairs' ratios.
Timing timePairs(int runs, const std::function<void()> &floor, const std::function<void()> &work)
{
    std::vector<double> floors, works, ratios;
    const auto micros = [](const std::function<void()> &f) {
        QElapsedTimer timer;
        timer.start();
        f();
        const double elapsed = double(timer.nsecsElapsed()) / 1000.0;
        // Objects released with deleteLater go between runs, as in the client.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return elapsed;
    };
    for (int i = 0; i < runs; ++i) {
        floors.push_back(micros(floor));
        works.push_back(micros(work));
        ratios.push_back(works.back() / floors.back());
    }
    return {median(floors), median(works), median(ratios)};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int checkPoints = 10000;
    constexpr int sheetItems = 500;
    constexpr int runs = 21;
    const QByteArray today = todayAnswer(checkPoints);
    const QByteArray sheet = sheetAnswer(sheetItems);

    CheckitemListModel rows;
    bool decoded = true;

    const Timing todayTiming = timePairs(
        runs, [&] { decoded &= !QJsonDocument::fromJson(today).isNull(); },
        [&] {
            const auto record =
                decodeRecord<TodayInspectionData>(QJsonDocument::fromJson(today).object());
            decoded &= record && record->checkitems && record->checkitems->size() == checkPoints;
            if (record && record->checkitems)
                rows.setRecords(*record->checkitems);
        });
    const Timing sheetTiming = timePairs(
        runs, [&] { decoded &= !QJsonDocument::fromJson(sheet).isNull(); },
        [&] {
            const auto record =
                decodeRecord<OnInspectionDetaildData>(QJsonDocument::fromJson(sheet).object());
            decoded &= record && record->checkitems && record->checkitems->size() == sheetItems;
            if (!record || !record->checkitems)
                return;
            // Each opening of a sheet makes a fresh model, released when its
            // screen is left, never while the next sheet loads.
            auto *items = new InspectionItemListModel;
            items->reset(*record->checkitems);
            decoded &= items->rowCount() == sheetItems;
            items->deleteLater();
        });
    const double todayFloor = todayTiming.floorMicros, todayTime = todayTiming.workMicros;
    const double sheetFloor = sheetTiming.floorMicros, sheetTime = sheetTiming.workMicros;
    decoded &= rows.rowCount() == checkPoints;

    const double todayRatio = todayTiming.ratio;
    const double sheetRatio = sheetTiming.ratio;
    std::printf(
        "records: decode into the list models vs QJsonDocument parse alone (medians of %d pairs)\n",
        runs);
    std::printf("  task list, %d check points (%lld bytes)\n", checkPoints,
                (long long)today.size());
    std::printf("    parse floor        %.0f us\n", todayFloor);
    std::printf("    parse+decode+model %.0f us\n", todayTime);
    std::printf("    ratio              %.2f (target <= 2)\n", todayRatio);
    std::printf("  sheet, %d items (%lld bytes)\n", sheetItems, (long long)sheet.size());
    std::printf("    parse floor        %.0f us\n", sheetFloor);
    std::printf("    parse+decode+model %.0f us\n", sheetTime);
    std::printf("    ratio              %.2f (target <= 2)\n", sheetRatio);

    const bool met = decoded && todayRatio <= 2.0 && sheetRatio <= 2.0;
    const QJsonObject line{
        {"bench", "records"},
        {"figures", QJsonObject{{"today_floor_us", todayFloor},
                                {"today_us", todayTime},
                                {"today_ratio", todayRatio},
                                {"sheet_floor_us", sheetFloor},
                                {"sheet_us", sheetTime},
                                {"sheet_ratio", sheetRatio},
                                {"decoded", decoded}}},
        {"targets", QJsonObject{{"today_ratio", 2.0}, {"sheet_ratio", 2.0}}},
        {"met", met},
    };
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    return met ? 0 : 1;
}
