#include "PhotoAttachments.h"

#include "PhotoAlbum.h"

#include <utility>

namespace orvelle {

PhotoAttachments::PhotoAttachments(CameraProvider &cameras, PhotoFileStore &store, int addTileLimit,
                                   QObject *parent)
    : QObject(parent)
    , m_cameras(cameras)
    , m_addTileLimit(addTileLimit)
    , m_intake(store)
    , m_imagePicker(m_selectedImages, m_intake)
{
    connect(&m_selectedImages, &PhotoListModel::countChanged, this, &PhotoAttachments::changed);
    connect(&m_intake, &PhotoIntake::pendingChanged, this, &PhotoAttachments::changed);
    connect(&m_imagePicker, &ImagePicker::changed, this, &PhotoAttachments::changed);
    connect(&m_imagePicker, &ImagePicker::problem, &m_toastManager, &ToastManager::show);
}

void PhotoAttachments::whenPhotosLoaded(std::function<void()> action)
{
    m_intake.whenSettled(std::move(action));
}

void PhotoAttachments::restore(const QStringList &hashes)
{
    if (hashes.isEmpty())
        return;
    m_intake.recall(hashes, [this](const StoredPhoto &photo) { m_selectedImages.append(photo); });
}

PhotoAttachments::~PhotoAttachments()
{
    // Before the list it appends to.
    delete m_cameraPicker.data();
}

void PhotoAttachments::set(bool &field, bool on)
{
    if (field == on)
        return;
    field = on;
    emit changed();
}

void PhotoAttachments::setEditable(bool on)
{
    if (!on) {
        m_showImageSourceActionSheet = false;
        m_showImagePicker = false;
    }
    set(m_editable, on);
}

void PhotoAttachments::addPhoto()
{
    if (!m_editable)
        return;
    emit editingPhotos();
    set(m_showImageSourceActionSheet, true);
}

void PhotoAttachments::chooseAlbum()
{
    m_showImageSourceActionSheet = false;
    set(m_showImagePicker, m_editable);
    emit changed();
}

void PhotoAttachments::chooseCamera()
{
    m_showImageSourceActionSheet = false;
    setShowCameraPicker(m_editable);
    emit changed();
}

void PhotoAttachments::setShowCameraPicker(bool on)
{
    if (showCameraPicker() == on)
        return;
    if (on) {
        m_cameraPicker =
            new CameraPicker(m_cameras, m_intake, m_selectedImages, PhotoAlbum(), this);
        connect(m_cameraPicker, &CameraPicker::finished, this,
                [this] { setShowCameraPicker(false); });
    } else {
        // The page may still be bound to it while its sheet closes.
        m_cameraPicker->disconnect(this);
        m_cameraPicker->deleteLater();
        m_cameraPicker = nullptr;
    }
    emit changed();
}

void PhotoAttachments::removePhoto(int row)
{
    if (!m_editable)
        return;
    emit editingPhotos();
    m_selectedImages.remove(row);
}

void PhotoAttachments::previewPhoto(int photoId)
{
    m_selectedImageForPreview = photoId;
    set(m_showImagePreview, true);
}

void PhotoAttachments::closePreview()
{
    set(m_showImagePreview, false);
}

} // namespace orvelle
