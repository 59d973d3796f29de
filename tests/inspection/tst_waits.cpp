#include "core/ChildScreen.h"
#include "hazard/SHazardDescriptorView.h"
#include "inspection/BlankSheets.h"
#include "inspection/DetailedInspectionListView.h"
#include "inspection/DetailedOnspectionListView.h"
#include "inspection/InspectionItemDetailView.h"
#include "inspection/InspectionListView.h"
#include "inspection/OnInspectionListView.h"
#include "platform/Beeper.h"
#include "support/FormFixture.h"
#include "support/QmlPageFixture.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QAccessible>
#include <QNetworkReply>
#include <QQuickStyle>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvellePhotosPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleInspectionPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleHazardPlugin)

using namespace orvelle;
using namespace orvelle::test;
namespace json = orvelle::endpoints::json;

namespace {
QUrl pageUrl(const char *module, const char *page)
{
    return QUrl(QStringLiteral("qrc:/Orvelle/%1/qml/%2.qml")
                    .arg(QLatin1String(module), QLatin1String(page)));
}

// What a late answer could change on a screen.
template <typename View> QString snapshot(View &view)
{
    if constexpr (std::is_same_v<View, SHazardDescriptorView>) {
        return QStringLiteral("%1 %2 %3 %4")
            .arg(view.place().join(','))
            .arg(view.picker() != nullptr)
            .arg(view.isLoadingPlaces())
            .arg(view.alert()->shown());
    } else {
        bool alert = false;
        if constexpr (std::is_same_v<View, DetailedOnspectionListView>)
            alert = view.alert()->shown();
        return QStringLiteral("%1 %2 %3 %4")
            .arg(int(view.listState()))
            .arg(view.checkitems()->rowCount())
            .arg(view.errorMessageText())
            .arg(alert);
    }
}
} // namespace

// The inspection pages against the test server. Waiting for the service:
// each list shows its wait in the page, then its rows, its empty word or its
// failure; a read never holds the way back, and stops when its page is left;
// the forms ask before Escape throws away what was entered, and a filing
// holds. Then a round underground and the review, through their controls.
class TestWaits : public QObject, FormFixture
{
    Q_OBJECT

    std::unique_ptr<Beeper> beeper = Beeper::silent();

    struct Screen
    {
        QUrl page;
        bool withStack = false;
        QLatin1String operation;
    };
    // Calls `use` with the page of the screen `name` (a list of the table or
    // a form) and a maker of its view, of the view's own type.
    template <typename Use> void withScreen(const QString &name, Use &&use)
    {
        const auto inspection = [](const char *page, bool withStack, QLatin1String operation) {
            return Screen{pageUrl("Inspection", page), withStack, operation};
        };
        if (name == u"今日检查")
            use(inspection("InspectionListPage", true, json::todayByDept), [this] {
                return new InspectionListView(*client, config, *user, *cameras, *beeper);
            });
        else if (name == u"现场检查")
            use(inspection("OnInspectionListPage", true, json::todayByDept),
                [this] { return new OnInspectionListView(*forms, config, *beeper); });
        else if (name == u"检查记录")
            use(inspection("InspectionItemDetailPage", true, json::todayDeptCheck), [this] {
                return new InspectionItemDetailView(*client, config.notesServer, *user, "K-1");
            });
        else if (name == u"检查详情")
            use(inspection("DetailedInspectionListPage", false, json::todayCheckNo), [this] {
                return new DetailedInspectionListView(*client, config.notesServer, "F-1");
            });
        else if (name == u"现场检查表")
            use(inspection("DetailedOnspectionListPage", false, json::receiveSheet),
                [this] { return new DetailedOnspectionListView(*forms, onSitePhotos(), "K-1"); });
        else
            use(Screen{pageUrl("Hazard", "SHazardDescriptorPage"), false, json::standardPlace},
                [this] { return new SHazardDescriptorView(*forms); });
    }
    QStringList onSitePhotos() { return {storedPhoto(*store, photo(40)).hash}; }

    // The harness with `view`'s page pushed; null, with the warnings, when it
    // did not load.
    static QObject *show(QmlPageFixture &fixture, const Screen &screen, QObject *view)
    {
        return fixture.load(QUrl::fromLocalFile(HARNESS_DIR "/StackHarness.qml"),
                            {{"page", screen.page},
                             {"pageProperties", QVariantMap{{"view", QVariant::fromValue(view)}}},
                             {"withStack", screen.withStack}});
    }
    QQuickItem *find(QmlPageFixture &fixture, const QString &name)
    {
        return QmlPageFixture::findItem(fixture.window().contentItem(), name);
    }

    // Answers wait until let go (one per operation).
    void hold() { server.holdAnswers(true); }
    void release() { server.holdAnswers(false); }

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QVERIFY(start());
    }
    void init()
    {
        QVERIFY(reset());
        hold();
    }
    void cleanup()
    {
        release();
        service->clearAnswers();
        // Popped pages and closed views go after the current event.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void everyListShowsItsWait_data() { addRows(QStringLiteral("inspection/waits.json")); }
    void everyListShowsItsWait()
    {
        QFETCH(QJsonObject, row);
        const QString shows = row["shows"].toString();
        withScreen(row["list"].toString(), [&](const Screen &screen, auto make) {
            service->answerAlways(screen.operation, answerText(row["answer"]));
            const std::unique_ptr<QObject> view(make());
            QmlPageFixture fixture;
            QVERIFY2(show(fixture, screen, view.get()), qPrintable(fixture.warningText()));

            // Held: the wait in the page, and nothing of what is to come.
            QTRY_VERIFY_WITH_TIMEOUT(service->requestCount(screen.operation) == 1, 20000);
            QTRY_VERIFY(find(fixture, "listLoading"));
            QVERIFY(!find(fixture, shows) && !find(fixture, "重试"));
            release();
            QTRY_VERIFY_WITH_TIMEOUT(find(fixture, shows), 20000);
            QVERIFY(!find(fixture, "listLoading"));
            QCOMPARE(find(fixture, "重试") != nullptr, row["failed"].toBool());

            // "重试" shows the wait again, in place of the failure.
            if (row["failed"].toBool()) {
                hold();
                QVERIFY(QmlPageFixture::tap(find(fixture, "重试")));
                QTRY_VERIFY(find(fixture, "listLoading"));
                QVERIFY(!find(fixture, shows));
                release();
                QTRY_VERIFY_WITH_TIMEOUT(find(fixture, shows), 20000);
            }
            QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
        });
    }

    void leavingDuringAReadChangesNothingLater_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("way");
        for (const char *way : {"返回", "Escape"})
            for (const QString &screen : testJson("inspection/late-answers.json").toObject().keys())
                QTest::addRow("%s by %s", qPrintable(screen), way)
                    << screen << QString::fromUtf8(way);
    }
    // The screen opened by its owner, as the app opens it, its read held; left
    // the way given, as its owner closes it: the read stops, and the answer,
    // which would change what it shows, changes nothing.
    void leavingDuringAReadChangesNothingLater()
    {
        QFETCH(QString, screen);
        QFETCH(QString, way);
        withScreen(screen, [&](const Screen &shown, auto make) {
            using View = std::remove_pointer_t<decltype(make())>;
            service->answerAlways(shown.operation,
                                  answerIn(QStringLiteral("inspection/late-answers.json"), screen));
            ChildScreen<View> owner;
            View *view = owner.open(make);
            QmlPageFixture fixture;
            QObject *harness = show(fixture, shown, view);
            QVERIFY2(harness, qPrintable(fixture.warningText()));
            // A screen that closes itself asks its owner, who lowers the flag.
            const auto lower = [harness] { harness->setProperty("open", false); };
            if constexpr (std::is_base_of_v<FormShell, View>)
                connect(view, &FormShell::closeRequested, harness, lower);
            else if constexpr (requires { &View::finished; })
                connect(view, &View::finished, harness, lower);
            QTRY_VERIFY_WITH_TIMEOUT(service->requestCount(shown.operation) == 1, 20000);
            QTRY_VERIFY(!find(fixture, "stack")->property("busy").toBool());
            // The place row waits for its list in the row alone.
            if constexpr (std::is_same_v<View, SHazardDescriptorView>) {
                view->tapRow(int(SHazardDescriptorView::Row::Place));
                QVERIFY(find(fixture, "正在加载…"));
            }
            // No modal box covers the page while it waits.
            QVERIFY(!find(fixture, "Loading..."));

            if (way == u"Escape")
                QTest::keyClick(&fixture.window(), Qt::Key_Escape);
            else
                QVERIFY(QmlPageFixture::tap(find(fixture, way)));
            QTRY_VERIFY(!harness->property("open").toBool());
            owner.close();
            QTRY_VERIFY(find(fixture, "home"));
            const QString before = snapshot(*view);
            // The read stopped on the wire with its screen, before its answer.
            QTRY_VERIFY(!client->findChild<QNetworkReply *>());

            release();
            QCoreApplication::processEvents();
            QCOMPARE(snapshot(*view), before);
            QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
        });
    }

    // Escape is the back key on both forms (that it leaves an untouched one is
    // above): it asks first about what was entered, and does nothing while
    // the form is filed.
    void escapeOnTheForms_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("stage");
        for (const char *form : {"隐患登记", "现场检查表"})
            for (const char *stage : {"entered", "filing"})
                QTest::addRow("%s %s", form, stage)
                    << QString::fromUtf8(form) << QString::fromUtf8(stage);
    }
    void escapeOnTheForms()
    {
        QFETCH(QString, form);
        QFETCH(QString, stage);
        QVERIFY(signIn());
        release();
        service->answerAlways(json::standardPlace,
                              answerIn(QStringLiteral("hazard/form.json"), "forty places"));
        service->answerAlways(json::receiveSheet,
                              answerIn(QStringLiteral("inspection/sheet.json"), "two items"));
        std::unique_ptr<FormShell> view;
        Screen screen;
        withScreen(form, [&](const Screen &shown, auto make) {
            if constexpr (std::is_base_of_v<FormShell, std::remove_pointer_t<decltype(make())>>)
                std::tie(view, screen) = std::pair(std::unique_ptr<FormShell>(make()), shown);
        });
        QmlPageFixture fixture;
        QObject *harness = show(fixture, screen, view.get());
        QVERIFY2(harness, qPrintable(fixture.warningText()));
        connect(view.get(), &FormShell::closeRequested, harness,
                [harness] { harness->setProperty("open", false); });
        QTRY_VERIFY_WITH_TIMEOUT(service->requestCount(screen.operation) == 1, 20000);
        QTRY_VERIFY(!find(fixture, "stack")->property("busy").toBool());
        auto *hazard = qobject_cast<SHazardDescriptorView *>(view.get());
        auto *sheet = qobject_cast<DetailedOnspectionListView *>(view.get());
        QTRY_VERIFY_WITH_TIMEOUT(hazard ? !hazard->place().isEmpty() : sheet->canUpload(), 20000);

        if (hazard) {
            hazard->photos()->selectedImages()->append(storedPhoto(*store, photo(41)));
            describe(*hazard, QStringLiteral("护罩脱落"));
        } else {
            for (int row = 0; row < sheet->checkitems()->count(); ++row)
                sheet->checkitems()->at(row)->qualify();
        }
        if (stage == u"filing") {
            // The first photo waits at the file store.
            hold();
            if (hazard)
                hazard->submit();
            else
                sheet->upload();
            QTRY_VERIFY_WITH_TIMEOUT(service->uploadCount() == 1, 20000);
            QVERIFY(view->isLoading());
        }
        QTRY_VERIFY(!find(fixture, "pickerChoices"));
        QTest::keyClick(&fixture.window(), Qt::Key_Escape);
        QCoreApplication::processEvents();
        if (stage == u"entered") {
            QVERIFY(view->discardGuard()->asking());
            QTRY_VERIFY(find(fixture, "放弃"));
            QVERIFY(harness->property("open").toBool());
            QVERIFY(QmlPageFixture::tap(find(fixture, "放弃")));
            QTRY_VERIFY(!harness->property("open").toBool());
        } else {
            QVERIFY(!view->discardGuard()->asking() && view->isLoading());
            QVERIFY(harness->property("open").toBool());
            release();
            QTRY_VERIFY_WITH_TIMEOUT(!view->isLoading(), 30000);
        }
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // As the list loads, every listed point's sheet is kept; underground each
    // opens from it, by tap or by scan, and a point whose sheet is not kept
    // says so before a photo is taken. Through the on-site page.
    void aRoundUnderground()
    {
        release();
        service->answer(json::todayByDept,
                        answerIn(QStringLiteral("inspection/tasklists.json"), "today"));
        service->answerAlways(json::receiveSheet,
                              answerIn(QStringLiteral("inspection/sheet.json"), "two items"));
        BlankSheets sheets(*client, config.notesServer, store.get(), zhangwei);
        OnInspectionListView view(*forms, config, *beeper);
        view.setBlankSheets(&sheets);
        QmlPageFixture fixture;
        QVERIFY2(show(fixture, {pageUrl("Inspection", "OnInspectionListPage"), true, {}}, &view),
                 qPrintable(fixture.warningText()));
        QTRY_VERIFY_WITH_TIMEOUT(find(fixture, "已保存 2/3 张检查表"), 20000);
        QSet<QString> asked;
        for (const RecordedRequest &request : service->requestsTo(json::receiveSheet))
            asked << QJsonDocument::fromJson(request.body.c_str())["key"].toString();
        QCOMPARE(asked, (QSet<QString>{"K-1", "K-3"}));
        QVERIFY(QmlPageFixture::findItem(find(fixture, "checkitems"),
                                         "检查表未保存，无网络时无法打开"));

        // Underground: the kept list, nothing fetched again.
        service->clearAnswers();
        service->answerAlways(json::todayByDept, "no service");
        service->answerAlways(json::receiveSheet, "no service");
        view.reload();
        QTRY_VERIFY_WITH_TIMEOUT(find(fixture, "keptList"), 20000);
        QVERIFY(find(fixture, "已保存 2/3 张检查表"));
        QCOMPARE(service->requestCount(json::receiveSheet), 2);
        const QUrl file = albumFile(33);
        // Each pick tapped by its row's name or scanned by its code; one that
        // cannot open says why in the message box instead of the camera.
        for (const QJsonValue &pick : testJson("inspection/underground-picks.json").toArray()) {
            if (pick["tapped"].isString()) {
                QVERIFY(QmlPageFixture::tap(find(fixture, pick["tapped"].toString())));
            } else {
                view.setIsScannerPresented(true);
                view.codeScanned(pick["code"].toString());
            }
            if (const QString said = pick["said"].toString(); !said.isEmpty()) {
                QTRY_VERIFY(find(fixture, "确定"));
                QVERIFY2(view.alert()->message().startsWith(said),
                         qPrintable(view.alert()->message()));
                QVERIFY(!view.showCameraPicker() && QmlPageFixture::tap(find(fixture, "确定")));
                QTRY_VERIFY(!find(fixture, "确定"));
                continue;
            }
            QTRY_VERIFY(view.showCameraPicker());
            view.cameraPicker()->chooseFile(file);
            QTRY_VERIFY_WITH_TIMEOUT(find(fixture, "照明"), 20000);
            QVERIFY(!view.detailView()->hasErrorMessage());
            // Back on the list once it has loaded again.
            QSignalSpy reloaded(view.checkitems(), &QAbstractItemModel::modelReset);
            view.detailView()->goBack();
            QTRY_VERIFY_WITH_TIMEOUT(reloaded.size() == 1, 20000);
            QTRY_VERIFY(!find(fixture, "stack")->property("busy").toBool());
        }
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // The review pages driven through their controls. The end-to-end road
    // covers the on-site sheet and a review whose photos load; this is the way
    // out of the scanner, the review of photos that cannot be fetched, and the
    // preview.
    void reviewOfASubmittedSheet()
    {
        release();
        service->answer(json::todayByDept,
                        answerIn(QStringLiteral("inspection/tasklists.json"), "today"));
        service->answer(json::todayDeptCheck, answerIn(QStringLiteral("inspection/tasklists.json"),
                                                       "records of a point"));
        // One photo's address refuses connections, the other is no web
        // address: both cells show the symbol.
        service->answer(json::todayCheckNo, answerIn(QStringLiteral("inspection/tasklists.json"),
                                                     "photos that cannot be fetched"));
        InspectionListView view(*client, config, *user, *cameras, *beeper);
        QmlPageFixture fixture;
        QVERIFY2(show(fixture, {pageUrl("Inspection", "InspectionListPage"), true, {}}, &view),
                 qPrintable(fixture.warningText()));
        QQuickItem *stack = find(fixture, "stack");
        QTRY_VERIFY_WITH_TIMEOUT(find(fixture, "一号破碎机"), 20000);

        // The scanner has the frame's title and "返回"; going back changes nothing.
        QVERIFY(QmlPageFixture::tap(find(fixture, "扫描二维码")));
        QTRY_VERIFY(find(fixture, "QRCodeScannerView"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(fixture, "返回")));
        QTRY_VERIFY(!find(fixture, "QRCodeScannerView"));
        QVERIFY(!view.isScannerPresented());
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(fixture, "一号破碎机")));
        QTRY_VERIFY_WITH_TIMEOUT(find(fixture, "日检表"), 20000);
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(fixture, "日检表")));
        QTRY_VERIFY_WITH_TIMEOUT(find(fixture, "护栏松动"), 20000);
        // A screen reader hears which item each mark judges, and which is chosen.
        for (const auto &[name, chosen] : {std::pair{"合格", false}, {"不合格", true}}) {
            QAccessibleInterface *mark = QAccessible::queryAccessibleInterface(find(fixture, name));
            QVERIFY(mark && mark->text(QAccessible::Description).contains(u"护栏"));
            QCOMPARE(mark->state().checked, chosen);
        }
        QTRY_VERIFY(!stack->property("busy").toBool());
        for (const char *name : {"照片 1", "照片 2"})
            QTRY_VERIFY(QmlPageFixture::findItem(find(fixture, name), "photoFailed"));
        QVERIFY(QmlPageFixture::tap(find(fixture, "照片 1")));
        QTRY_VERIFY(find(fixture, "关闭"));
        QVERIFY(QmlPageFixture::tap(find(fixture, "关闭")));
        QTRY_VERIFY(!find(fixture, "关闭"));

        // Its own "返回" goes back to the record list, which loads again.
        QVERIFY(QmlPageFixture::tap(find(fixture, "返回")));
        QTRY_VERIFY_WITH_TIMEOUT(!find(fixture, "DetailedInspectionListView"), 20000);
        QVERIFY(find(fixture, "InspectionItemDetailView"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        // Only the photo that could not be fetched is reported, by Qt itself.
        for (const QString &warning : fixture.warnings())
            QVERIFY2(warning.contains(QLatin1String("QQuickImage: Connection refused")),
                     qPrintable(warning));
    }
};

QTEST_MAIN(TestWaits)
#include "tst_waits.moc"
