// Submits 200 check sheets back to back through the service client to a dev
// service run as a child process, and watches the client's memory: heap and
// resident size after the first 20 sheets and after all 200. Then asks the
// service, as the record review does, which sheets it holds.
#include "core/AppConfig.h"
#include "inspection/InspectionRecords.h"
#include "inspection/InspectionRules.h"
#include "net/Endpoints.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "session/User.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

using namespace orvelle;
namespace json = endpoints::json;

namespace {
constexpr int sheetCount = 200;
constexpr int warmSheets = 20;

struct Memory
{
    double heapKiB = 0;
    double residentKiB = 0;
};

Memory memoryNow()
{
    // Replies go with deleteLater: count only what the client keeps.
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

// A loopback address whose service and photo ports nobody holds.
QString freeLoopbackAddress()
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

// The dev service as a child with its own data folder; its log is read and dropped.
bool startDevService(QProcess &child, const QString &dataDir, const QString &address)
{
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral(ORVELLE_DEVSERVER),
                {QStringLiteral("--data"), dataDir, QStringLiteral("--listen"), address});
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

// One request, waited for: the answer's json, or nothing with the failure printed.
std::optional<QJsonObject> call(ServiceClient &client, bool form, const QString &path,
                                const QJsonObject &parameters)
{
    QEventLoop loop;
    std::optional<QJsonObject> answer;
    const auto succeeded = [&](const std::optional<QString> &, qint64, const QJsonObject &json) {
        answer = json;
        loop.quit();
    };
    const auto failed = [&](qint64 code, const QString &message) {
        std::fprintf(stderr, "bench load: %s failed: %lld %s\n", qPrintable(path), (long long)code,
                     qPrintable(message));
        loop.quit();
    };
    if (form)
        client.sendFormRequest(path, parameters, &loop, succeeded, failed);
    else
        client.sendJSONRequest(path, parameters, &loop, succeeded, failed);
    loop.exec();
    return answer;
}

std::optional<QString> uploadOnePhoto(PhotoUploader &uploader)
{
    QImage photo(640, 480, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    QEventLoop loop;
    std::optional<QString> address;
    uploader.uploadPhotos({photo}, &loop, [&](bool allSucceeded, const QStringList &urls) {
        if (allSucceeded && urls.size() == 1)
            address = urls.first();
        loop.quit();
    });
    loop.exec();
    return address;
}

// The body the on-site sheet sends, its items judged by the sheet's number.
QJsonObject sheetBody(const OnInspectionDetaildData &sheet, const User &user,
                      const QString &notesServer, const QString &onsitePhoto,
                      const QString &addedPhoto, int number)
{
    QString allapprove = QStringLiteral("1");
    QJsonArray items;
    const QList<OnCheckitem> blank = sheet.checkitems.value_or(QList<OnCheckitem>());
    for (qsizetype i = 0; i < blank.size(); ++i) {
        OnXCheckitem item = OnXCheckitem::fromBlank(blank[i]);
        const bool unqualified = (number + i) % 7 == 0;
        item.isapprove = unqualified ? QStringLiteral("1") : QStringLiteral("0");
        if (unqualified) {
            allapprove = QStringLiteral("0");
            item.distription = QStringLiteral("第%1张检查表：%2 不合格")
                                   .arg(number)
                                   .arg(blank[i].projectitem.value_or(unknownItemText()));
        }
        items.append(item.toJson());
    }
    const auto text = [](const std::optional<QString> &value) { return value.value_or(QString()); };
    return QJsonObject{
        {QStringLiteral("allapprove"), allapprove},
        {QStringLiteral("checkdept"), text(sheet.checkdept)},
        {QStringLiteral("checkname"), text(sheet.checkname)},
        {QStringLiteral("checkpl"), text(sheet.checkpl)},
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("key"), text(sheet.key)},
        {QStringLiteral("openimageurl"), onsitePhoto},
        {QStringLiteral("image"), allapprove == u"0" ? addedPhoto : QString()},
        {QStringLiteral("ou1"), text(user.ou1())},
        {QStringLiteral("ou2"), text(user.ou2())},
        {QStringLiteral("place"), QString()},
        {QStringLiteral("username"), text(user.username())},
        {QStringLiteral("rowcount"), sheet.rowcount.value_or(0)},
        {QStringLiteral("server"), notesServer},
        {QStringLiteral("weather"), QStringLiteral("晴")},
        {QStringLiteral("yhfrom"), text(sheet.yhfrom)},
        {QStringLiteral("checkitems"), items},
    };
}

int fail(const char *what)
{
    std::fprintf(stderr, "bench load: %s\n", what);
    return 2;
}
} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    // The account record goes to a folder of this run, never the user's own.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvelle-bench-load"));
    // One debug line per request would be most of what the bench prints.
    QLoggingCategory::setFilterRules(QStringLiteral("orvelle.*.debug=false"));

    const QString address = freeLoopbackAddress();
    if (address.isEmpty())
        return fail("no free loopback address");
    QProcess devService;
    const QString dataDir = dir.filePath(QStringLiteral("devserver"));
    if (!startDevService(devService, dataDir, address))
        return fail("the dev service did not get ready");

    AppConfig config = AppConfig::defaults();
    config.serviceHost = address;
    config.fileStoreHost = address;
    config.caFile = dataDir + QStringLiteral("/tls/ca.pem");
    ServiceClient client(config);
    PhotoUploader uploader(config);
    uploader.setStagingDirectory(dir.path());
    User &user = User::shared();

    // Sign in as the sign-in screen does, then load a check point's sheet.
    const auto signedIn = call(client, true, endpoints::form::mobileLogin,
                               {{QStringLiteral("mobile"), QStringLiteral("13800000001")},
                                {QStringLiteral("password"), QStringLiteral("orvelle1")}});
    bool accepted = false;
    if (signedIn)
        user.applyLoginResponse(
            *signedIn, [&](User &) { accepted = true; }, [](int, const QString &) {});
    if (!accepted || !user.token())
        return fail("sign-in failed");
    const QJsonObject notes{{QStringLiteral("db"), endpoints::notesDatabase},
                            {QStringLiteral("server"), config.notesServer}};
    QJsonObject todayQuery = notes;
    todayQuery.insert(QStringLiteral("db_vw"), endpoints::views::projectByQzdept);
    todayQuery.insert(QStringLiteral("qzDept"), departmentText(user));
    const auto todayAnswer = call(client, false, json::todayByDept, todayQuery);
    const auto today = todayAnswer ? decodeRecord<TodayInspectionData>(*todayAnswer) : std::nullopt;
    if (!today || !today->checkitems || today->checkitems->isEmpty()
        || !today->checkitems->first().key)
        return fail("no check point for the department");
    const QString key = *today->checkitems->first().key;
    QJsonObject sheetQuery = notes;
    sheetQuery.insert(QStringLiteral("db_vw"), endpoints::views::projectByKey);
    sheetQuery.insert(QStringLiteral("key"), key);
    const auto sheetAnswer = call(client, false, json::receiveSheet, sheetQuery);
    const auto sheet =
        sheetAnswer ? decodeRecord<OnInspectionDetaildData>(*sheetAnswer) : std::nullopt;
    if (!sheet || !sheet->checkitems)
        return fail("no blank sheet");
    const std::optional<QString> photo = uploadOnePhoto(uploader);
    if (!photo)
        return fail("photo upload failed");

    QSet<QString> answered;
    int refused = 0;
    Memory warm, done;
    QElapsedTimer clock;
    clock.start();
    for (int number = 1; number <= sheetCount; ++number) {
        const auto answer =
            call(client, false, json::createSheet,
                 sheetBody(*sheet, user, config.notesServer, *photo, *photo, number));
        const auto record = answer ? decodeRecord<OnInspectionModel>(*answer) : std::nullopt;
        if (record && record->frmno)
            answered.insert(*record->frmno);
        else
            ++refused;
        if (number == warmSheets)
            warm = memoryNow();
    }
    done = memoryNow();
    const double seconds = double(clock.elapsed()) / 1000.0;

    // What the review of the check point lists: every sheet filed today.
    QJsonObject listQuery = notes;
    listQuery.insert(QStringLiteral("db_vw"), endpoints::views::todayCheckByQzdept);
    listQuery.insert(QStringLiteral("key"), key);
    listQuery.insert(QStringLiteral("qzDept"), departmentText(user));
    const auto listAnswer = call(client, false, json::todayDeptCheck, listQuery);
    const auto listed =
        listAnswer ? decodeRecord<DetailTodayInspectionDetailData>(*listAnswer) : std::nullopt;
    QSet<QString> stored;
    qsizetype storedRows = 0;
    for (const DetailCheckitem &row :
         listed && listed->checkitems ? *listed->checkitems : QList<DetailCheckitem>()) {
        ++storedRows;
        stored.insert(row.frmno.value_or(QString()));
    }
    devService.terminate();
    if (!devService.waitForFinished(10000))
        devService.kill();

    const double heapGrowthKiB = done.heapKiB - warm.heapKiB;
    const double residentGrowthPct =
        warm.residentKiB > 0 ? (done.residentKiB - warm.residentKiB) * 100.0 / warm.residentKiB
                             : 100.0;
    const bool allStored = refused == 0 && answered.size() == sheetCount && storedRows == sheetCount
                           && stored == answered;
    std::printf("load: %d check sheets submitted back to back to the dev service at %s\n",
                sheetCount, qPrintable(address));
    std::printf("  time                 %.1f s (%.1f ms a sheet)\n", seconds,
                seconds * 1000.0 / sheetCount);
    std::printf("  heap in use          %.0f KiB after %d, %.0f KiB after %d (%+.0f KiB)\n",
                warm.heapKiB, warmSheets, done.heapKiB, sheetCount, heapGrowthKiB);
    std::printf("  resident             %.0f KiB after %d, %.0f KiB after %d (%+.1f %%)\n",
                warm.residentKiB, warmSheets, done.residentKiB, sheetCount, residentGrowthPct);
    std::printf("  stored by the service %lld rows, %lld distinct, refused %d\n",
                (long long)storedRows, (long long)stored.size(), refused);

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
                                {"stored_rows", storedRows},
                                {"stored_distinct", stored.size()},
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
