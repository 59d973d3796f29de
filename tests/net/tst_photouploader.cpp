#include "net/PhotoUploader.h"
#include "support/https/TestClientConfig.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;

namespace {
struct Outcome
{
    bool called = false;
    int calls = 0;
    bool allSucceeded = false;
    QStringList urls;
};

// Photos are told apart on the server by their width.
QImage photo(int width, int height = 8)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(width % 360, 200, 200));
    return image;
}

int widthOf(const RecordedRequest &request)
{
    if (request.parts.empty())
        return -1;
    const std::string &jpeg = request.parts.front().content;
    return QImage::fromData(QByteArray::fromStdString(jpeg), "JPEG").width();
}
} // namespace

class TestPhotoUploader : public QObject
{
    Q_OBJECT

    HttpsTestServer server;
    QTemporaryDir staging;

    Outcome upload(const QList<QImage> &photos, QObject *context = nullptr)
    {
        PhotoUploader uploader(testConfig());
        uploader.setStagingDirectory(staging.path());
        Outcome outcome;
        uploader.uploadPhotos(photos, context ? context : this,
                              [&outcome](bool allSucceeded, const QStringList &urls) {
                                  outcome.called = true;
                                  ++outcome.calls;
                                  outcome.allSucceeded = allSucceeded;
                                  outcome.urls = urls;
                              });
        if (!QTest::qWaitFor([&] { return outcome.called; }, 20000))
            qWarning("upload did not end");
        QTest::qWait(10);
        return outcome;
    }

    bool stagingIsEmpty() const { return QDir(staging.path()).isEmpty(); }

private slots:
    void init() { server.clear(); }

    void emptyListEndsAtOnce()
    {
        const Outcome outcome = upload({});
        QVERIFY(outcome.allSucceeded);
        QVERIFY(outcome.urls.isEmpty());
        QCOMPARE(server.startedCount(), 0);
    }

    void addressesComeInArrivalOrder()
    {
        // The third photo answers first, then the first, then the second.
        server.setResponder([](const RecordedRequest &request) {
            const int width = widthOf(request);
            Answer answer = Answer::json("{\"success\":true,\"httpUrl\":\"group1/M00/w"
                                         + std::to_string(width) + ".jpg\"}");
            answer.delay = std::chrono::milliseconds(width == 30 ? 0 : width == 10 ? 200 : 400);
            return answer;
        });
        const Outcome outcome = upload({photo(10), photo(20), photo(30)});
        QCOMPARE(outcome.calls, 1);
        QVERIFY(outcome.allSucceeded);
        QCOMPARE(outcome.urls,
                 QStringList({"http://group1/M00/w30.jpg", "http://group1/M00/w10.jpg",
                              "http://group1/M00/w20.jpg"}));

        const auto requests = server.requests();
        QCOMPARE(requests.size(), size_t(3));
        for (const RecordedRequest &request : requests) {
            QCOMPARE(request.path, "/fastdfs/fastdfs/upload/file/sample");
            QVERIFY(request.header("Content-Type").starts_with("multipart/form-data; boundary="));
            QCOMPARE(request.header("token"), "");
            QCOMPARE(request.parts.size(), size_t(1));
            const Part &part = request.parts.front();
            QCOMPARE(part.name, "file");
            QCOMPARE(part.filename, "image.png");
            QCOMPARE(part.contentType, "image/*");
            QVERIFY(part.content.starts_with("\xFF\xD8\xFF"));
        }
        QVERIFY(stagingIsEmpty());
    }

    void eachAnswerIsJudgedOnItsOwn()
    {
        struct Row
        {
            std::string body;
            std::optional<QString> address;
        };
        const QList<Row> rows{
            {R"({"success":1,"httpUrl":"g/a.jpg"})", "http://g/a.jpg"},
            // An address with its scheme keeps it, once.
            {"{\"success\":true,\"httpUrl\":\"http://files/g/b.jpg\"}", "http://files/g/b.jpg"},
            {"{\"success\":true,\"httpUrl\":\"https://files/g/c.jpg\"}", "https://files/g/c.jpg"},
            {R"({"success":"true","httpUrl":"g/d.jpg"})", std::nullopt},
            {R"({"success":false,"httpUrl":"g/e.jpg"})", std::nullopt},
            {R"({"success":2,"httpUrl":"g/e.jpg"})", std::nullopt},
            {R"({"httpUrl":"g/f.jpg"})", std::nullopt},
            {R"({"success":true})", std::nullopt},
            {R"({"success":true,"httpUrl":7})", std::nullopt},
            {R"(["g/h.jpg"])", std::nullopt},
            {"not json", std::nullopt},
        };
        for (const Row &row : rows) {
            server.clear();
            server.setFallback(Answer::json(row.body));
            const Outcome outcome = upload({photo(12)});
            const QByteArray what = QByteArray::fromStdString(row.body);
            QVERIFY2(outcome.calls == 1, what);
            QVERIFY2(outcome.allSucceeded == row.address.has_value(), what);
            QVERIFY2(outcome.urls == (row.address ? QStringList{*row.address} : QStringList()),
                     what);
        }
        QVERIFY(stagingIsEmpty());
    }

    void oneFailingPhotoFailsTheUpload()
    {
        // One of eight loses its connection halfway through the answer.
        server.setResponder([](const RecordedRequest &request) {
            const int width = widthOf(request);
            Answer answer = Answer::json("{\"success\":true,\"httpUrl\":\"g/w"
                                         + std::to_string(width) + ".jpg\"}");
            if (width == 50)
                answer.fault = Answer::Fault::DropHalfway;
            return answer;
        });
        QList<QImage> photos;
        for (int width = 10; width <= 80; width += 10)
            photos.append(photo(width));
        Outcome outcome = upload(photos);
        QCOMPARE(outcome.calls, 1);
        QVERIFY(!outcome.allSucceeded);
        // Qt may fail a neighbour too (its request on a connection the server
        // was closing); never the reverse.
        QVERIFY(outcome.urls.size() <= 7);
        QVERIFY(!outcome.urls.contains("http://g/w50.jpg"));
        QVERIFY(stagingIsEmpty());

        // A photo that cannot be encoded sends nothing.
        server.clear();
        outcome = upload({QImage()});
        QVERIFY(!outcome.allSucceeded);
        QCOMPARE(server.startedCount(), 0);
        QVERIFY(stagingIsEmpty());
    }

    void brokenTransfersFailThePhoto()
    {
        // A dropped answer is the one-of-eight case above; here the server
        // stops reading the upload. Noise does not compress, so the body is large enough to be cut.
        QImage noise(600, 600, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(noise.scanLine(y));
            QRandomGenerator::global()->fillRange(line, noise.width());
        }
        Answer cut = Answer::json(R"({"success":true,"httpUrl":"g/cut.jpg"})");
        cut.fault = Answer::Fault::CloseHalfUpload;
        server.setFallback(cut);
        const Outcome outcome = upload({noise, photo(10)});
        QVERIFY(!outcome.allSucceeded);
        QVERIFY(stagingIsEmpty());
    }

    void leavingTheScreenMidUploadCallsNothing()
    {
        Answer slow = Answer::json(R"({"success":true,"httpUrl":"g/late.jpg"})");
        slow.delay = std::chrono::milliseconds(150);
        server.setFallback(slow);
        PhotoUploader uploader(testConfig());
        uploader.setStagingDirectory(staging.path());
        int calls = 0;
        auto *screen = new QObject;
        uploader.uploadPhotos({photo(10), photo(20)}, screen,
                              [&](bool, const QStringList &) { ++calls; });
        QTRY_COMPARE(server.startedCount(), 2);
        delete screen;
        // Both transfers still run to their end.
        QTRY_COMPARE(server.requests().size(), size_t(2));
        QTRY_VERIFY(stagingIsEmpty());
        QTest::qWait(300);
        QCOMPARE(calls, 0);
    }

    // The application quits while photos are being encoded or sent: nothing
    // is called and no photo stays behind on disk.
    void uploaderGoingAwayLeavesNoFiles()
    {
        Answer slow = Answer::json(R"({"success":true,"httpUrl":"g/late.jpg"})");
        slow.delay = std::chrono::milliseconds(300);
        int calls = 0;
        const QImage large = photo(3000, 3000);
        for (const bool sending : {false, true}) {
            server.clear();
            server.setFallback(slow);
            auto uploader = std::make_unique<PhotoUploader>(testConfig());
            uploader->setStagingDirectory(staging.path());
            uploader->uploadPhotos({photo(10), large}, this,
                                   [&](bool, const QStringList &) { ++calls; });
            if (sending)
                QTRY_COMPARE(server.startedCount(), 2);
            uploader.reset();
            QVERIFY2(stagingIsEmpty(), sending ? "sending" : "encoding");
        }
        QTest::qWait(400);
        QCOMPARE(calls, 0);
    }
};

int main(int argc, char **argv)
{
    configHome();
    QGuiApplication app(argc, argv);
    TestPhotoUploader test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_photouploader.moc"
