#include "net/DeviceInfo.h"
#include "net/Endpoints.h"
#include "net/FileStorePhotoAccess.h"
#include "net/HttpAnswerReader.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "photos/Jpeg.h"
#include "session/Session.h"
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
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>
#include <numeric>

using namespace orvelle;
using namespace orvelle::test;
using namespace std::chrono_literals;

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
    // Of a photo: its address, or whether the file store said no.
    std::optional<QString> address = {};
    bool refused = false;
};

Answer scripted(const std::string &body, Answer::Fault fault = {},
                std::chrono::milliseconds delay = {})
{
    Answer answer = Answer::json(body);
    answer.fault = fault;
    answer.delay = delay;
    return answer;
}

// The faults a table row names.
const QHash<QString, Answer::Fault> faults{{"drop", Answer::Fault::DropHalfway},
                                           {"stall", Answer::Fault::StallHalfway},
                                           {"close upload", Answer::Fault::CloseHalfUpload}};
} // namespace

// The service client and the photo uploader against the test server.
class TestServiceClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<HttpsTestServer> server;
    QTemporaryDir scratch;
    std::unique_ptr<Session> session;
    User *account = nullptr;
    int lateCalls = 0;

    // The photo's JPEG in a file of its own, as the device store keeps it.
    QString jpegFile(const QImage &photo)
    {
        const QString path = scratch.filePath(QStringLiteral("%1.jpg").arg(photo.width()));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(uploadJpeg(photo)) <= 0)
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // Waits for the answer; the caller verifies `called`.
    Outcome upload(const QString &file, PhotoUploader *kept = nullptr)
    {
        Outcome outcome;
        PhotoUploader own(testConfig());
        PhotoUploader &sender = kept ? *kept : own;
        sender.uploadFile(file, this, [&](const std::optional<QString> &address, bool refused) {
            outcome.called = true, outcome.address = address, outcome.refused = refused;
        });
        static_cast<void>(QTest::qWaitFor([&] { return outcome.called; }, 20000));
        return outcome;
    }

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

    // An address on the same server that would answer success.
    std::string redirectTarget()
    {
        server->enqueue("/elsewhere", Answer::json(R"({"code":1,"success":true,"httpUrl":"g"})"));
        return "https://" + HttpsTestServer::testHost() + ":50000/elsewhere";
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

private slots:
    void initTestCase()
    {
        server = std::make_unique<HttpsTestServer>();
        QVERIFY(server->isListening());
    }

    void init()
    {
        server->clear();
        session.reset();
        session = std::make_unique<Session>();
        account = &session->account();
        account->setMobile(std::nullopt);
        account->setToken(std::nullopt);
        account->setIslogin(QStringLiteral("true"));
    }

    // Handset identifiers that share a prefix, and the fallbacks; not every
    // row. A configured handset is what the request bodies below carry.
    void deviceModels_data() { addRows(QStringLiteral("net/device-models.json")); }
    void deviceModels()
    {
        QFETCH(QJsonObject, row);
        QCOMPARE(DeviceInfo::modelNameFor(row["identifier"].toString()), row["name"].toString());
        QVERIFY(!DeviceInfo().deviceName().isEmpty()); // the machine's own
    }

    // Requests as the service reads them (a row's body "sent" exactly or
    // holding "sentHolds"), logged without their secrets; answers decoded by
    // the rules, as they are or with faults of the transfer, of size and of
    // trust: each fault a network error (a row with "code" got through),
    // never retried; a refused certificate is named in the debug log. An
    // announced length over the 16 MiB cap is cut at the headers, not read
    // whole: 96 MiB, where loopback buffers take in 36 MiB after the client
    // stopped. A chunked answer fails as well, but only once Qt reports its
    // progress, which it holds back while the network thread reads on at
    // loopback speed: it may be read whole.
    void answersAndTransferFaults_data() { addRows("net/answers.json"); }
    void answersAndTransferFaults()
    {
        QFETCH(QJsonObject, row);
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
        const QString body = row["body"].toString(R"({"code":1,"msg":"a long enough answer"})");
        Answer answer = scripted(body.toStdString(), faults.value(row["fault"].toString()),
                                 std::chrono::milliseconds(row["delayMs"].toInt()));
        answer.status = row["status"].toInt(200);
        answer.streamedBytes = std::size_t(row["streamedMiB"].toInt()) << 20;
        answer.chunked = row["chunked"].toBool();
        if (row.contains("redirect")) {
            answer.status = row["redirect"].toInt();
            answer.location = redirectTarget();
        }
        answer.contentType = row["contentType"].toString("application/json").toStdString();
        AppConfig config = testConfig();
        config.serviceHost = row["host"].toString(config.serviceHost);
        config.caFile = caFile(row["caFile"]);
        if (row.contains("systemStore"))
            qputenv("SSL_CERT_FILE", QFile::encodeName(caFile(row["systemStore"])));
        if (row.contains("mobile"))
            account->setMobile(row["mobile"].toString());
        if (row.contains("token"))
            account->setToken(row["token"].toString());
        server->setFallback(answer);
        ServiceClient client(config, *session);
        client.setTransferTimeout(std::chrono::milliseconds(row["timeoutMs"].toInt(60000)));
        const LogCapture log(QStringLiteral("orvelle.net"));
        const QString path = row["path"].toString(endpoints::json::todayByDept);
        const Outcome outcome = send(client, row["form"].toBool(), path, row["params"].toObject());
        QVERIFY(outcome.called);
        QCOMPARE(outcome.success, row["success"].toBool());
        QCOMPARE(outcome.code, row["code"].toInteger(-2));
        const bool networkError = row["code"].toInteger(-2) == -2;
        QCOMPARE(outcome.message, row["message"].toString(networkError ? "网络错误!" : ""));
        QCOMPARE(outcome.mayHaveArrived, row["mayHaveArrived"].toBool());
        const QString islogin = row["signsOut"].toBool() ? "false" : "true";
        QCOMPARE(account->islogin(), islogin);
        QCOMPARE(storedEntry("islogin"), islogin);
        if (outcome.success) {
            QCOMPARE(outcome.msg, row["msg"].isString() ? row["msg"].toString() : OptionalText());
            QCOMPARE(outcome.json, QJsonDocument::fromJson(body.toUtf8()).object());
        }
        QCOMPARE(server->startedCount(), row["started"].toInt(1));
        // The server counts what it packed, not what it sent (so not compressed).
        if (row["cut"].toBool())
            QVERIFY(server->sentBytes() < answer.streamedBytes);
        QVERIFY2(log.text().contains(row["log"].toString(), Qt::CaseInsensitive),
                 qPrintable(log.text()));
        QVERIFY(log.text().contains(path));
        for (const QJsonValue &secret : row["secrets"].toArray())
            QVERIFY(!log.text().contains(secret.toString()));
        if (!row.contains("sentType"))
            return;
        const RecordedRequest request = server->requests().front();
        QCOMPARE(QString::fromStdString(request.path), "/TolvKsServer" + path);
        QCOMPARE(QString::fromStdString(request.header("Content-Type")),
                 row["sentType"].toString());
        const QByteArray sent = QByteArray::fromStdString(request.body);
        if (row.contains("sent"))
            QCOMPARE(sent, testData(row["sent"].toString()).trimmed());
        for (const QJsonValue &text : row["sentHolds"].toArray())
            QVERIFY2(sent.contains(text.toString().toUtf8()), sent.constData());
    }

    // The screen goes while the answer is on its way: a read stops on the
    // wire at once, long before its minute-long stall or its time-out ends,
    // and its code 9 never comes; a record runs on, and its code 9 signs out
    // even so. The screen goes mid-upload; the client or the uploader itself
    // goes while it runs (the application quits): nothing is called.
    void leavingMidwayCallsNothing()
    {
        const auto mark = [this](auto &&...) { ++lateCalls; };
        ServiceClient client(testConfig(), *session);
        int started = 0;
        for (const bool record : {false, false, true}) {
            server->setFallback(started == 1 ? scripted(R"({"code":1,"msg":"never whole"})",
                                                        Answer::Fault::StallHalfway, 1min)
                                             : scripted(R"({"code":9})", {}, 1s));
            auto *screen = new QObject;
            if (record)
                client.sendRecord(endpoints::json::createDanger, {}, screen, mark, mark);
            else
                client.sendJSONRequest(endpoints::json::todayByDept, {}, screen, mark, mark);
            ++started; // not in QTRY_COMPARE, which evaluates it again and again
            QTRY_COMPARE(server->startedCount(), started);
            delete screen;
            QTRY_VERIFY_WITH_TIMEOUT(!client.findChild<QNetworkReply *>(), 5000);
            QCOMPARE(storedEntry("islogin"), QString(record ? "false" : "true"));
        }
        auto *quitting = new ServiceClient(testConfig(), *session);
        quitting->sendFormRequest(endpoints::form::queryVersion, {}, this, mark, mark);
        QTRY_COMPARE(server->startedCount(), 4);
        delete quitting;

        server->setFallback(scripted(R"({"success":true,"httpUrl":"g/late.jpg"})", {}, 300ms));
        const QString file = jpegFile(photo(10));
        auto sender = std::make_unique<PhotoUploader>(testConfig());
        auto screen = std::make_unique<QObject>();
        for (QObject *context : {screen.get(), static_cast<QObject *>(this)})
            sender->uploadFile(file, context, mark);
        QTRY_COMPARE(server->startedCount(), 6);
        screen.reset();
        sender.reset();
        // Later answers have come back; the first ones' never will.
        QVERIFY(upload(file).called);
        server->setFallback(Answer::json(R"({"code":1})"));
        QVERIFY(send(client, false, endpoints::json::todayByDept).called);
        QCOMPARE(lateCalls, 0);
    }

    // Review photos go through the client's own network access: the photo
    // hosts only (the file store's by default), with its TLS trust, time-out
    // and size cap.
    void reviewPhotos_data() { addRows(QStringLiteral("net/review-photos.json")); }
    void reviewPhotos()
    {
        QFETCH(QJsonObject, row);
        Answer answer = scripted(uploadJpeg(photo(8)).toStdString(), {},
                                 std::chrono::milliseconds(row["delayMs"].toInt()));
        answer.contentType = "image/jpeg";
        answer.streamedBytes = std::size_t(row["streamedMiB"].toInt()) << 20;
        server->setFallback(answer);
        AppConfig config = testConfig();
        config.fileStoreHost = row["fileStoreHost"].toString(config.fileStoreHost);
        if (row.contains("photoHosts")) // "$SERVER": the host the photo is on
            config.reviewPhotoHosts =
                row["photoHosts"].toString().replace("$SERVER", config.serviceHost).split(u',');
        FileStorePhotoAccess access(config,
                                    std::chrono::milliseconds(row["timeoutMs"].toInt(60000)));
        QQmlEngine engine;
        engine.setNetworkAccessManagerFactory(&access);
        QQmlComponent component(&engine);
        // Qt Quick keeps pictures by address: each row has an address of its own.
        component.setData("import QtQuick\nImage { asynchronous: true; cache: false }", {});
        const std::unique_ptr<QObject> image(component.create());
        image->setProperty("source", QStringLiteral("https://%1:50000/g/%2.jpg")
                                         .arg(config.serviceHost, QTest::currentDataTag()));
        QTRY_VERIFY_WITH_TIMEOUT(image->property("status").toInt() != 2 /* Loading */, 20000);
        QCOMPARE(image->property("status").toInt(), row["ready"].toBool() ? 1 : 3 /* Error */);
    }

    // One part as the file store reads it; each answer judged by itself, an
    // answer that says no told from no answer at all. A file that cannot be
    // read is refused at once; a connection lost in the answer or in the
    // upload, or a redirect, leaves the photo for a later try.
    void eachAnswerIsJudgedOnItsOwn_data() { addRows("net/upload-answers.json"); }
    void eachAnswerIsJudgedOnItsOwn()
    {
        QFETCH(QJsonObject, row);
        Answer answer = Answer::json(answerText(row["body"]), row["status"].toInt(200));
        answer.fault = faults.value(row["fault"].toString());
        if (answer.status == 307)
            answer.location = redirectTarget();
        server->setFallback(answer);
        // A photo large enough to be cut.
        const QImage picture = row.contains("fault") ? noisyPhoto(600) : photo(12);
        const Outcome outcome = upload(
            row.contains("file") ? scratch.filePath(row["file"].toString()) : jpegFile(picture));
        QVERIFY(outcome.called);
        QCOMPARE(outcome.address,
                 row.contains("address") ? OptionalText(row["address"].toString()) : std::nullopt);
        QCOMPARE(outcome.refused, row["refused"].toBool());
        QCOMPARE(server->startedCount(), row["started"].toInt(1));
        if (!outcome.address && !outcome.refused)
            return;
        for (const RecordedRequest &request : server->requests()) {
            QCOMPARE(request.path, "/fastdfs/fastdfs/upload/file/sample");
            QCOMPARE(request.parts.size(), size_t(1));
            const Part &part = request.parts.front();
            QVERIFY(part.name == "file" && part.filename == "image.png"
                    && part.contentType == "image/*" && part.content.starts_with("\xFF\xD8\xFF"));
        }
    }

    // Photos share kept connections, resumed TLS sessions when they must
    // connect anew, and go two at a time at most. The service's own limit of
    // requests per connection, its restart, a connection it let go while
    // unused, one that died after the whole body went, and a silent service
    // cost no photo and store none twice.
    void keptConnections()
    {
        server->setFallback(Answer::json(R"({"success":true,"httpUrl":"g/k.jpg"})"));
        const QString file = jpegFile(photo(10));
        PhotoUploader sender(testConfig());
        for (int i = 0; i < 7; ++i)
            QCOMPARE(upload(file, &sender).address, OptionalText(QStringLiteral("http://g/k.jpg")));
        QCOMPARE(server->startedCount(), 7);
        QCOMPARE(server->connectionCount(), 2);
        QCOMPARE(server->requests().front().header("User-Agent"), "Mozilla/5.0");

        const auto restart = [this](std::chrono::seconds keepAlive) {
            server.reset();
            server = std::make_unique<HttpsTestServer>(
                Certificate::Valid, HttpsTestServer::testHost(), 50000, keepAlive);
            server->setFallback(Answer::json(R"({"success":true,"httpUrl":"g/r.jpg"})"));
        };
        restart(1s);
        QCOMPARE(upload(file, &sender).address, OptionalText(QStringLiteral("http://g/r.jpg")));
        // Unused longer than the service keeps it, without a word of it.
        QTest::qWait(1500);
        QCOMPARE(upload(file, &sender).address, OptionalText(QStringLiteral("http://g/r.jpg")));
        QCOMPARE(server->startedCount(), 2);
        QCOMPARE(server->connectionCount(), 2);
        QCOMPARE(server->resumedSessions(), 1);
        // A limit the service names is kept to, less the request's way there.
        restart(2s);
        server->announceKeepAlive(true);
        QCOMPARE(upload(file, &sender).address, OptionalText(QStringLiteral("http://g/r.jpg")));
        QTest::qWait(1200);
        QCOMPARE(upload(file, &sender).address, OptionalText(QStringLiteral("http://g/r.jpg")));
        QCOMPARE(server->connectionCount(), 2);

        // The whole body went on a kept connection and no answer came: the
        // service may have stored it, so it is not sent again.
        server->enqueue(
            QString(endpoints::photoUpload).toStdString(),
            scripted(R"({"success":true,"httpUrl":"g/v.jpg"})", Answer::Fault::CloseAfterBody));
        const Outcome lost = upload(file, &sender);
        QVERIFY(lost.called && !lost.address && !lost.refused);
        QCOMPARE(server->startedCount(), 3);
        QCOMPARE(server->requests().back().complete, true);

        // More photos than may go at once: the others wait their turn.
        // Answers far later than the look below, so a loaded machine that
        // is slow to look cannot see the third start legitimately.
        server->setFallback(scripted(R"({"success":true,"httpUrl":"g/s.jpg"})", {}, 2000ms));
        int stored = 0;
        for (int i = 0; i < 5; ++i)
            sender.uploadFile(file, this,
                              [&stored](const auto &address, bool) { stored += address ? 1 : 0; });
        QTRY_COMPARE(server->startedCount(), 3 + 2);
        QTest::qWait(200);
        QCOMPARE(server->startedCount(), 3 + 2);
        QTRY_COMPARE_WITH_TIMEOUT(stored, 5, 20000);

        server->setFallback(scripted(R"({"success":true,"httpUrl":"g/late.jpg"})", {}, 3000ms));
        sender.setTransferTimeout(300ms);
        const Outcome timedOut = upload(file, &sender);
        QVERIFY(timedOut.called && !timedOut.refused && !timedOut.address);
        QCOMPARE(server->startedCount(), 3 + 5 + 1);
    }

    // Over a slow link through small buffers, photos go one after another;
    // each one's progress follows what the file store has read, moving as it
    // goes; stopped, the photo whose body went is answered and kept, and
    // nothing more of the one still going is sent.
    void aSlowLink()
    {
        server->setFallback(Answer::json(R"({"success":true,"httpUrl":"g/slow.jpg"})"));
        server->setLink({2'000'000, 100ms});
        const auto fastAgain = qScopeGuard([this] { server->setLink({}); });
        constexpr int count = 4;
        PhotoUploader sender(testConfig());
        QObject filing;
        qint64 whole = 0, worstAhead = 0;
        QList<qint64> sent(count, 0);
        QList<int> shortReports(count, 0);
        int answered = 0, stored = 0;
        for (int i = 0; i < count; ++i) {
            const QString file = jpegFile(noisyPhoto(700 + i));
            whole += QFileInfo(file).size();
            sender.uploadFile(
                file, &filing,
                [&](const std::optional<QString> &address, bool) {
                    ++answered;
                    stored += address ? 1 : 0;
                },
                [&, i](qint64 bytes, qint64 total) {
                    sent[i] = bytes;
                    shortReports[i] += bytes < total ? 1 : 0;
                    const qint64 shown = std::accumulate(sent.begin(), sent.end(), qint64(0));
                    worstAhead = std::max(worstAhead, shown - qint64(server->bodyBytesRead()));
                });
        }
        QTRY_VERIFY_WITH_TIMEOUT(server->bodyBytesRead() >= std::size_t(whole * 6 / 10), 20000);
        server->markTime();
        sender.stopAtSafePoint(&filing, 10s);
        QTRY_COMPARE_WITH_TIMEOUT(answered, count, 20000);
        // A reset upload is recorded once the server has drained what it held.
        QTRY_COMPARE(int(server->requests().size()), server->startedCount());

        QVERIFY2(worstAhead <= 128 * 1024, qPrintable(QString::number(worstAhead)));
        QVERIFY(shortReports[0] > 0 && shortReports[1] > 0);
        QVERIFY2(stored >= 2 && stored <= 3, qPrintable(QString::number(stored)));
        std::size_t sentAfterStop = 0;
        int complete = 0;
        for (const RecordedRequest &request : server->requests()) {
            complete += request.complete ? 1 : 0;
            sentAfterStop += request.complete ? 0 : request.bytesAfterMark;
        }
        QCOMPARE(complete, stored);
        QVERIFY2(sentAfterStop <= 128 * 1024, qPrintable(QString::number(sentAfterStop)));
    }

    // The file store's answers as they arrive, in pieces; the cap is 64 bytes.
    void answersAreReadInPieces_data() { addRows(QStringLiteral("net/http-answers.json")); }
    void answersAreReadInPieces()
    {
        QFETCH(QJsonObject, row);
        HttpAnswerReader reader(64);
        QByteArray headers = "HTTP/1.1 200 OK\r\n";
        while (headers.size() < row.value("headerFill").toInt())
            headers += "X-Fill: " + QByteArray(100, 'x') + "\r\n";
        if (row.contains("headerFill"))
            reader.feed(headers);
        for (const QJsonValue piece : row["bytes"].toArray())
            reader.feed(piece.toString().toUtf8());
        if (row["close"].toBool())
            reader.closed();
        const bool failed = row["failed"].toBool();
        QVERIFY2(reader.error().isEmpty() == !failed, qPrintable(reader.error()));
        QCOMPARE(reader.state(),
                 failed ? HttpAnswerReader::State::Failed : HttpAnswerReader::State::Done);
        if (failed)
            return;
        QCOMPARE(reader.status(), row["status"].toInt());
        QCOMPARE(reader.body(), row["body"].toString().toUtf8());
        QCOMPARE(reader.keepAlive(), row["keepAlive"].toBool());
        QCOMPARE(reader.keepAliveSeconds(), row["keepAliveSeconds"].toInt(-1));
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
