#pragma once

#include "PhotoAlbum.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <memory>

namespace orvelle {

class Camera;
class CameraProvider;
class PhotoIntake;
class PhotoListModel;

// Takes one photo: live preview, shutter, then accept or retake; or, with no
// camera, one chosen image file. An accepted photo goes through the photo
// intake and is appended to the host's list once stored (no limit here: the
// host decides whether to offer the camera); a camera photo is also saved to
// the album. `finished` asks the host to close the picker, after accepting
// (even without an image) and after cancelling. The picture taken is the one
// full picture on this road: the preview shows a copy the page's size, and
// the camera is asked for the next only once the intake has let go of it.
class CameraPicker : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the screen that takes photos")
    Q_PROPERTY(bool hasCamera READ hasCamera CONSTANT)
    Q_PROPERTY(QObject *videoSink READ videoSink WRITE setVideoSink NOTIFY changed)
    Q_PROPERTY(bool capturing READ capturing NOTIFY changed)
    Q_PROPERTY(bool hasCapture READ hasCapture NOTIFY changed)
    Q_PROPERTY(QString failure READ failure NOTIFY changed)
    Q_PROPERTY(QString title READ title CONSTANT)
    // The preview's size in device pixels, as the page lays it out.
    Q_PROPERTY(QSize previewSize READ previewSize WRITE setPreviewSize NOTIFY changed)

public:
    CameraPicker(CameraProvider &cameras, PhotoIntake &intake, PhotoListModel &selectedImages,
                 PhotoAlbum album, QObject *parent = nullptr);
    ~CameraPicker() override;

    bool hasCamera() const { return m_camera != nullptr; }
    QObject *videoSink() const { return m_sink; }
    void setVideoSink(QObject *sink);
    bool capturing() const { return m_capturing; }
    bool hasCapture() const { return !m_captured.isNull(); }
    QString failure() const { return m_failure; }
    QString title() const { return QStringLiteral("拍照"); }
    QSize previewSize() const { return m_previewSize; }
    void setPreviewSize(const QSize &size);

    Q_INVOKABLE void shutter();
    Q_INVOKABLE void retake();
    Q_INVOKABLE void accept();
    Q_INVOKABLE void cancel();
    // The no-camera way: one image file, appended once it is stored.
    Q_INVOKABLE void chooseFile(const QUrl &file);

signals:
    void changed();
    void finished();

private:
    void showLivePicture();
    void captureWhenFree();
    void taken(const QImage &picture);

    PhotoIntake &m_intake;
    QPointer<PhotoListModel> m_selectedImages;
    PhotoAlbum m_album;
    std::unique_ptr<Camera> m_camera;
    QPointer<QObject> m_sink;
    QImage m_captured;
    int m_shot = 0; // a preview made for an earlier shot is not shown
    QSize m_previewSize{1280, 1280};
    bool m_capturing = false;
    bool m_captureAsked = false;
    QString m_failure;
};

} // namespace orvelle
