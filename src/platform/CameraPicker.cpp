#include "CameraPicker.h"

#include "Camera.h"
#include "ImageFiles.h"
#include "ImagePicker.h"
#include "MediaModule.h"
#include "PhotoIntake.h"
#include "PhotoListModel.h"
#include "core/Logging.h"

#include <QFileInfo>

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
    connect(m_camera.get(), &Camera::captured, this, [this](const QImage &image) {
        m_capturing = false;
        m_captured = image;
        m_camera->stop();
        // The preview holds the photo while the user decides.
        showStill(m_sink, image);
        emit changed();
    });
    connect(m_camera.get(), &Camera::failed, this, [this](const QString &message) {
        qCDebug(lcScan) << "Capture failed:" << message;
        m_capturing = false;
        m_failure = QStringLiteral("拍照失败，请重试");
        emit changed();
    });
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

void CameraPicker::shutter()
{
    if (!m_camera || m_capturing || hasCapture())
        return;
    m_capturing = true;
    m_failure.clear();
    emit changed();
    m_camera->capture();
}

void CameraPicker::retake()
{
    m_captured = QImage();
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
        // The intake outlives this picker, which closes now.
        m_intake.keepImage(m_captured,
                           [list = m_selectedImages](const std::optional<StoredPhoto> &photo) {
                               if (photo && list)
                                   list->append(*photo);
                           });
        m_album.save(m_captured);
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
