#include "Camera.h"
#include "CameraPicker.h"
#include "ImageFiles.h"
#include "ImagePicker.h"
#include "Jpeg.h"
#include "PhotoAlbum.h"
#include "PhotoAttachments.h"
#include "PhotoImageProvider.h"
#include "PhotoIntake.h"
#include "PhotoListModel.h"
#include "QuickItems.h"
#include "store/DeviceStore.h"
#include "support/QmlPageFixture.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QQuickStyle>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTransform>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <atomic>
#include <memory>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvellePhotosPlugin)

using namespace orvelle;
using namespace orvelle::test;

namespace {
// The device end of a camera whose pictures count themselves: each lives in
// a buffer of its own that says when the last image sharing it is gone.
struct CountingCameras : CameraProvider
{
    static inline std::atomic<int> alive = 0;
    int mostAlive = 0; // on the GUI thread, where pictures are made
    int asked = 0;

    struct Device : Camera
    {
        explicit Device(CountingCameras &cameras)
            : cameras(cameras)
        {}
        void setVideoSink(QObject *) override {}
        void start() override {}
        void stop() override {}
        void capture() override
        {
            ++cameras.asked;
            QTimer::singleShot(0, this, [this] { emit captured(cameras.picture()); });
        }
        CountingCameras &cameras;
    };
    bool hasCamera() const override { return true; }
    std::unique_ptr<Camera> open() override { return std::make_unique<Device>(*this); }

    QImage picture()
    {
        auto *pixels = new uchar[640 * 480 * 4];
        mostAlive = std::max(mostAlive, ++alive);
        const auto release = [](void *buffer) {
            delete[] static_cast<uchar *>(buffer);
            --alive;
        };
        QImage image(pixels, 640, 480, 640 * 4, QImage::Format_RGB32, release, pixels);
        image.fill(Qt::magenta);
        return image;
    }
};
} // namespace

// The photo pieces: the album and camera pickers, the list, its thumbnails and
// the pages that show them, loaded offscreen.
class TestPhotos : public QObject
{
    Q_OBJECT

    QTemporaryDir files;
    DeviceStore store;

    QUrl file(const QString &name, const QByteArray &content)
    {
        QFile out(files.filePath(name));
        return out.open(QIODevice::WriteOnly) && out.write(content) == content.size()
                   ? QUrl::fromLocalFile(out.fileName())
                   : QUrl();
    }
    static QImage solid(const QSize &size, const QColor &colour)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }
    QUrl imageFile(const QString &name, const QSize &size, Qt::GlobalColor colour)
    {
        return solid(size, colour).save(files.filePath(name))
                   ? QUrl::fromLocalFile(files.filePath(name))
                   : QUrl();
    }
    static void fill(PhotoListModel &model, int count)
    {
        for (int i = 0; i < count; ++i)
            model.append({{}, {}, solid({4, 4}, Qt::black)});
    }
    // Through the album, one at a time so the list keeps this order.
    void pick(PhotoAttachments &attachments, const QList<QUrl> &files)
    {
        for (const QUrl &file : files) {
            QSignalSpy loaded(attachments.imagePicker(), &ImagePicker::loadsFinished);
            attachments.imagePicker()->pick({file});
            QVERIFY(loaded.wait());
        }
    }
    static bool near(const QColor &shown, Qt::GlobalColor expected)
    {
        const QColor colour(expected);
        return std::abs(shown.red() - colour.red()) < 25
               && std::abs(shown.green() - colour.green()) < 25
               && std::abs(shown.blue() - colour.blue()) < 25;
    }

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QVERIFY(files.isValid());
        QVERIFY2(store.open(files.filePath("store")), qPrintable(store.errorString()));
    }

    // The list holds stored files and thumbnails, never a full picture.
    // Tiles are drawn from the thumbnails; the preview reads the stored file
    // at screen size. A removed photo is no longer served.
    void photoGridShowsRemovesAndPreviews()
    {
        auto none = CameraProvider::none();
        PhotoAttachments attachments(*none, store, 4);
        PhotoListModel &photos = *attachments.selectedImages();
        pick(attachments, {imageFile("red.png", {2400, 1800}, Qt::red),
                           imageFile("green.png", {2400, 1800}, Qt::green),
                           imageFile("blue.png", {2400, 1800}, Qt::blue)});
        QCOMPARE(photos.count(), 3);
        for (const Photo &photo : photos.photos()) {
            QCOMPARE(photo.stored.thumbnail.size(), QSize(PhotoIntake::thumbnailLongSide, 240));
            QCOMPARE(QImageReader(photo.stored.file).size(), QSize(2400, 1800));
        }
        QmlPageFixture fixture;
        QObject *grid = fixture.load(QUrl("qrc:/Orvelle/Photos/qml/PhotoGrid.qml"),
                                     {{"attachments", QVariant::fromValue(&attachments)}});
        QVERIFY2(grid, qPrintable(fixture.warningText()));

        const auto thumbnails = [grid] {
            QList<QQuickItem *> found = quickitems::findAll(grid, "thumbnail");
            // In reading order, as the user sees them.
            std::sort(found.begin(), found.end(), [](QQuickItem *a, QQuickItem *b) {
                const QPointF pa = a->mapToScene({}), pb = b->mapToScene({});
                return std::pair(pa.y(), pa.x()) < std::pair(pb.y(), pb.x());
            });
            return found;
        };
        QTRY_COMPARE(thumbnails().size(), 3);
        for (QQuickItem *thumbnail : thumbnails()) {
            QTRY_COMPARE(thumbnail->property("status").toInt(), 1); // Image.Ready
            QVERIFY(thumbnail->property("implicitWidth").toInt() <= 100);
            QCOMPARE(thumbnail->property("implicitHeight").toInt(), 70);
        }
        photos.append({{}, {}, solid({100, 100}, Qt::yellow)});
        QTRY_VERIFY(!QmlPageFixture::findItem(grid, "添加图片"));
        // Laid out after the current event: then it is the last in reading order.
        QTRY_VERIFY(thumbnails().size() == 4
                    && thumbnails().at(3)->property("source").toString().endsWith("/4"));

        auto *provider = static_cast<PhotoImageProvider *>(
            fixture.engine().imageProvider(QStringLiteral("photos")));
        QVERIFY(provider);
        const QString firstId = thumbnails().at(0)->property("source").toUrl().path().mid(1);
        QVERIFY(!provider->requestImage(firstId, nullptr, {}).isNull());
        QQuickItem *firstTile = thumbnails().at(0)->parentItem()->parentItem();
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(firstTile, "删除图片")));
        QCOMPARE(photos.count(), 3);
        QVERIFY(near(photos.photos().at(0).stored.thumbnail.pixelColor(0, 0), Qt::green));
        QCOMPARE(photos.photos().at(2).stored.thumbnail.pixelColor(0, 0), QColor(Qt::yellow));
        QVERIFY(QmlPageFixture::findItem(grid, "添加图片"));
        QVERIFY(provider->requestImage(firstId, nullptr, {}).isNull());

        // The enlarged photo is the tapped one, stretched over the window.
        QVERIFY(QmlPageFixture::tap(
            QmlPageFixture::findItem(thumbnails().at(0)->parentItem(), "查看图片")));
        QQuickItem *large = nullptr;
        QTRY_VERIFY((large = QmlPageFixture::findItem(grid, "previewImage")));
        QCOMPARE(attachments.selectedImageForPreview(), photos.photos().at(0).id);
        QTRY_COMPARE(large->property("status").toInt(), 1);
        // Decoded at the window's size, as it is stretched over it; not at one covering it.
        const QSize windowSize = large->property("sourceSize").toSize();
        QVERIFY(windowSize.width() > PhotoIntake::thumbnailLongSide);
        QCOMPARE(QSize(large->property("implicitWidth").toInt(),
                       large->property("implicitHeight").toInt()),
                 windowSize);
        // The sheet's fade may still tint it by a shade.
        const auto shown = [&fixture] {
            return fixture.window().grabWindow().pixelColor(200, 600);
        };
        QTRY_VERIFY(shown().green() > 230 && shown().red() < 25 && shown().blue() < 25);
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(grid, "关闭")));
        QTRY_VERIFY(!attachments.showImagePreview());
        // A second preview opens again: nothing was cut by the close.
        attachments.previewPhoto(photos.photos().at(1).id);
        QTRY_VERIFY(large->isVisible());
        attachments.closePreview();
        QTRY_VERIFY(!large->isVisible());
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    void imagePickerNeverGrowsTheListPastEight()
    {
        QList<QUrl> five;
        for (int i = 0; i < 5; ++i)
            five << imageFile(QStringLiteral("p%1.png").arg(i), {8, 8}, Qt::red);

        // 6 held: only 2 of the 5 are taken, also when the host fills the
        // list while the loads run: checked at append time.
        for (const bool hostFillsMeanwhile : {false, true}) {
            PhotoListModel photos;
            fill(photos, 6);
            PhotoIntake intake(store);
            ImagePicker picker(photos, intake);
            QCOMPARE(picker.selectionLimit(), 2);
            QSignalSpy done(&picker, &ImagePicker::loadsFinished);
            picker.pick(five);
            if (hostFillsMeanwhile)
                fill(photos, 2);
            QVERIFY(done.wait());
            QCOMPARE(photos.count(), 8);
            QCOMPARE(picker.selectionLimit(), 0);
        }
    }

    // Files that are no image are named, all in one message once the loads
    // end; EXIF's "rotate 90°" makes 40x20 upright; a large one is stored
    // whole but listed as a thumbnail.
    void imagePickerNamesWhatIsNoImage()
    {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QImageWriter writer(&buffer, "jpeg");
        writer.setTransformation(QImageIOHandler::TransformationRotate90);
        QVERIFY(writer.write(solid({40, 20}, Qt::green)));
        // Noise on the left, white on the right: the thumbnail keeps both.
        QImage big = noiseImage(3000, 2000);
        QPainter(&big).fillRect(1500, 0, 1500, 2000, Qt::white);
        QVERIFY(big.save(files.filePath("big.png")));

        PhotoListModel photos;
        PhotoIntake intake(store);
        ImagePicker picker(photos, intake);
        QSignalSpy done(&picker, &ImagePicker::loadsFinished);
        QSignalSpy problems(&picker, &ImagePicker::problem);
        picker.pick({QUrl::fromLocalFile(files.filePath("big.png")),
                     file("corrupt.jpg", "\xff\xd8\xff\xe0 not really a jpeg"),
                     file("notes.txt", "plain text"), file("turned.jpg", jpeg),
                     QUrl::fromLocalFile(files.filePath("gone.png")),
                     QUrl(QStringLiteral("https://example.cn/a.png")),
                     imageFile("small.png", {10, 20}, Qt::blue)});
        QCOMPARE(picker.pendingLoads(), 6);
        QVERIFY(done.wait(30000));
        QCOMPARE(photos.count(), 3);
        QCOMPARE(problems.size(), 1);
        const QString message = problems.at(0).at(0).toString();
        QVERIFY2(message.startsWith("无法读取图片：") && message.count(u'、') == 3,
                 qPrintable(message));
        for (const char *name : {"corrupt.jpg", "notes.txt", "gone.png", "a.png"})
            QVERIFY2(message.contains(name), qPrintable(message));
        // Thumbnail and stored file, in the order of their widths.
        QList<std::pair<QSize, QSize>> sizes;
        for (const Photo &photo : photos.photos()) {
            const QImage &thumbnail = photo.stored.thumbnail;
            sizes.append({thumbnail.size(), QImageReader(photo.stored.file).size()});
            if (thumbnail.width() == 320)
                QVERIFY(thumbnail.pixel(319, 212) == qRgb(255, 255, 255)
                        && thumbnail.pixel(0, 0) != qRgb(255, 255, 255));
        }
        std::sort(sizes.begin(), sizes.end(),
                  [](const auto &a, const auto &b) { return a.first.width() < b.first.width(); });
        QCOMPARE(sizes,
                 (QList<std::pair<QSize, QSize>>{
                     {{10, 20}, {10, 20}}, {{20, 40}, {20, 40}}, {{320, 213}, {3000, 2000}}}));

        // A form that closes while a photo is being stored hears nothing back,
        // as long as the same photo takes for another form.
        bool answered = false;
        auto closed = std::make_unique<PhotoIntake>(store);
        closed->keepFile(files.filePath("big.png"), [&](const auto &, bool) { answered = true; });
        closed.reset();
        intake.keepFile(files.filePath("big.png"), [](const auto &, bool) {});
        QTRY_COMPARE_WITH_TIMEOUT(intake.pending(), 0, 30000);
        QVERIFY(!answered);
    }

    // A picture past Qt's allocation limit, and one to be turned upright, are
    // kept at an eighth-step of their size within the largest kept picture.
    void largePicturesAreKeptScaled_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("sideways");
        QTest::addColumn<QSize>("kept");
        QTest::newRow("48 MP") << QSize(8000, 6000) << false << QSize(4000, 3000);
        QTest::newRow("14 MP taken sideways") << QSize(4800, 3000) << true << QSize(2625, 4200);
    }
    void largePicturesAreKeptScaled()
    {
        QFETCH(QSize, size);
        QFETCH(bool, sideways);
        QFETCH(QSize, kept);
        const QString path = files.filePath(QStringLiteral("large.jpg"));
        {
            // A red band along the top as taken: upright, along the right.
            QImage picture = solid(size, Qt::darkGreen);
            QPainter(&picture).fillRect(0, 0, size.width(), size.height() / 8, Qt::red);
            QImageWriter writer(path, "jpeg");
            writer.setTransformation(sideways ? QImageIOHandler::TransformationRotate90
                                              : QImageIOHandler::TransformationNone);
            QVERIFY(writer.write(picture));
        }
        PhotoListModel photos;
        PhotoIntake intake(store);
        ImagePicker picker(photos, intake);
        QSignalSpy done(&picker, &ImagePicker::loadsFinished);
        QSignalSpy problems(&picker, &ImagePicker::problem);
        picker.pick({QUrl::fromLocalFile(path)});
        QVERIFY(done.wait(60000));
        QCOMPARE(problems.size(), 0);
        QCOMPARE(photos.count(), 1);
        const StoredPhoto &photo = photos.photos().constFirst().stored;
        QCOMPARE(QImageReader(photo.file).size(), kept);
        const QImage &tile = photo.thumbnail;
        QCOMPARE(tile.size(), kept.scaled(PhotoIntake::thumbnailLongSide,
                                          PhotoIntake::thumbnailLongSide, Qt::KeepAspectRatio));
        const QPoint band =
            sideways ? QPoint(tile.width() - 1, tile.height() / 2) : QPoint(tile.width() / 2, 0);
        QVERIFY(near(tile.pixelColor(band), Qt::red));
        QVERIFY(near(tile.pixelColor(tile.width() - 1 - band.x(), tile.height() - 1 - band.y()),
                     Qt::darkGreen));
    }

    // The camera's road holds one full picture: the preview shows a copy at
    // the page's size, and the camera is asked for the next picture only once
    // the last is let go of, however fast photos are taken and retaken.
    void cameraHoldsOnePictureAtATime()
    {
        CountingCameras cameras;
        PhotoListModel photos;
        PhotoIntake intake(store);
        QTemporaryDir album;
        for (int i = 0; i < 3; ++i) {
            CameraPicker picker(cameras, intake, photos, PhotoAlbum(album.path()));
            QVideoSink preview;
            picker.setVideoSink(&preview);
            picker.setPreviewSize({120, 120});
            for (const bool retaking : {i == 1, false}) {
                picker.shutter();
                QTRY_VERIFY(picker.hasCapture());
                QTRY_COMPARE(preview.videoSize(), QSize(120, 90));
                if (retaking)
                    picker.retake();
            }
            picker.accept();
        }
        QCOMPARE(cameras.asked, 4);
        QCOMPARE(cameras.mostAlive, 1);
        QTRY_COMPARE(photos.count(), 3);
        QCOMPARE(photos.photos().constFirst().stored.thumbnail.size(), QSize(320, 240));
        QTRY_COMPARE(QDir(album.path()).entryList({"*.jpg"}, QDir::Files).size(), 3);
        QTRY_COMPARE(cameras.alive.load(), 0);
    }

    // Without a camera a file is offered; with one, a photo is taken even
    // when the list is full.
    void cameraPickerTakesOnePhoto()
    {
        PhotoListModel photos;
        PhotoIntake intake(store);
        QTemporaryDir album;
        auto none = CameraProvider::none();
        CameraPicker offering(*none, intake, photos, PhotoAlbum(album.path()));
        QVideoSink preview;
        offering.setVideoSink(&preview);
        offering.shutter();
        QVERIFY(!offering.capturing());
        QSignalSpy chosen(&offering, &CameraPicker::finished);
        // A file that is no image keeps the picker open and says why.
        offering.chooseFile(file("notes.png", "not a picture"));
        QTRY_VERIFY(offering.failure().contains("notes.png"));
        QVERIFY(chosen.isEmpty());
        offering.chooseFile(imageFile("chosen.png", {30, 30}, Qt::cyan));
        QVERIFY(chosen.wait() && offering.failure().isEmpty());
        QCOMPARE(photos.count(), 1);
        // A file the user already has is not copied into the album again.
        QCOMPARE(QDir(album.path()).entryList(QDir::Files).size(), 0);

        fill(photos, 7);
        auto camera = CameraProvider::imageFile(
            imageFile("scene.png", {64, 48}, Qt::darkYellow).toLocalFile());
        const QString albumFolder = album.filePath("Orvelle");
        CameraPicker picker(*camera, intake, photos, PhotoAlbum(albumFolder));
        QVideoSink shown;
        picker.setVideoSink(&shown);
        QTRY_VERIFY(shown.videoFrame().isValid());
        QSignalSpy finished(&picker, &CameraPicker::finished);
        picker.shutter();
        QTRY_VERIFY(picker.hasCapture());
        picker.retake();
        QVERIFY(!picker.hasCapture());
        picker.shutter();
        QTRY_VERIFY(picker.hasCapture());
        picker.accept();
        QCOMPARE(finished.size(), 1);
        QTRY_COMPARE(photos.count(), 9);
        QCOMPARE(photos.photos().constLast().stored.thumbnail.size(), QSize(64, 48));
        // The user's own copy lands in the album folder, for the user only.
        QTRY_COMPARE(QDir(albumFolder).entryList({"*.jpg"}, QDir::Files).size(), 1);
        const QString copy = QDir(albumFolder).entryInfoList({"*.jpg"}).constFirst().filePath();
        constexpr auto rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QCOMPARE(QFile::permissions(albumFolder) & 0x7077, rw | QFileDevice::ExeOwner);
        QCOMPARE(QFile::permissions(copy) & 0x7077, rw);
    }

    // The add tile's road through the album (the end-to-end road takes the
    // camera's), and a list that holds still while its form uploads.
    void attachmentsOfferTheAlbumUnlessLocked()
    {
        auto none = CameraProvider::none();
        PhotoAttachments attachments(*none, store, ImagePicker::maximumPhotos);
        QSignalSpy editing(&attachments, &PhotoAttachments::editingPhotos);
        fill(*attachments.selectedImages(), 1);
        attachments.addPhoto();
        QVERIFY(attachments.showImageSourceActionSheet());
        attachments.chooseAlbum();
        QVERIFY(!attachments.showImageSourceActionSheet());
        QVERIFY(attachments.showImagePicker());
        QSignalSpy loaded(attachments.imagePicker(), &ImagePicker::loadsFinished);
        QmlPageFixture fixture;
        QVERIFY(fixture.load(QUrl("qrc:/Orvelle/Photos/qml/PhotoAttachmentSheets.qml"),
                             {{"attachments", QVariant::fromValue(&attachments)}}));
        // A picture this Qt cannot read is named where the user sees it.
        attachments.imagePicker()->pick(
            {imageFile("album.png", {14, 14}, Qt::blue), file("IMG_0042.heic", "ftypheic")});
        QVERIFY(loaded.wait());
        QCOMPARE(attachments.photos().count(), 2);
        QVERIFY(attachments.toastManager()->isShowing());
        QTRY_VERIFY(QmlPageFixture::findItem(&fixture.window(), "无法读取图片：IMG_0042.heic"));

        attachments.setEditable(false);
        attachments.removePhoto(0);
        attachments.addPhoto();
        attachments.chooseCamera();
        QCOMPARE(attachments.photos().count(), 2);
        QVERIFY(!attachments.showImageSourceActionSheet());
        QVERIFY(!attachments.showCameraPicker());
        attachments.setEditable(true);
        attachments.removePhoto(0);
        QVERIFY(
            near(attachments.photos().photos().at(0).stored.thumbnail.pixelColor(0, 0), Qt::blue));
        QCOMPARE(editing.size(), 2);
    }

    // Without a camera the picker offers the album, with only what this Qt reads.
    void withoutCameraThePickersOfferAFile()
    {
        auto none = CameraProvider::none();
        PhotoListModel photos;
        PhotoIntake intake(store);
        ImagePicker picker(photos, intake);
        QTemporaryDir album;
        CameraPicker camera(*none, intake, photos, PhotoAlbum(album.path()));
        QSignalSpy finished(&camera, &CameraPicker::finished);
        QmlPageFixture fixture;
        const QStringList filters = pictureNameFilters();
        const QObject *dialog = fixture.load(QUrl("qrc:/Orvelle/Photos/qml/ImagePickerDialog.qml"),
                                             {{"view", QVariant::fromValue(&picker)}});
        QVERIFY(dialog);
        QCOMPARE(dialog->property("nameFilters").toStringList(), filters);
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Photos/qml/CameraPickerPage.qml"),
                                     {{"view", QVariant::fromValue(&camera)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QVERIFY(QmlPageFixture::findItem(page, "选择图片"));
        QVERIFY(!QmlPageFixture::findItem(page, "拍照"));
        QCOMPARE(
            page->findChild<QObject *>("pictureFileDialog")->property("nameFilters").toStringList(),
            filters);
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(page, "取消")));
        QCOMPARE(finished.size(), 1);
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // Whatever layout a photo's pixels come in, its colours stay where they
    // were: a swapped channel would turn a red warning sign blue.
    void photosKeepTheirColours()
    {
        QVERIFY(orvelle::uploadJpeg(QImage()).isEmpty());
        for (const QImage::Format format :
             {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
              QImage::Format_RGB888, QImage::Format_Grayscale8, QImage::Format_RGB16}) {
            QImage photo(64, 48, format);
            photo.fill(QColor(200, 40, 30));
            const QColor expected = photo.pixelColor(0, 0);
            const QImage decoded = QImage::fromData(orvelle::uploadJpeg(photo), "JPEG");
            QCOMPARE(decoded.size(), photo.size());
            const QColor found = decoded.pixelColor(32, 24);
            QVERIFY2(qAbs(found.red() - expected.red()) + qAbs(found.green() - expected.green())
                             + qAbs(found.blue() - expected.blue())
                         < 24,
                     qPrintable(QStringLiteral("format %1: %2").arg(format).arg(found.name())));
        }
    }
};

QTEST_MAIN(TestPhotos)
#include "tst_photos.moc"
