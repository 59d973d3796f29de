#include "inspection/DetailedInspectionListView.h"
#include "inspection/InspectionItemDetailView.h"
#include "inspection/InspectionListView.h"
#include "inspection/OnInspectionListView.h"
#include "platform/Beeper.h"
#include "platform/Camera.h"
#include "support/FormFixture.h"
#include "support/TestData.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;
namespace json = orvelle::endpoints::json;

namespace {
std::string answer(const char *name)
{
    return answerIn(QStringLiteral("inspection/tasklists.json"), QLatin1String(name));
}
const std::string todayList = answer("today");

// A request's body as the service sees it, device and all.
QJsonObject request(const char *name)
{
    return recordIn(QStringLiteral("inspection/tasklist-requests.json"), QLatin1String(name));
}

QVariant cell(QAbstractItemModel *model, int row, const char *role)
{
    return model->data(model->index(row, 0), model->roleNames().key(role));
}
} // namespace

// Today's task lists and the review of submitted sheets, against the test
// server: their views (tst_waits loads their pages).
class TestTaskLists : public QObject, FormFixture
{
    Q_OBJECT

    std::unique_ptr<Beeper> beeper = Beeper::silent();

    template <typename View> std::unique_ptr<View> loadedList()
    {
        std::unique_ptr<View> view;
        if constexpr (std::is_same_v<View, OnInspectionListView>)
            view = std::make_unique<View>(*forms, config, *beeper);
        else
            view = std::make_unique<View>(*client, config, *user, *cameras, *beeper);
        view->appeared();
        if (!QTest::qWaitFor([&] { return view->checkitems()->rowCount() > 0; }, 20000))
            qWarning("the list did not load: %s", qPrintable(view->errorMessageText()));
        return view;
    }

private slots:
    void initTestCase() { QVERIFY(start()); }
    void init() { QVERIFY(reset()); }
    void cleanup()
    {
        // Popped pages and closed views go after the current event.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void listRequestCarriesTheDepartment()
    {
        service->answer(json::todayByDept, todayList);
        auto view = loadedList<InspectionListView>();
        QCOMPARE(service->lastBody(json::todayByDept), request("today"));

        // Rows in the service's order; a nameless one is "未知检查项".
        CheckitemListModel *rows = view->checkitems();
        QCOMPARE(rows->rowCount(), 3);
        QCOMPARE(cell(rows, 0, "project").toString(), QStringLiteral("一号破碎机"));
        QCOMPARE(cell(rows, 2, "project").toString(), QStringLiteral("未知检查项"));

        // An absent part of the department is empty; the slash stays.
        user->setOu2(std::nullopt);
        view->appeared();
        QTRY_VERIFY_WITH_TIMEOUT(service->requestCount(json::todayByDept) == 2, 20000);
        QCOMPARE(service->lastBody(json::todayByDept), request("today without a second part"));
        user->setOu1(std::nullopt);
        loadedList<OnInspectionListView>();
        QCOMPARE(service->lastBody(json::todayByDept), request("today without a department"));
    }

    // Each answer in turn to the same screen: a failure's text shows in place
    // of the list until a good answer.
    void failuresShowInPlaceOfTheListUntilAGoodAnswer()
    {
        const QJsonArray turns = testJson("inspection/list-answers-in-turn.json").toArray();
        for (const QJsonValue &turn : turns)
            service->answer(json::todayByDept, answerText(turn["answer"]));
        InspectionListView view(*client, config, *user, *cameras, *beeper);
        for (const QJsonValue &turn : turns) {
            view.reload();
            QTRY_COMPARE_WITH_TIMEOUT(view.errorMessageText(), turn["message"].toString(), 20000);
            QVERIFY2(view.hasErrorMessage() != turn["message"].toString().isEmpty(),
                     qPrintable(turn["tag"].toString()));
            QTRY_COMPARE_WITH_TIMEOUT(view.checkitems()->rowCount(), turn["rows"].toInt(), 20000);
        }
    }

    void scannedCodesOpenTheirCheckPoint()
    {
        service->answer(json::todayByDept, todayList);
        service->answer(json::todayDeptCheck, R"({"code":1,"checkitems":[]})");
        auto view = loadedList<InspectionListView>();
        view->setIsScannerPresented(true);
        QVERIFY(view->scanner());

        // Not a check point's code: nothing happens and the scanner stays.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Error parsing JSON: "));
        view->codeScanned(QStringLiteral("K7"));
        for (const char *code : {R"({"key":7})", R"(["K7"])", R"({"code":"K7"})", "null"}) {
            view->codeScanned(QString::fromUtf8(code));
            QVERIFY2(view->isScannerPresented(), code);
        }
        QVERIFY(!view->navigateToDetail());

        // K7 is not among today's rows and still opens.
        view->codeScanned(QStringLiteral(R"({"key":"K7","name":"七号皮带","x":[1]})"));
        QCOMPARE(view->keyText(), QStringLiteral("K7"));
        QVERIFY(!view->isScannerPresented());
        QVERIFY(!view->navigateToDetail()); // only after the scanner has closed
        QTRY_VERIFY(view->navigateToDetail());
        QCOMPARE(view->detailView()->key(), QStringLiteral("K7"));
        view->detailView()->appeared();
        QTRY_VERIFY_WITH_TIMEOUT(!service->lastBody(json::todayDeptCheck).isEmpty(), 20000);
        QCOMPARE(service->lastBody(json::todayDeptCheck), request("records of K7"));

        // A row without a key opens the record list with the empty key.
        view->setNavigateToDetail(false);
        view->pick(1);
        QCOMPARE(view->detailView()->key(), QString());
    }

    void onSitePickNeedsAPhotoAndAKey()
    {
        service->answer(json::todayByDept, todayList);
        auto view = loadedList<OnInspectionListView>();
        const QString file = dir.filePath("site.png");
        QVERIFY(photo(33).save(file));

        // Closed without a photo: the list stays.
        view->pick(0);
        QCOMPARE(view->selectedKeyText(), QStringLiteral("K-1"));
        QVERIFY(view->showCameraPicker());
        view->cameraPicker()->cancel();
        QVERIFY(!view->showCameraPicker());
        QVERIFY(!view->navigateToDetail());

        // A row without a key does not open anything, even with a photo.
        view->pick(1);
        view->cameraPicker()->chooseFile(QUrl::fromLocalFile(file));
        QTRY_VERIFY_WITH_TIMEOUT(!view->showCameraPicker(), 20000);
        QCOMPARE(view->selectedImages()->count(), 1);
        QVERIFY(!view->navigateToDetail());

        // A scanned point opens the camera once the scanner has closed; its
        // photo opens the sheet with that photo only, not the other row's.
        const int requestsBefore = service->requestCount(json::todayByDept);
        view->setIsScannerPresented(true);
        view->codeScanned(QStringLiteral(R"({"key":"K-3"})"));
        QVERIFY(!view->showCameraPicker());
        QTRY_VERIFY(view->showCameraPicker());
        view->cameraPicker()->chooseFile(QUrl::fromLocalFile(file));
        QTRY_VERIFY_WITH_TIMEOUT(view->navigateToDetail(), 20000);
        DetailedOnspectionListView *sheet = view->detailView();
        QCOMPARE(sheet->key(), QStringLiteral("K-3"));
        QCOMPARE(sheet->onselectedImages().size(), 1);

        // Leaving the sheet reloads the list and discards the photos.
        QSignalSpy finished(sheet, &DetailedOnspectionListView::finished);
        sheet->goBack();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!view->navigateToDetail());
        QCOMPARE(view->selectedImages()->count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(service->requestCount(json::todayByDept), requestsBefore + 1,
                                  20000);
    }

    void recordListOfACheckPoint()
    {
        service->answer(json::todayDeptCheck, answer("records of a point"));
        InspectionItemDetailView view(*client, config.notesServer, *user, QStringLiteral("K-1"));
        view.appeared();
        QTRY_COMPARE_WITH_TIMEOUT(view.checkitems()->rowCount(), 2, 20000);
        QCOMPARE(service->lastBody(json::todayDeptCheck), request("records of K-1"));
        QCOMPARE(cell(view.checkitems(), 0, "checkpeople").toString(), QStringLiteral("张伟"));
        QCOMPARE(cell(view.checkitems(), 1, "checkdate").toString(), QString());

        // A sheet without a form number asks for the empty one.
        view.pick(1);
        view.detailView()->appeared();
        QTRY_VERIFY_WITH_TIMEOUT(!service->lastBody(json::todayCheckNo).isEmpty(), 20000);
        QCOMPARE(service->lastBody(json::todayCheckNo), request("sheet without a form number"));

        // "返回" of the sheet brings the list back, reloaded.
        const int loads = service->requestCount(json::todayDeptCheck);
        view.detailView()->goBack();
        QVERIFY(!view.navigateToDetail());
        QTRY_COMPARE_WITH_TIMEOUT(service->requestCount(json::todayDeptCheck), loads + 1, 20000);
    }

    void submittedSheetReadOnly()
    {
        service->answer(json::todayCheckNo, answer("submitted"));
        DetailedInspectionListView view(*client, config.notesServer, QStringLiteral("F-1"));
        QVERIFY(view.isLoading()); // from the start
        view.appeared();
        QTRY_VERIFY_WITH_TIMEOUT(!view.isLoading(), 20000);
        QCOMPARE(view.photoUrls(),
                 (QList<QUrl>{QUrl("http://127.0.0.1:50080/files/a.jpg"),
                              QUrl("http://127.0.0.1:50080/files/b.jpg"), QUrl(), QUrl(), QUrl()}));

        QAbstractItemModel *items = view.checkitems();
        QCOMPARE(cell(items, 0, "description"), QVariant(QString()));
        QCOMPARE(cell(items, 1, "title").toString(), QStringLiteral("未知检查项"));
        QVERIFY(!cell(items, 1, "qualified").toBool() && !cell(items, 1, "unqualified").toBool());
        QVERIFY(!cell(items, 1, "description").isValid());
        QVERIFY(cell(items, 2, "qualified").toBool());
        QVERIFY(!cell(items, 2, "description").isValid()); // described but qualified

        // Each opening of a photo is a new preview, even of the same photo.
        view.openPhoto(view.photoUrls().at(0));
        const QString first = view.selectedImageId();
        view.closePreview();
        QVERIFY(!view.showsPreview());
        view.openPhoto(view.photoUrls().at(0));
        QVERIFY(view.showsPreview());
        QVERIFY(view.selectedImageId() != first);
        QCOMPARE(view.selectedImageUrl(), view.photoUrls().at(0));
    }
};

QTEST_MAIN(TestTaskLists)
#include "tst_tasklists.moc"
