#include "Camera.h"
#include "CameraPicker.h"
#include "ImagePicker.h"
#include "PhotoAlbum.h"
#include "PhotoAttachments.h"
#include "PhotoListModel.h"
#include "TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>
#include <algorithm>

using namespace orvelle;
using namespace orvelle::test;

class TestPickers : public QObject
{
    Q_OBJECT

    QTemporaryDir files;

    QUrl imageFile(const QString &name, const QSize &size, Qt::GlobalColor colour)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = files.filePath(name);
        image.save(path);
        return QUrl::fromLocalFile(path);
    }

    static void fill(PhotoListModel &model, int count)
    {
        for (int i = 0; i < count; ++i)
            model.append(QImage(4, 4, QImage::Format_RGB32));
    }

private slots:
    void initTestCase() { QVERIFY(files.isValid()); }

    void imagePickerNeverGrowsTheListPastEight()
    {
        QList<QUrl> five;
        for (int i = 0; i < 5; ++i)
            five << imageFile(QStringLiteral("p%1.png").arg(i), {8, 8}, Qt::red);

        // 6 held: only 2 of the 5 are taken.
        PhotoListModel photos;
        fill(photos, 6);
        ImagePicker picker(photos);
        QCOMPARE(picker.selectionLimit(), 2);
        QSignalSpy done(&picker, &ImagePicker::loadsFinished);
        picker.pick(five);
        QVERIFY(done.wait());
        QCOMPARE(photos.count(), 8);
        QCOMPARE(picker.selectionLimit(), 0);

        // Full: the limit 0 lets everything through the dialog, and the append
        // rule drops it all.
        picker.pick(five);
        QTRY_COMPARE(done.size(), 2);
        QCOMPARE(photos.count(), 8);

        // The host filled the list while the loads ran: checked at append time.
        PhotoListModel racing;
        fill(racing, 6);
        ImagePicker second(racing);
        QSignalSpy secondDone(&second, &ImagePicker::loadsFinished);
        second.pick(five);
        fill(racing, 2);
        QVERIFY(secondDone.wait());
        QCOMPARE(racing.count(), 8);
    }

    // Files that are no image are skipped; the large one takes far longer to
    // decode, so it arrives last; EXIF's "rotate 90°" makes 40x20 upright.
    void imagePickerSkipsWhatIsNoImageAndKeepsCompletionOrder()
    {
        QImage wide(40, 20, QImage::Format_RGB32);
        wide.fill(Qt::green);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QImageWriter writer(&buffer, "jpeg");
        writer.setTransformation(QImageIOHandler::TransformationRotate90);
        QVERIFY(writer.write(wide));
        QVERIFY(noiseImage(3000, 2000).save(files.filePath("big.png")));
        const auto write = [this](const char *name, const QByteArray &content) {
            QFile file(files.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size()
                       ? QUrl::fromLocalFile(file.fileName())
                       : QUrl();
        };

        PhotoListModel photos;
        ImagePicker picker(photos);
        QSignalSpy done(&picker, &ImagePicker::loadsFinished);
        picker.pick({QUrl::fromLocalFile(files.filePath("big.png")),
                     write("corrupt.jpg", "\xff\xd8\xff\xe0 not really a jpeg"),
                     write("notes.txt", "plain text"), write("turned.jpg", jpeg),
                     QUrl::fromLocalFile(files.filePath("gone.png")),
                     QUrl(QStringLiteral("https://example.cn/a.png")),
                     imageFile("small.png", {10, 20}, Qt::blue)});
        QCOMPARE(picker.pendingLoads(), 6);
        QVERIFY(done.wait(30000));
        QCOMPARE(photos.count(), 3);
        QList<QSize> sizes{photos.photos().at(0).image.size(), photos.photos().at(1).image.size()};
        std::sort(sizes.begin(), sizes.end(),
                  [](QSize a, QSize b) { return a.width() < b.width(); });
        QCOMPARE(sizes, (QList<QSize>{{10, 20}, {20, 40}}));
        QCOMPARE(photos.photos().at(2).image.size(), QSize(3000, 2000));
    }

    void cameraPickerTakesOnePhotoEvenWhenTheListIsFull()
    {
        const QUrl scene = imageFile("scene.png", {64, 48}, Qt::darkYellow);
        QTemporaryDir album;
        auto cameras = CameraProvider::imageFile(scene.toLocalFile());
        PhotoListModel photos;
        fill(photos, 8);
        CameraPicker picker(*cameras, photos, PhotoAlbum(album.path()));
        QVERIFY(picker.hasCamera());
        QVideoSink preview;
        picker.setVideoSink(&preview);
        QTRY_VERIFY(preview.videoFrame().isValid());
        QSignalSpy finished(&picker, &CameraPicker::finished);

        picker.shutter();
        QTRY_VERIFY(picker.hasCapture());
        picker.retake();
        QVERIFY(!picker.hasCapture());
        picker.shutter();
        QTRY_VERIFY(picker.hasCapture());
        picker.accept();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(photos.count(), 9);
        QCOMPARE(photos.photos().constLast().image.size(), QSize(64, 48));
        // The user's own copy lands in the album folder.
        QTRY_COMPARE(QDir(album.path()).entryList({"*.jpg"}, QDir::Files).size(), 1);

        // Cancelling closes the picker and changes nothing.
        CameraPicker again(*cameras, photos, PhotoAlbum(album.path()));
        QSignalSpy closed(&again, &CameraPicker::finished);
        again.cancel();
        QCOMPARE(closed.size(), 1);
        QCOMPARE(photos.count(), 9);
    }

    void cameraPickerWithoutCameraOffersAFile()
    {
        // This machine's real camera list: without a webcam, nothing opens.
        auto system = CameraProvider::system();
        if (!system->hasCamera()) {
            PhotoListModel photos;
            CameraPicker picker(*system, photos, PhotoAlbum(files.path()));
            QVERIFY(!picker.hasCamera());
            picker.shutter();
            QVERIFY(!picker.capturing());
        }

        auto none = CameraProvider::none();
        PhotoListModel photos;
        QTemporaryDir album;
        CameraPicker picker(*none, photos, PhotoAlbum(album.path()));
        QVERIFY(!picker.hasCamera());
        QVideoSink preview;
        picker.setVideoSink(&preview);
        picker.shutter();
        QVERIFY(!picker.capturing());
        QSignalSpy finished(&picker, &CameraPicker::finished);
        // A file that is no image keeps the picker open and says why.
        QFile text(files.filePath("notes.png"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a picture") > 0);
        text.close();
        picker.chooseFile(QUrl::fromLocalFile(text.fileName()));
        QTRY_VERIFY(!picker.failure().isEmpty());
        QVERIFY(finished.isEmpty());
        picker.chooseFile(imageFile("chosen.png", {30, 30}, Qt::cyan));
        QVERIFY(finished.wait() && picker.failure().isEmpty());
        QCOMPARE(photos.count(), 1);
        // A file the user already has is not copied into the album again.
        QCOMPARE(QDir(album.path()).entryList(QDir::Files).size(), 0);
    }

    // The add tile's road through both pickers, and a list that holds still
    // while its form uploads.
    void attachmentsOfferAlbumAndCameraUnlessLocked()
    {
        auto none = CameraProvider::none();
        PhotoAttachments attachments(*none, ImagePicker::maximumPhotos);
        QSignalSpy editing(&attachments, &PhotoAttachments::editingPhotos);
        attachments.addPhoto();
        QCOMPARE(editing.size(), 1);
        QVERIFY(attachments.showImageSourceActionSheet());
        attachments.chooseCamera();
        QVERIFY(!attachments.showImageSourceActionSheet());
        QVERIFY(attachments.cameraPicker());
        attachments.cameraPicker()->chooseFile(imageFile("cam.png", {12, 12}, Qt::red));
        QTRY_VERIFY(!attachments.showCameraPicker());
        QCOMPARE(attachments.photos().count(), 1);

        attachments.addPhoto();
        attachments.chooseAlbum();
        QVERIFY(attachments.showImagePicker());
        QSignalSpy loaded(attachments.imagePicker(), &ImagePicker::loadsFinished);
        attachments.imagePicker()->pick({imageFile("album.png", {14, 14}, Qt::blue)});
        QVERIFY(loaded.wait());
        QCOMPARE(attachments.photos().count(), 2);

        attachments.setEditable(false);
        attachments.removePhoto(0);
        attachments.addPhoto();
        attachments.chooseCamera();
        QCOMPARE(attachments.photos().count(), 2);
        QVERIFY(!attachments.showImageSourceActionSheet());
        QVERIFY(!attachments.showCameraPicker());
        attachments.setEditable(true);
        attachments.removePhoto(0);
        QCOMPARE(attachments.photos().photos().at(0).image.pixelColor(0, 0), QColor(Qt::blue));
        QCOMPARE(editing.size(), 3);
    }
};

QTEST_MAIN(TestPickers)
#include "tst_platform_pickers.moc"
