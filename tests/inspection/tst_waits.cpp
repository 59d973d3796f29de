#include "core/ChildScreen.h"
#include "hazard/SHazardDescriptorView.h"
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

#include <QNetworkReply>
#include <QQuickStyle>
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

// Waiting for the service, page by page against the test server: each list
// shows its wait in the page, then its rows, its empty word or its failure;
// a read never holds the way back, and its late answer finds no one; the
// forms ask before Escape throws away what was entered, and a filing holds.
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
    // The page of a list screen of the table, by its name, and its request.
    Screen listScreen(const QString &name)
    {
        if (name == u"今日检查")
            return {pageUrl("Inspection", "InspectionListPage"), true, json::todayByDept};
        if (name == u"现场检查")
            return {pageUrl("Inspection", "OnInspectionListPage"), true, json::todayByDept};
        if (name == u"检查记录")
            return {pageUrl("Inspection", "InspectionItemDetailPage"), true, json::todayDeptCheck};
        if (name == u"检查详情")
            return {pageUrl("Inspection", "DetailedInspectionListPage"), false, json::todayCheckNo};
        return {pageUrl("Inspection", "DetailedOnspectionListPage"), false, json::receiveSheet};
    }
    std::unique_ptr<QObject> makeList(const QString &name)
    {
        if (name == u"今日检查")
            return std::make_unique<InspectionListView>(*client, config, *user, *cameras, *beeper);
        if (name == u"现场检查")
            return std::make_unique<OnInspectionListView>(*forms, config, *beeper);
        if (name == u"检查记录")
            return std::make_unique<InspectionItemDetailView>(*client, config.notesServer, *user,
                                                              QStringLiteral("K-1"));
        if (name == u"检查详情")
            return std::make_unique<DetailedInspectionListView>(*client, config.notesServer,
                                                                QStringLiteral("F-1"));
        return std::make_unique<DetailedOnspectionListView>(*forms, onSitePhotos(),
                                                            QStringLiteral("K-1"));
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

    // `view`'s page over the harness, its read held; left the `way` given,
    // as its owner closes it: the read stops, and nothing changes.
    template <typename View>
    void leaveDuringARead(View *view, ChildScreen<View> &owner, const Screen &screen,
                          const QString &way,
                          const std::function<void(QmlPageFixture &)> &meanwhile = {})
    {
        QmlPageFixture fixture;
        QObject *harness = show(fixture, screen, view);
        QVERIFY2(harness, qPrintable(fixture.warningText()));
        // A screen that closes itself asks its owner, who lowers the flag.
        const auto lower = [harness] { harness->setProperty("open", false); };
        if constexpr (std::is_base_of_v<FormShell, View>)
            connect(view, &FormShell::closeRequested, harness, lower);
        else if constexpr (requires { &View::finished; })
            connect(view, &View::finished, harness, lower);
        QTRY_VERIFY_WITH_TIMEOUT(service->requestCount(screen.operation) == 1, 20000);
        QTRY_VERIFY(!find(fixture, "stack")->property("busy").toBool());
        if (meanwhile)
            meanwhile(fixture);
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
    }

    // Answers wait until let go (one per operation), each dated 2020.
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
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    void everyListShowsItsWait_data() { addRows(QStringLiteral("inspection/waits.json")); }
    void everyListShowsItsWait()
    {
        QFETCH(QJsonObject, row);
        const QString list = row["list"].toString();
        const QString shows = row["shows"].toString();
        const Screen screen = listScreen(list);
        service->answerAlways(screen.operation, answerText(row["answer"]));
        const std::unique_ptr<QObject> view = makeList(list);
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
    }

    void leavingDuringAReadChangesNothingLater_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("way");
        for (const char *way : {"返回", "Escape"}) {
            for (const char *screen :
                 {"今日检查", "检查记录", "检查详情", "现场检查表", "隐患登记"})
                QTest::addRow("%s by %s", screen, way)
                    << QString::fromUtf8(screen) << QString::fromUtf8(way);
        }
    }
    void leavingDuringAReadChangesNothingLater()
    {
        QFETCH(QString, screen);
        QFETCH(QString, way);
        // Each late answer would change what the screen shows.
        const std::string failure = R"({"code":0,"msg":"服务维护中"})";
        const std::string lists = answerIn(QStringLiteral("inspection/tasklists.json"), "today");
        // The screen opened by its owner, as the app opens it, then left.
        const auto leave = [&](auto make, QLatin1String operation, const std::string &answer) {
            service->answerAlways(operation, answer);
            ChildScreen<std::remove_pointer_t<decltype(make())>> owner;
            leaveDuringARead(owner.open(make), owner, listScreen(screen), way);
        };
        const QStringList photos = onSitePhotos();
        if (screen == u"今日检查")
            leave([&] { return new InspectionListView(*client, config, *user, *cameras, *beeper); },
                  json::todayByDept, lists);
        else if (screen == u"检查记录")
            leave(
                [&] {
                    return new InspectionItemDetailView(*client, config.notesServer, *user, "K-1");
                },
                json::todayDeptCheck, failure);
        else if (screen == u"检查详情")
            leave(
                [&] { return new DetailedInspectionListView(*client, config.notesServer, "F-1"); },
                json::todayCheckNo, failure);
        else if (screen == u"现场检查表")
            leave([&] { return new DetailedOnspectionListView(*forms, photos, "K-1"); },
                  json::receiveSheet,
                  answerIn(QStringLiteral("inspection/sheet.json"), "two items"));
        else {
            service->answerAlways(json::standardPlace, failure);
            ChildScreen<SHazardDescriptorView> owner;
            SHazardDescriptorView *form =
                owner.open([&] { return new SHazardDescriptorView(*forms); });
            // The place row waits for its list in the row alone.
            leaveDuringARead(
                form, owner,
                {pageUrl("Hazard", "SHazardDescriptorPage"), false, json::standardPlace}, way,
                [form](QmlPageFixture &fixture) {
                    form->tapRow(int(SHazardDescriptorView::Row::Place));
                    QVERIFY(QmlPageFixture::findItem(fixture.window().contentItem(), "正在加载…"));
                });
        }
    }

    // Escape is the back key on both forms: it leaves a form with nothing
    // entered, asks first about what was entered, and does nothing while
    // the form is filed.
    void escapeOnTheForms_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("stage");
        for (const char *form : {"隐患登记", "现场检查表"})
            for (const char *stage : {"empty", "entered", "filing"})
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
        if (form == u"隐患登记") {
            view = std::make_unique<SHazardDescriptorView>(*forms);
            screen = {pageUrl("Hazard", "SHazardDescriptorPage"), false, json::standardPlace};
        } else {
            view = std::make_unique<DetailedOnspectionListView>(*forms, onSitePhotos(), "K-1");
            screen = listScreen(form);
        }
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

        if (stage != u"empty") {
            if (hazard) {
                hazard->photos()->selectedImages()->append(storedPhoto(*store, photo(41)));
                describe(*hazard, QStringLiteral("护罩脱落"));
            } else {
                for (int row = 0; row < sheet->checkitems()->count(); ++row)
                    sheet->checkitems()->at(row)->qualify();
            }
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
        if (stage == u"empty") {
            QTRY_VERIFY(!harness->property("open").toBool());
            QVERIFY(!view->discardGuard()->asking());
        } else if (stage == u"entered") {
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
};

QTEST_MAIN(TestWaits)
#include "tst_waits.moc"
