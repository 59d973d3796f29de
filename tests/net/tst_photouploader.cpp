#include "net/PhotoUploader.h"
#include "support/NotesService.h"
#include "support/TestData.h"
#include "support/https/TestClientConfig.h"

#include <QDir>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;

namespace {
struct Outcome
{
    bool called = false;
    bool allSucceeded = false;
    QStringList urls;
};
} // namespace

class TestPhotoUploader : public QObject
{
    Q_OBJECT

    HttpsTestServer server;
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
            outcome = {true, allSucceeded, urls};
        });
        static_cast<void>(QTest::qWaitFor([&] { return outcome.called; }, 20000));
        return outcome;
    }

    bool stagingIsEmpty() const { return QDir(staging.path()).isEmpty(); }

private slots:
    void init() { server.clear(); }

    // Nothing to send: no photos succeed at once, a photo that cannot be
    // encoded fails; neither reaches the server.
    void nothingToSend()
    {
        const Outcome none = upload({});
        QVERIFY(none.allSucceeded && none.urls.isEmpty());
        const Outcome unencodable = upload({QImage()});
        QVERIFY(unencodable.called && !unencodable.allSucceeded);
        QCOMPARE(server.startedCount(), 0);
        QVERIFY(stagingIsEmpty());
    }

    void addressesComeInArrivalOrder()
    {
        NotesService service(server);
        service.delayByWidth(true); // the widest answers first
        const Outcome outcome = upload({photo(10), photo(20), photo(30)});
        QVERIFY(outcome.allSucceeded);
        QCOMPARE(outcome.urls,
                 QStringList({"http://g/w30.jpg", "http://g/w20.jpg", "http://g/w10.jpg"}));

        const auto requests = server.requests();
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
        server.setFallback(Answer::json(row["body"].toString().toStdString()));
        const Outcome outcome = upload({photo(12)});
        QVERIFY(outcome.called);
        QCOMPARE(outcome.allSucceeded, row.contains("address"));
        QCOMPARE(outcome.urls,
                 row.contains("address") ? QStringList{row["address"].toString()} : QStringList());
        QVERIFY(stagingIsEmpty());
    }

    // One of eight loses its connection halfway through the answer, or the
    // server stops reading an upload: the batch fails.
    void brokenTransfersFailTheUpload()
    {
        server.setResponder([](const RecordedRequest &request) {
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
        QVERIFY(!outcome.allSucceeded);
        // Qt may fail a neighbour too (its request on a connection the server
        // was closing); never the reverse.
        QVERIFY(outcome.urls.size() <= 7);
        QVERIFY(!outcome.urls.contains("http://g/w50.jpg"));
        QVERIFY(stagingIsEmpty());

        // Noise does not compress, so the body is large enough to be cut.
        server.clear();
        QImage noise(600, 600, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(noise.scanLine(y));
            QRandomGenerator::global()->fillRange(line, noise.width());
        }
        Answer cut = Answer::json(R"({"success":true,"httpUrl":"g/cut.jpg"})");
        cut.fault = Answer::Fault::CloseHalfUpload;
        server.setFallback(cut);
        const Outcome cutOff = upload({noise, photo(10)});
        QVERIFY(cutOff.called && !cutOff.allSucceeded);
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
        server.setFallback(slow);
        QImage large(3000, 3000, QImage::Format_RGB32);
        large.fill(Qt::darkGreen);
        auto sender = uploader();
        auto screen = std::make_unique<QObject>();
        sender->uploadPhotos({photo(10), uploaderGoes ? large : photo(20)}, screen.get(),
                             [this](bool, const QStringList &) { ++lateCalls; });
        if (row["sending"].toBool())
            QTRY_COMPARE(server.startedCount(), 2);
        if (uploaderGoes) {
            sender.reset();
            QVERIFY(stagingIsEmpty());
        } else {
            screen.reset();
            // Both transfers still run to their end.
            QTRY_COMPARE(server.requests().size(), size_t(2));
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
    TestPhotoUploader test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_photouploader.moc"
