#include "inspection/InspectionListView.h"
#include "platform/Beeper.h"
#include "platform/Camera.h"
#include "support/QmlPageFixture.h"
#include "support/ServiceFixture.h"
#include "support/TestData.h"

#include <QAccessible>
#include <QQuickStyle>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleInspectionPlugin)

using namespace orvelle;
using namespace orvelle::test;
namespace json = orvelle::endpoints::json;

namespace {
QQuickItem *find(QQuickWindow &window, const QString &name)
{
    return QmlPageFixture::findItem(window.contentItem(), name);
}
std::string answer(const char *name)
{
    return answerIn(QStringLiteral("inspection/tasklists.json"), QLatin1String(name));
}
} // namespace

// The review pages driven through their controls. The end-to-end road covers
// the on-site sheet and a review whose photos load; this is the way out of
// the scanner, the review of photos that cannot be fetched, and the preview.
class TestInspectionPages : public QObject, ServiceFixture
{
    Q_OBJECT

    std::unique_ptr<CameraProvider> noCamera = CameraProvider::none();
    std::unique_ptr<Beeper> beeper = Beeper::silent();

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QVERIFY(start());
    }

    void reviewOfASubmittedSheet()
    {
        service->answer(json::todayByDept, answer("today"));
        service->answer(json::todayDeptCheck, answer("records of a point"));
        // One photo's address refuses connections, the other is no web
        // address: both cells show the symbol.
        service->answer(json::todayCheckNo, answer("photos that cannot be fetched"));
        InspectionListView view(*client, config, *user, *noCamera, *beeper);
        QmlPageFixture fixture;
        QObject *harness = fixture.load(QUrl::fromLocalFile(HARNESS_DIR "/TodayHarness.qml"),
                                        {{"view", QVariant::fromValue(&view)}});
        QVERIFY2(harness, qPrintable(fixture.warningText()));
        QQuickWindow &window = fixture.window();
        QQuickItem *stack = find(window, "stack");
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "一号破碎机"), 20000);

        // The scanner has the frame's title and "返回"; going back changes nothing.
        QVERIFY(QmlPageFixture::tap(find(window, "扫描二维码")));
        QTRY_VERIFY(find(window, "QRCodeScannerView"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(window, "返回")));
        QTRY_VERIFY(!find(window, "QRCodeScannerView"));
        QVERIFY(!view.isScannerPresented());
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(window, "一号破碎机")));
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "日检表"), 20000);
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(window, "日检表")));
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "护栏松动"), 20000);
        // A screen reader hears which item each mark judges, and which is chosen.
        for (const auto &[name, chosen] : {std::pair{"合格", false}, {"不合格", true}}) {
            QAccessibleInterface *mark = QAccessible::queryAccessibleInterface(find(window, name));
            QVERIFY(mark && mark->text(QAccessible::Description).contains(u"护栏"));
            QCOMPARE(mark->state().checked, chosen);
        }
        QTRY_VERIFY(!stack->property("busy").toBool());
        QQuickItem *cell = find(window, "照片 1");
        QVERIFY(cell);
        for (const char *name : {"照片 1", "照片 2"})
            QTRY_VERIFY(QmlPageFixture::findItem(find(window, name), "photoFailed"));
        // The progress toast takes every tap until it has gone.
        QTRY_VERIFY(!find(window, "Loading..."));
        QVERIFY(QmlPageFixture::tap(cell));
        QTRY_VERIFY(find(window, "关闭"));
        QVERIFY(QmlPageFixture::tap(find(window, "关闭")));
        QTRY_VERIFY(!find(window, "关闭"));

        // Its own "返回" goes back to the record list, which loads again.
        QVERIFY(QmlPageFixture::tap(find(window, "返回")));
        QTRY_VERIFY_WITH_TIMEOUT(!find(window, "DetailedInspectionListView"), 20000);
        QVERIFY(find(window, "InspectionItemDetailView"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        // Only the photo that could not be fetched is reported, by Qt itself.
        for (const QString &warning : fixture.warnings())
            QVERIFY2(warning.contains(QLatin1String("QQuickImage: Connection refused")),
                     qPrintable(warning));
    }

    void cleanup()
    {
        // Popped pages and closed views go after the current event.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestInspectionPages)
#include "tst_inspection_pages.moc"
