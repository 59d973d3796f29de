#include "QuickItems.h"
#include "hazard/SHazardDescriptorView.h"
#include "outbox/OutboxEntries.h"
#include "platform/Camera.h"
#include "support/FormFixture.h"
#include "support/FullDisk.h"
#include "support/QmlPageFixture.h"
#include "support/ScreenAlert.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QPainter>
#include <QQuickStyle>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <malloc.h>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvellePhotosPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleHazardPlugin)

// From the sanitizer's allocator interface, whose header GCC does not ship.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();

using namespace orvelle;
using namespace orvelle::test;

namespace {
// What the process's own allocations hold now, whatever the system lent it.
std::size_t liveHeapBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks + mallinfo2().hblkhd;
#endif
}
} // namespace
namespace json = endpoints::json;

// The hazard page's own part: its text editor and the form's editing state
// follow each other, and a guest's report goes from its button straight to
// the service. tst_e2e_road files a member's report through this page.
class TestHazardPage : public QObject, FormFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        FullDisk::install();
        QVERIFY(start());
    }

    void editorFocusFollowsTheFormAndAGuestFiles()
    {
        // Enough places for the picker to offer its filter.
        service->answer(json::standardPlace,
                        answerIn(QStringLiteral("hazard/form.json"), "forty places"));
        service->answer(json::createDanger, R"({"code":1,"msg":"隐患登记成功"})");
        session->enterGuest();
        SHazardDescriptorView view(*forms);
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Hazard/qml/SHazardDescriptorPage.qml"),
                                     {{"view", QVariant::fromValue(&view)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QTRY_COMPARE_WITH_TIMEOUT(view.place().size(), 40, 20000);

        QQuickItem *editor = QmlPageFixture::findItem(page, "descriptionText");
        QVERIFY(QmlPageFixture::settled(editor));
        QTRY_VERIFY((QmlPageFixture::tap(editor), editor->hasActiveFocus()));
        QCOMPARE(view.focusedField(), QStringLiteral("descriptionText"));
        // Chinese arrives from the input method as committed text.
        QInputMethodEvent typing;
        typing.setCommitString(QStringLiteral("护罩脱落"));
        QGuiApplication::sendEvent(fixture.window().focusObject(), &typing);
        QCOMPARE(view.descriptionText(), QStringLiteral("护罩脱落"));

        // A row's picker ends editing: the keyboard must not cover the sheet.
        view.tapRow(int(SHazardDescriptorView::Row::Source));
        QVERIFY(view.showsPicker(SHazardDescriptorView::Row::Source));
        QTRY_VERIFY(!editor->hasActiveFocus());
        view.picker()->done();

        // Each opening of the place picker starts with an empty filter; "完成"
        // takes the first match.
        for (const QString &typed : {QStringLiteral("1"), QString()}) {
            view.tapRow(int(SHazardDescriptorView::Row::Place));
            QQuickItem *filter = QmlPageFixture::findItem(page, "pickerFilter");
            QVERIFY(filter);
            QCOMPARE(filter->property("text").toString(), QString());
            filter->setProperty("text", typed);
            QCOMPARE(view.picker()->shownChoices().size(), typed.isEmpty() ? 40 : 13);
            view.picker()->done();
        }
        QCOMPARE(view.selectedPlace(), QStringLiteral("1号皮带廊"));

        // A guest's report is filed at once, with "游客", and never queued.
        view.photos()->selectedImages()->append(storedPhoto(*store, photo(41)));
        for (const auto row :
             {SHazardDescriptorView::Row::Source, SHazardDescriptorView::Row::Weather}) {
            view.tapRow(int(row));
            view.picker()->turn(1);
            view.picker()->done();
        }
        // Once the last picker's sheet has gone, as a finger would wait.
        QQuickItem *file = QmlPageFixture::findItem(page, "新增");
        QVERIFY(QTest::qWaitFor([&] { return quickitems::tappable(file); }));
        QVERIFY(QmlPageFixture::tap(file));
        QTRY_VERIFY_WITH_TIMEOUT(QmlPageFixture::findItem(page, "隐患登记成功"), 20000);
        const QJsonObject body = service->lastBody(json::createDanger);
        QCOMPARE(body["mobile"], "游客");
        QCOMPARE(body["yhfrom"], "班组隐患排查");
        QCOMPARE(outbox->waitingCount(), 0);
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // A member's report over a slow link, tried first on a full phone (the
    // form stays as typed, saying why) and then with room: the overlay
    // counts the photos and their bytes up to the whole, moving as they go
    // and never further ahead of what the file store has read than a tenth,
    // then names the record, and offers "转入待上传" only while photos go. Set
    // aside at 70 % of the bytes, the entry keeps all photos but the two on
    // their way at most, nothing more of a stopped one is sent, and its later
    // delivery sends the rest: the file store holds each photo once.
    void progressAndSettingAside()
    {
        QVERIFY(signIn());
        service->answerAlways(json::standardPlace,
                              answerIn(QStringLiteral("hazard/form.json"), "forty places"));
        service->answerAlways(json::createDanger, R"({"code":1,"msg":"隐患登记成功"})");
        constexpr int count = 5;
        for (const bool settingAside : {false, true}) {
            server.setLink({4'000'000, std::chrono::milliseconds(50)});
            SHazardDescriptorView view(*forms);
            QmlPageFixture fixture;
            QVERIFY(fixture.load(QUrl("qrc:/Orvelle/Hazard/qml/SHazardDescriptorPage.qml"),
                                 {{"view", QVariant::fromValue(&view)}}));
            QTRY_VERIFY_WITH_TIMEOUT(!view.place().isEmpty(), 20000);
            qint64 whole = 0;
            QList<int> widths;
            for (int i = 0; i < count; ++i) {
                widths << (settingAside ? 720 : 700) + i;
                const StoredPhoto stored = storedPhoto(*store, noisyPhoto(widths.last()));
                whole += QFileInfo(stored.file).size();
                view.photos()->selectedImages()->append(stored);
            }
            describe(view, QStringLiteral("护罩脱落"));
            if (!settingAside) {
                // On a full phone the report cannot be kept, so nothing goes: the
                // page says so instead of blaming the upload, and keeps it all.
                const QString noSpace =
                    QStringLiteral("存储空间不足，无法保存，请清理手机存储后重试");
                const auto place = view.selectedPlace();
                const qint64 readBefore = qint64(server.bodyBytesRead());
                {
                    FullDisk noRoom(storeDir->path());
                    view.submit();
                    QTRY_VERIFY(QmlPageFixture::findItem(&fixture.window(), noSpace));
                }
                QVERIFY(acknowledged(view, noSpace));
                QVERIFY(view.descriptionText() == QStringLiteral("护罩脱落")
                        && view.selectedPlace() == place
                        && view.photos()->selectedImages()->count() == count);
                QCOMPARE(qint64(server.bodyBytesRead()), readBefore);
            }
            FilingProgress *progress = view.filing()->progress();
            const qint64 readBefore = qint64(server.bodyBytesRead());
            QStringList steps;
            QList<qint64> bytes;
            qint64 worstAhead = 0;
            bool offeredWithRecord = false;
            connect(progress, &FilingProgress::changed, &view, [&] {
                if (steps.isEmpty() || steps.last() != progress->step())
                    steps << progress->step();
                bytes << progress->bytesSent();
                const qint64 read = qint64(server.bodyBytesRead()) - readBefore;
                if (progress->stage() == FilingProgress::Stage::Photos)
                    worstAhead = std::max(worstAhead, progress->bytesSent() - read);
                if (progress->stage() == FilingProgress::Stage::Record) {
                    scheduler->advance(FormFiling::offerAfter);
                    offeredWithRecord = offeredWithRecord || view.filing()->canMoveToOutbox();
                }
            });
            view.submit();
            if (!settingAside) {
                QVERIFY(acknowledged(view, QStringLiteral("隐患登记成功")));
                QCOMPARE(steps, QStringList({"上传照片 0/5", "上传照片 1/5", "上传照片 2/5",
                                             "上传照片 3/5", "上传照片 4/5", "上传照片 5/5",
                                             "提交隐患", ""}));
                QVERIFY(std::is_sorted(bytes.begin(), bytes.end()));
                QCOMPARE(bytes.last(), whole);
                QVERIFY2(worstAhead <= whole / 10, qPrintable(QString::number(worstAhead)));
                const auto figures = QSet<qint64>(bytes.begin(), bytes.end());
                QVERIFY2(figures.size() > 2 * count, qPrintable(QString::number(figures.size())));
                QVERIFY(!offeredWithRecord);
                continue;
            }
            QTRY_VERIFY_WITH_TIMEOUT(qint64(server.bodyBytesRead()) - readBefore >= whole * 7 / 10,
                                     30000);
            QVERIFY(!QmlPageFixture::findItem(&fixture.window(), "转入待上传"));
            scheduler->advance(FormFiling::offerAfter);
            QTRY_VERIFY(QmlPageFixture::findItem(&fixture.window(), "转入待上传"));
            OutboxEntries rows(*outbox);
            QVERIFY(rows.index(0)
                        .data(OutboxEntries::StateRole)
                        .toString()
                        .startsWith(QStringLiteral("正在上传：上传照片 ")));
            server.markTime();
            QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(&fixture.window(), "转入待上传")));
            QVERIFY(alertShown(view) && view.navigateToContentView());
            const OutboxEntry entry = store->outbox(zhangwei).constFirst();
            QCOMPARE(entry.state, OutboxState::Waiting);
            QVERIFY2(entry.uploaded.size() >= count - 2,
                     qPrintable(QString::number(entry.uploaded.size())));
            // A reset upload is recorded once the server has drained what it held.
            QTRY_COMPARE(int(server.requests().size()), server.startedCount());
            std::size_t sentAfterStop = 0;
            for (const RecordedRequest &request : server.requests())
                sentAfterStop += request.complete ? 0 : request.bytesAfterMark;
            QVERIFY2(sentAfterStop <= 128 * 1024, qPrintable(QString::number(sentAfterStop)));

            server.setLink({});
            scheduler->advance(Outbox::firstRetry);
            QTRY_COMPARE_WITH_TIMEOUT(outbox->waitingCount(), 0, 20000);
            QList<int> storedWidths;
            for (const RecordedRequest &request : service->requestsTo(NotesService::uploadPath()))
                if (request.complete && widths.contains(NotesService::widthOf(request)))
                    storedWidths << NotesService::widthOf(request);
            std::sort(storedWidths.begin(), storedWidths.end());
            QCOMPARE(storedWidths, widths);
            QCOMPARE(service->lastBody(json::createDanger)
                         .value("image")
                         .toString()
                         .split("----")
                         .size(),
                     count);
            QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
        }
    }

    // Eight camera-sized photos through the album, then the same photos from
    // the draft: the form holds thumbnails, not one full picture (48 MB each).
    void cameraSizedPhotosHoldNoFullPicture()
    {
        QTemporaryDir album;
        QList<QUrl> files;
        for (int i = 0; i < ImagePicker::maximumPhotos; ++i) {
            QImage picture(4000, 3000, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 40, 160, 200));
            QPainter(&picture).drawText(picture.rect(), Qt::AlignCenter, QString::number(i));
            files << QUrl::fromLocalFile(album.filePath(QStringLiteral("%1.jpg").arg(i)));
            QVERIFY(picture.save(files.constLast().toLocalFile(), "JPEG", 90));
        }
        service->answerAlways(json::standardPlace,
                              answerIn(QStringLiteral("hazard/form.json"), "forty places"));
        session->enterGuest();
        for (const bool restoring : {false, true}) {
            SHazardDescriptorView view(*forms);
            QmlPageFixture fixture;
            QObject *page = fixture.load(QUrl("qrc:/Orvelle/Hazard/qml/SHazardDescriptorPage.qml"),
                                         {{"view", QVariant::fromValue(&view)}});
            QVERIFY2(page, qPrintable(fixture.warningText()));
            // The draft's question covers the page until it is answered.
            QQuickItem *start = restoring ? QmlPageFixture::findItem(&fixture.window(), "继续填写")
                                          : QmlPageFixture::findItem(page, "添加图片");
            QVERIFY(QTest::qWaitFor([&] { return quickitems::tappable(start); }, 20000));
            const std::size_t before = liveHeapBytes();
            QVERIFY(QmlPageFixture::tap(start));
            if (!restoring) {
                QTRY_VERIFY(QmlPageFixture::findItem(page, "相册"));
                // What the album dialog answers; Qt 6.4's own dialog cannot open offscreen.
                view.photos()->setShowImageSourceActionSheet(false);
                view.photos()->imagePicker()->pick(files);
            }
            // Every tile shows...
            const auto tiles = [page] { return quickitems::findAll(page, "thumbnail"); };
            QTRY_VERIFY_WITH_TIMEOUT(
                tiles().size() == files.size()
                    && std::ranges::all_of(
                        tiles(),
                        [](QQuickItem *tile) { return tile->property("status").toInt() == 1; }),
                60000);
            QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
            // ...and all eight hold less than half of one full picture.
            const auto growth = qint64(liveHeapBytes()) - qint64(before);
            QVERIFY2(growth < 4000 * 3000 * 4 / 2, qPrintable(QString::number(growth >> 20)));
            view.draft()->save();
        }
    }
};

QTEST_MAIN(TestHazardPage)
#include "tst_hazard_page.moc"
