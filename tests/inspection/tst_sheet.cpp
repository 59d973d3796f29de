#include "inspection/DetailedOnspectionListView.h"
#include "support/FormFixture.h"
#include "support/SqlAnswer.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;
namespace json = orvelle::endpoints::json;

namespace {
const std::string twoItemSheet = answerIn(QStringLiteral("inspection/sheet.json"), "two items");
} // namespace

// The on-site check sheet: loading, judging, validation, photos, submission.
class TestSheet : public QObject, FormFixture
{
    Q_OBJECT

    std::unique_ptr<DetailedOnspectionListView>
    sheet(const std::string &answer, QList<QImage> onsite = {photo(40)}, const QString &key = "K-1")
    {
        service->answerAlways(json::receiveSheet, answer);
        QStringList hashes;
        for (const QImage &picture : onsite)
            hashes << storedPhoto(*store, picture).hash;
        auto view = std::make_unique<DetailedOnspectionListView>(*forms, hashes, key);
        view->appeared();
        if (!QTest::qWaitFor([&] { return view->canUpload() || view->hasErrorMessage(); }, 20000))
            qWarning("the sheet did not load");
        return view;
    }
    static InspectionItemView *item(DetailedOnspectionListView &view, int row)
    {
        return view.checkitems()->at(row);
    }

private slots:
    void initTestCase() { QVERIFY(start()); }
    void init()
    {
        QVERIFY(reset());
        service->answer(json::createSheet, R"({"code":1,"msg":"提交成功","docid":"D1"})");
    }

    // Photos go one list after the other, each in arrival order (wider ones
    // answer sooner; two go at a time), the added ones only once the on-site
    // ones are stored.
    void aJudgedSheetIsSubmittedExactlyOnce()
    {
        service->delayByWidth(true);
        auto view = sheet(twoItemSheet, {photo(10), photo(20)});
        QCOMPARE(
            service->lastBody(json::receiveSheet),
            recordIn(QStringLiteral("inspection/tasklist-requests.json"), "blank sheet of K-1"));

        item(*view, 0)->qualify();
        item(*view, 1)->qualify();
        QCOMPARE(item(*view, 0)->isQualifiedValue(), QVariant(true));
        QVERIFY(!item(*view, 0)->showTextField());
        for (int width : {35, 55, 50})
            view->photos()->selectedImages()->append(storedPhoto(*store, photo(width)));
        view->upload();
        QVERIFY(view->isLoading());
        QVERIFY(alertShown(*view));
        QCOMPARE(view->alert()->message(), QStringLiteral("提交成功"));
        QVERIFY(view->shouldNavigate());
        QVERIFY(!view->isLoading());

        // The key the service returned, not the one the sheet was opened with.
        QJsonObject expected =
            recordIn(QStringLiteral("inspection/sheet.json"), "two items qualified");
        expected["server"] = config.notesServer;
        QCOMPARE(service->lastBody(json::createSheet), client->withCommonParameters(expected));
        QList<int> widths;
        for (const RecordedRequest &request : service->requestsTo(NotesService::uploadPath()))
            widths << NotesService::widthOf(request);
        QCOMPARE(widths.size(), 5);
        std::sort(widths.begin(), widths.begin() + 2);
        std::sort(widths.begin() + 2, widths.end());
        QCOMPARE(widths, (QList<int>{10, 20, 35, 50, 55}));

        view->alert()->acknowledge();
        view->upload(); // submitted: pressing again sends nothing more
        QCOMPARE(service->requestCount(json::createSheet), 1);
    }

    void checksRunInOrderAndStopBeforeAnyUpload()
    {
        auto noPhoto = sheet(twoItemSheet, {});
        noPhoto->upload();
        QVERIFY(acknowledged(*noPhoto, QStringLiteral("请拍照上传隐患位置照片")));

        auto view = sheet(twoItemSheet);
        item(*view, 1)->disqualify();
        view->upload(); // the first item is not judged
        QVERIFY(acknowledged(*view, QStringLiteral("有项目未检查完成，请检查完成在上传")));
        QVERIFY(!view->shouldNavigate());

        item(*view, 0)->qualify();
        QCOMPARE(item(*view, 1)->inputText(), QStringLiteral("照明 不合格"));
        QCOMPARE(item(*view, 1)->itemx().distription, QStringLiteral("照明 不合格"));
        view->upload();
        QVERIFY(acknowledged(*view, QStringLiteral("有不合格的项目请上传照片")));
        QCOMPARE(view->allapprove(), QStringLiteral("0"));

        // A change of mind counts afresh at the next attempt.
        item(*view, 1)->qualify();
        view->upload();
        QVERIFY(alertShown(*view));
        const QJsonObject body = service->lastBody(json::createSheet);
        QCOMPARE(body["allapprove"], QJsonValue("1"));
        // ... and the description written while it was unqualified is sent.
        QCOMPARE(body["checkitems"][1]["distription"], QJsonValue("照明 不合格"));
        QCOMPARE(service->uploadCount(), 1);
    }

    void descriptionsSurviveChangesOfMind()
    {
        auto view = sheet(R"({"code":1,"checkitems":[{"id":"1"}]})");
        InspectionItemView *nameless = item(*view, 0);
        QCOMPARE(nameless->title(), QStringLiteral("未知检查项"));
        nameless->disqualify();
        QCOMPARE(nameless->inputText(), QStringLiteral("未知检查项 不合格"));
        QVERIFY(nameless->showTextField());
        nameless->setInputText(QStringLiteral("护栏松动，两处螺栓缺失"));
        nameless->disqualify();
        QCOMPARE(nameless->inputText(), QStringLiteral("护栏松动，两处螺栓缺失"));
        nameless->qualify();
        nameless->disqualify();
        QCOMPARE(nameless->itemx().distription, QStringLiteral("护栏松动，两处螺栓缺失"));
        // Cleared by hand, the default text comes back.
        nameless->setInputText(QString());
        nameless->disqualify();
        QCOMPARE(nameless->inputText(), QStringLiteral("未知检查项 不合格"));

        // Absent fields are sent as null; rowcount absent is 0; the sheet's
        // missing key falls back to the one it was opened with.
        view->photos()->selectedImages()->append(storedPhoto(*store, photo(41)));
        view->upload();
        QVERIFY(alertShown(*view));
        const QJsonObject body = service->lastBody(json::createSheet);
        QCOMPARE(body.value("image").toString(), QStringLiteral("http://g/w41.jpg"));
        QCOMPARE(body.value("rowcount"), QJsonValue(0));
        QCOMPARE(body.value("key").toString(), QStringLiteral("K-1"));
        QCOMPARE(body.value("checkname").toString(), QString());
        const QJsonObject sent = body.value("checkitems").toArray().at(0).toObject();
        QVERIFY(sent.value("projectitem").isNull());
        QCOMPARE(sent.value("isapprove").toString(), QStringLiteral("1"));
        QCOMPARE(body.value("allapprove").toString(), QStringLiteral("0"));
    }

    // A sheet that never loaded is never submitted; "重试" loads it again.
    void sheetThatNeverLoaded_data() { addRows(QStringLiteral("inspection/sheet-failures.json")); }
    void sheetThatNeverLoaded()
    {
        QFETCH(QJsonObject, row);
        auto failed = sheet(answerText(row["answer"]));
        QCOMPARE(failed->errorMessageText(), row["error"].toString());
        QVERIFY(!failed->canUpload());
        failed->upload();
        QVERIFY(!failed->isLoading() && !failed->alert()->shown());
        QCOMPARE(failed->checkitems()->rowCount(), 0);

        service->clearAnswers();
        service->answer(json::receiveSheet, twoItemSheet);
        failed->appeared();
        QTRY_VERIFY_WITH_TIMEOUT(failed->canUpload(), 20000);
        QVERIFY(!failed->hasErrorMessage());
        QCOMPARE(failed->checkitems()->rowCount(), 2);
    }

    // A sheet kept on the device comes back on the sheet loaded now, with the
    // on-site photo just taken: judgements, description, added photos; filed, it is gone.
    void aDraftComesBackUntilFiled()
    {
        const auto kept = [this] { return store->loadDraft(zhangwei, "sheet/K-1"); };
        {
            auto view = sheet(twoItemSheet, {photo(40)}, "K-1");
            item(*view, 0)->qualify();
            item(*view, 1)->disqualify();
            item(*view, 1)->setInputText(QStringLiteral("护栏松动"));
            view->photos()->selectedImages()->append(storedPhoto(*store, photo(30)));
            QVERIFY(QTest::qWaitFor([&] { return kept() && kept()->photos["added"].size(); }));
        }
        QJsonObject renamed = recordIn(QStringLiteral("inspection/sheet.json"), "two items");
        renamed["checkname"] = "周检表";
        QVERIFY(
            sheet(twoItemSheet, {photo(50)}, "K-1")->draft()->savedAtText().startsWith("今天 "));
        sqlAnswer(store->databaseFile(), "UPDATE drafts SET saved_at = saved_at - 2 * 86400000");
        auto view = sheet(answerText(renamed), {photo(50)}, "K-1");
        QVERIFY(view->draft()->offered() && view->draft()->savedAtText().contains("月"));
        view->draft()->restore();
        view->draft()->restore(); // a second tap while it comes back
        QTRY_COMPARE(view->photos()->photos().count(), 1);
        QCOMPARE(view->photos()->photos().photos().at(0).stored.thumbnail.width(), 30);
        QCOMPARE(view->onselectedImages().at(0), storedPhoto(*store, photo(50)).hash);
        QCOMPARE(item(*view, 0)->isQualifiedValue(), QVariant(true));
        QCOMPARE(item(*view, 1)->inputText(), QStringLiteral("护栏松动"));

        // Filed through the outbox while a photo's answer is lost on the way:
        // the sheet closes saying where it went, the entry waits with the
        // stored photo's address, and goes once.
        QVERIFY(signIn());
        service->refuseWidth(30, true);
        view->upload();
        QVERIFY(acknowledged(*view, FormFiling::queuedMessage()));
        QVERIFY(view->shouldNavigate() && outbox->waitingCount() == 1);
        view->draft()->save(); // filed: no draft left, nor made again
        QVERIFY(!kept());
        service->refuseWidth(-1);
        outbox->retry();
        QTRY_COMPARE_WITH_TIMEOUT(outbox->waitingCount(), 0, 20000);
        QCOMPARE(service->uploadCount(), 3);
        const QJsonObject body = service->lastBody(json::createSheet);
        QCOMPARE(body["openimageurl"], "http://g/w50.jpg");
        QCOMPARE(body["image"], "http://g/w30.jpg");
        QCOMPARE(body["checkname"], "周检表");
        QCOMPARE(service->requestCount(json::createSheet), 1);
    }
};

QTEST_MAIN(TestSheet)
#include "tst_sheet.moc"
