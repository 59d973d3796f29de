#include "net/DeviceInfo.h"
#include "net/Endpoints.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include "support/AccountStore.h"
#include "support/LogCapture.h"
#include "support/NotesService.h"
#include "support/TestData.h"
#include "support/https/TestClientConfig.h"

#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;

namespace {
struct Outcome
{
    bool called = false;
    bool success = false;
    qint64 code = 0;
    QString message;
    std::optional<QString> msg;
    QJsonObject json;
    bool mayHaveArrived = false;
    QStringList urls = {}; // of a batch of photos
};

Answer scripted(const std::string &body, Answer::Fault fault, std::chrono::milliseconds delay)
{
    Answer answer = Answer::json(body);
    answer.fault = fault;
    answer.delay = delay;
    return answer;
}
} // namespace

// The service client and the photo uploader against the test server.
class TestServiceClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<HttpsTestServer> server;
    QTemporaryDir scratch;
    std::unique_ptr<User> account;
    QTemporaryDir staging;
    int lateCalls = 0;

    std::unique_ptr<PhotoUploader> uploader()
    {
        auto made = std::make_unique<PhotoUploader>(testConfig());
        made->setStagingDirectory(staging.path());
        return made;
    }

    // Waits for the end of the batch; the caller verifies `called`.
    Outcome upload(const QList<QImage> &photos)
    {
        Outcome outcome;
        const auto sender = uploader();
        sender->uploadPhotos(photos, this, [&outcome](bool allSucceeded, const QStringList &urls) {
            outcome.called = true, outcome.success = allSucceeded, outcome.urls = urls;
        });
        static_cast<void>(QTest::qWaitFor([&] { return outcome.called; }, 20000));
        return outcome;
    }

    bool stagingIsEmpty() const { return QDir(staging.path()).isEmpty(); }

    // The test CA's file, the other CA's, or a DER copy of the test CA.
    QString caFile(const QJsonValue &name)
    {
        if (name != QLatin1String("der"))
            return QString::fromStdString(name == QLatin1String("other")
                                              ? HttpsTestServer::otherCaFile()
                                              : HttpsTestServer::caFile());
        const auto ca = QSslCertificate::fromPath(caFile({}));
        QFile der(scratch.filePath(QStringLiteral("ca.der")));
        if (ca.isEmpty() || !der.open(QIODevice::WriteOnly) || der.write(ca.first().toDer()) <= 0)
            qFatal("cannot write the DER copy of the test CA");
        return der.fileName();
    }

    // Waits for the answer; the caller verifies `called`.
    Outcome send(ServiceClient &client, bool form, const QString &path,
                 const QJsonObject &params = {})
    {
        Outcome outcome;
        auto onSuccess = [&outcome](const std::optional<QString> &msg, qint64 code,
                                    const QJsonObject &json) {
            outcome = {true, true, code, {}, msg, json};
        };
        auto onFailure = [&outcome](const ServiceFailure &failure) {
            outcome = {true, false, failure.code, failure.message, {}, {}, failure.mayHaveArrived};
        };
        if (form)
            client.sendFormRequest(path, params, this, onSuccess,
                                   [&](qint64 code, const QString &message) {
                                       onFailure({code, message});
                                   });
        else
            client.sendRecord(path, params, this, onSuccess, onFailure);
        static_cast<void>(QTest::qWaitFor([&] { return outcome.called; }, 20000));
        return outcome;
    }

    Outcome answered(const Answer &answer, const AppConfig &config = testConfig(),
                     std::chrono::milliseconds timeout = std::chrono::minutes(1))
    {
        server->setFallback(answer);
        ServiceClient client(config, *account);
        client.setTransferTimeout(timeout);
        return send(client, false, endpoints::json::todayByDept);
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<HttpsTestServer>();
        QVERIFY(server->isListening());
    }

    void init()
    {
        server->clear();
        account = std::make_unique<User>();
        account->setMobile(std::nullopt);
        account->setToken(std::nullopt);
        account->setIslogin(QStringLiteral("true"));
    }

    // A row's body is exact ("body") or holds some texts ("contains").
    void requestsAreSentAsTheServiceReadsThem_data()
    {
        addRows(QStringLiteral("net/requests.json"));
    }
    void requestsAreSentAsTheServiceReadsThem()
    {
        QFETCH(QJsonObject, row);
        const LogCapture log(QStringLiteral("orvelle.net"));
        if (row.contains("mobile"))
            account->setMobile(row["mobile"].toString());
        if (row.contains("token"))
            account->setToken(row["token"].toString());
        ServiceClient client(testConfig(), *account);
        const QString path = row["path"].toString();
        QVERIFY(send(client, row["form"].toBool(), path, row["params"].toObject()).success);
        const auto requests = server->requests();
        QCOMPARE(requests.size(), size_t(1));
        const RecordedRequest &request = requests.front();
        QCOMPARE(QString::fromStdString(request.path), "/TolvKsServer" + path);
        QCOMPARE(QString::fromStdString(request.header("Content-Type")),
                 row["contentType"].toString());
        const QByteArray body = QByteArray::fromStdString(request.body);
        if (row.contains("body"))
            QCOMPARE(body, testData(row["body"].toString()).trimmed());
        for (const QJsonValue &text : row["contains"].toArray())
            QVERIFY2(body.contains(text.toString().toUtf8()), body.constData());
        QVERIFY(log.text().contains(path));
        for (const QJsonValue &secret : row["secrets"].toArray())
            QVERIFY(!log.text().contains(secret.toString()));
    }

    // Handset identifiers that share a prefix, and the fallbacks; not every
    // row. A configured handset is what the request bodies above carry.
    void deviceModels_data() { addRows(QStringLiteral("net/device-models.json")); }
    void deviceModels()
    {
        QFETCH(QJsonObject, row);
        QCOMPARE(DeviceInfo::modelNameFor(row["identifier"].toString()), row["name"].toString());
        QVERIFY(!DeviceInfo().deviceName().isEmpty()); // the machine's own
    }

    void answerCodesAreDecodedByTheRules_data()
    {
        addRows(QStringLiteral("net/answer-codes.json"));
    }

    void answerCodesAreDecodedByTheRules()
    {
        QFETCH(QJsonObject, row);
        const std::string body = row["body"].toString().toStdString();
        Answer answer = Answer::json(body, row["status"].toInt(200));
        if (body.starts_with("<html"))
            answer.contentType = "text/html";
        const Outcome outcome = answered(answer);
        QVERIFY(outcome.called);
        QCOMPARE(outcome.success, row["success"].toBool());
        QCOMPARE(outcome.code, row["code"].toInteger());
        QCOMPARE(outcome.message, row["message"].toString());
        QCOMPARE(outcome.mayHaveArrived, row["mayHaveArrived"].toBool());
        const QString islogin = row["signsOut"].toBool() ? "false" : "true";
        QCOMPARE(account->islogin(), islogin);
        QCOMPARE(storedEntry("islogin"), islogin);
        if (outcome.success) {
            QCOMPARE(outcome.msg, row["msg"].isString() ? row["msg"].toString() : OptionalText());
            QCOMPARE(outcome.json,
                     QJsonDocument::fromJson(row["body"].toString().toUtf8()).object());
        }
    }

    // Faults of the transfer, of size and of trust: each a network error (a
    // row with "code" got through), never retried; a refused certificate is
    // named in the debug log. 96 MiB against the 16 MiB cap is cut off, not
    // read whole: loopback buffers may take in 36 MiB after the client
    // stopped reading, so a smaller answer could all leave the server.
    void transportFaults_data() { addRows(QStringLiteral("net/transport-faults.json")); }
    void transportFaults()
    {
        QFETCH(QJsonObject, row);
        const QHash<QString, Answer::Fault> faults{{"drop", Answer::Fault::DropHalfway},
                                                   {"stall", Answer::Fault::StallHalfway}};
        const QHash<QString, Certificate> certificates{{"wrong host", Certificate::WrongHost},
                                                       {"expired", Certificate::Expired}};
        // A row's own server; the shared one is back for the next row.
        const auto serve = [this](Certificate certificate) {
            server.reset();
            server = std::make_unique<HttpsTestServer>(certificate);
            QVERIFY(server->isListening());
        };
        const bool ownServer = row.contains("certificate");
        const auto restore = qScopeGuard([&] {
            qunsetenv("SSL_CERT_FILE");
            if (ownServer)
                serve(Certificate::Valid);
        });
        if (ownServer)
            serve(certificates.value(row["certificate"].toString()));
        Answer answer = scripted(R"({"code":1,"msg":"a long enough answer"})",
                                 faults.value(row["fault"].toString()),
                                 std::chrono::milliseconds(row["delayMs"].toInt()));
        answer.streamedBytes = std::size_t(row["streamedMiB"].toInt()) << 20;
        answer.chunked = row["chunked"].toBool();
        answer.contentType = row["contentType"].toString("application/json").toStdString();
        AppConfig config = testConfig();
        config.serviceHost = row["host"].toString(config.serviceHost);
        config.caFile = caFile(row["caFile"]);
        if (row.contains("systemStore"))
            qputenv("SSL_CERT_FILE", QFile::encodeName(caFile(row["systemStore"])));
        const LogCapture log(QStringLiteral("orvelle.net"));
        const Outcome outcome =
            answered(answer, config, std::chrono::milliseconds(row["timeoutMs"].toInt(60000)));
        QVERIFY(outcome.called);
        QCOMPARE(outcome.code, row["code"].toInteger(-2));
        if (outcome.code == -2)
            QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
        QCOMPARE(outcome.mayHaveArrived, row["mayHaveArrived"].toBool());
        QCOMPARE(server->startedCount(), row["started"].toInt());
        // The server counts what it packed, not what it sent (so not compressed).
        if (row["cut"].toBool())
            QVERIFY(server->sentBytes() < answer.streamedBytes);
        QVERIFY2(log.text().contains(row["log"].toString(), Qt::CaseInsensitive),
                 qPrintable(log.text()));
    }

    void leavingMidRequestCallsNothing()
    {
        bool called = false;
        const auto mark = [&called](auto &&...) { called = true; };
        ServiceClient client(testConfig(), *account);
        client.setTransferTimeout(std::chrono::milliseconds(200));
        // The screen goes, then code 9 comes (it signs out even so), or the
        // transfer fails.
        int started = 0;
        for (const Answer &answer :
             {scripted(R"({"code":9})", {}, std::chrono::milliseconds(100)),
              scripted(R"({"code":1,"msg":"never whole"})", Answer::Fault::StallHalfway,
                       std::chrono::minutes(1))}) {
            server->setFallback(answer);
            auto *screen = new QObject;
            client.sendJSONRequest(endpoints::json::todayByDept, {}, screen, mark, mark);
            ++started;
            QTRY_COMPARE(server->startedCount(), started);
            delete screen;
            // The answer was handled: the reply is gone.
            QTRY_VERIFY_WITH_TIMEOUT(!client.findChild<QNetworkReply *>(), 5000);
        }
        QCOMPARE(storedEntry("islogin"), QStringLiteral("false"));
        QVERIFY(!called);

        // The client itself goes while its request runs (the application quits).
        auto *quitting = new ServiceClient(testConfig(), *account);
        quitting->sendFormRequest(endpoints::form::queryVersion, {}, this, mark, mark);
        QTRY_COMPARE(server->startedCount(), 3);
        delete quitting;
        // A later request's answer has come back: the first one's never will.
        QVERIFY(answered(Answer::json(R"({"code":1})")).called);
        QVERIFY(!called);
    }

    // Nothing to send: no photos succeed at once, a photo that cannot be
    // encoded fails; neither reaches the server->
    void nothingToSend()
    {
        const Outcome none = upload({});
        QVERIFY(none.success && none.urls.isEmpty());
        const Outcome unencodable = upload({QImage()});
        QVERIFY(unencodable.called && !unencodable.success);
        QCOMPARE(server->startedCount(), 0);
        QVERIFY(stagingIsEmpty());
    }

    void addressesComeInArrivalOrder()
    {
        NotesService service(*server);
        service.delayByWidth(true); // the widest answers first
        const Outcome outcome = upload({photo(10), photo(20), photo(30)});
        QVERIFY(outcome.success);
        QCOMPARE(outcome.urls,
                 QStringList({"http://g/w30.jpg", "http://g/w20.jpg", "http://g/w10.jpg"}));

        const auto requests = server->requests();
        QCOMPARE(requests.size(), size_t(3));
        for (const RecordedRequest &request : requests) {
            // One part as the file store reads it; only a multipart body has parts.
            QCOMPARE(request.path, "/fastdfs/fastdfs/upload/file/sample");
            QCOMPARE(request.parts.size(), size_t(1));
            const Part &part = request.parts.front();
            QVERIFY(part.name == "file" && part.filename == "image.png"
                    && part.contentType == "image/*" && part.content.starts_with("\xFF\xD8\xFF"));
        }
        QVERIFY(stagingIsEmpty());
    }

    void eachAnswerIsJudgedOnItsOwn_data() { addRows(QStringLiteral("net/upload-answers.json")); }
    void eachAnswerIsJudgedOnItsOwn()
    {
        QFETCH(QJsonObject, row);
        server->setFallback(Answer::json(row["body"].toString().toStdString()));
        const Outcome outcome = upload({photo(12)});
        QVERIFY(outcome.called);
        QCOMPARE(outcome.success, row.contains("address"));
        QCOMPARE(outcome.urls,
                 row.contains("address") ? QStringList{row["address"].toString()} : QStringList());
        QVERIFY(stagingIsEmpty());
    }

    // One of eight loses its connection halfway through the answer, or the
    // server stops reading an upload: the batch fails.
    void brokenTransfersFailTheUpload()
    {
        server->setResponder([](const RecordedRequest &request) {
            const int width = NotesService::widthOf(request);
            Answer answer = Answer::json("{\"success\":true,\"httpUrl\":\"g/w"
                                         + std::to_string(width) + ".jpg\"}");
            if (width == 50)
                answer.fault = Answer::Fault::DropHalfway;
            return answer;
        });
        QList<QImage> photos;
        for (int width = 10; width <= 80; width += 10)
            photos.append(photo(width));
        const Outcome outcome = upload(photos);
        QVERIFY(outcome.called);
        QVERIFY(!outcome.success);
        // Qt may fail a neighbour too (its request on a connection the server
        // was closing); never the reverse.
        QVERIFY(outcome.urls.size() <= 7);
        QVERIFY(!outcome.urls.contains("http://g/w50.jpg"));
        QVERIFY(stagingIsEmpty());

        // Noise does not compress, so the body is large enough to be cut.
        server->clear();
        QImage noise(600, 600, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(noise.scanLine(y));
            QRandomGenerator::global()->fillRange(line, noise.width());
        }
        Answer cut = Answer::json(R"({"success":true,"httpUrl":"g/cut.jpg"})");
        cut.fault = Answer::Fault::CloseHalfUpload;
        server->setFallback(cut);
        const Outcome cutOff = upload({noise, photo(10)});
        QVERIFY(cutOff.called && !cutOff.success);
        QVERIFY(stagingIsEmpty());
    }

    // The screen goes mid-upload, or the uploader itself while photos are
    // being encoded or sent (the application quits): nothing is called and
    // no photo stays behind on disk.
    void leavingMidUploadCallsNothingAndLeavesNoFiles_data()
    {
        addRows(QStringLiteral("net/leaving-mid-upload.json"));
    }
    void leavingMidUploadCallsNothingAndLeavesNoFiles()
    {
        QFETCH(QJsonObject, row);
        const bool uploaderGoes = row["uploaderGoes"].toBool();
        Answer slow = Answer::json(R"({"success":true,"httpUrl":"g/late.jpg"})");
        slow.delay = std::chrono::milliseconds(300);
        server->setFallback(slow);
        QImage large(3000, 3000, QImage::Format_RGB32);
        large.fill(Qt::darkGreen);
        auto sender = uploader();
        auto screen = std::make_unique<QObject>();
        sender->uploadPhotos({photo(10), uploaderGoes ? large : photo(20)}, screen.get(),
                             [this](bool, const QStringList &) { ++lateCalls; });
        if (row["sending"].toBool())
            QTRY_COMPARE(server->startedCount(), 2);
        if (uploaderGoes) {
            sender.reset();
            QVERIFY(stagingIsEmpty());
        } else {
            screen.reset();
            // Both transfers still run to their end.
            QTRY_COMPARE(server->requests().size(), size_t(2));
            QTRY_VERIFY(stagingIsEmpty());
        }
        // A later upload's answer has come back; the first batch's never will.
        QVERIFY(upload({photo(30)}).called);
        QCOMPARE(lateCalls, 0);
    }
};

int main(int argc, char **argv)
{
    configHome();
    QGuiApplication app(argc, argv);
    TestServiceClient test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_serviceclient.moc"
