#include "CameraPicker.h"

#include "ImagePicker.h"
#include "PhotoIntake.h"
#include "PhotoListModel.h"
#include "core/Logging.h"
#include "platform/Camera.h"
#include "platform/ImageFiles.h"
#include "platform/MediaModule.h"

#include <QFileInfo>
#include <utility>

namespace orvelle {

CameraPicker::CameraPicker(CameraProvider &cameras, PhotoIntake &intake,
                           PhotoListModel &selectedImages, PhotoAlbum album, QObject *parent)
    : QObject(parent)
    , m_intake(intake)
    , m_selectedImages(&selectedImages)
    , m_album(std::move(album))
    , m_camera(cameras.open())
{
    if (!m_camera)
        return;
    connect(m_camera.get(), &Camera::captured, this, &CameraPicker::taken);
    connect(m_camera.get(), &Camera::failed, this, [this](const QString &message) {
        qCDebug(lcScan) << "Capture failed:" << message;
        m_capturing = m_captureAsked = false;
        m_failure = QStringLiteral("拍照失败，请重试");
        emit changed();
    });
    connect(&m_intake, &PhotoIntake::picturesHeldChanged, this, &CameraPicker::captureWhenFree);
}

CameraPicker::~CameraPicker()
{
    if (m_camera)
        m_camera->stop();
}

void CameraPicker::setVideoSink(QObject *sink)
{
    if (m_sink == sink)
        return;
    m_sink = sink;
    if (m_camera) {
        m_camera->setVideoSink(sink);
        if (sink && m_captured.isNull())
            m_camera->start();
    }
    emit changed();
}

void CameraPicker::setPreviewSize(const QSize &size)
{
    if (m_previewSize == size || size.isEmpty())
        return;
    m_previewSize = size;
    emit changed();
}

void CameraPicker::shutter()
{
    if (!m_camera || m_capturing || hasCapture())
        return;
    m_capturing = true;
    m_failure.clear();
    emit changed();
    captureWhenFree();
}

void CameraPicker::captureWhenFree()
{
    if (m_capturing && !m_captureAsked && m_intake.picturesHeld() == 0) {
        m_captureAsked = true;
        m_camera->capture();
    }
}

void CameraPicker::taken(const QImage &picture)
{
    m_capturing = m_captureAsked = false;
    m_captured = picture;
    m_camera->stop();
    // The preview holds the photo while the user decides, at the page's size.
    const int shot = ++m_shot;
    m_intake.scaleForPreview(picture,
                             fittedSize(picture.size(), m_previewSize, Qt::KeepAspectRatio),
                             [this, guard = QPointer(this), shot](const QImage &preview) {
                                 if (guard && shot == m_shot && hasCapture())
                                     showStill(m_sink, preview);
                             });
    emit changed();
}

void CameraPicker::retake()
{
    m_captured = QImage();
    ++m_shot;
    showLivePicture();
    emit changed();
}

void CameraPicker::showLivePicture()
{
    if (m_camera && m_sink)
        m_camera->start();
}

void CameraPicker::accept()
{
    if (!m_captured.isNull() && m_selectedImages) {
        // The intake outlives this picker, which closes now; the album copy
        // is made from the picture it holds, so the picker lets go of it.
        m_intake.keepImage(
            std::exchange(m_captured, {}),
            [list = m_selectedImages](const std::optional<StoredPhoto> &photo) {
                if (photo && list)
                    list->append(*photo);
            },
            m_album);
    }
    m_captured = QImage();
    // The preview lets go of the photo's frame as well.
    showStill(m_sink, {});
    emit changed();
    emit finished();
}

void CameraPicker::cancel()
{
    emit finished();
}

void CameraPicker::chooseFile(const QUrl &file)
{
    const QString path = localImagePath(file);
    const QString name = path.isEmpty() ? file.toDisplayString() : QFileInfo(path).fileName();
    // A file that gives no photo keeps the picker open with a word on why.
    const auto refuse = [this, name](bool readable) {
        m_failure = readable ? pickProblem({}, {name}) : pickProblem({name}, {});
        emit changed();
    };
    if (path.isEmpty())
        return refuse(false);
    m_failure.clear();
    m_intake.keepFile(path, [this, guard = QPointer(this),
                             refuse](const std::optional<StoredPhoto> &photo, bool readable) {
        if (!guard)
            return;
        if (!photo)
            return refuse(readable);
        if (m_selectedImages)
            m_selectedImages->append(*photo);
        emit finished();
    });
}

} // namespace orvelle
