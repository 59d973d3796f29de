#pragma once

#include "CameraPicker.h"
#include "ImagePicker.h"
#include "PhotoIntake.h"
#include "PhotoListModel.h"
#include "core/ToastManager.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <limits>

namespace orvelle {

class CameraProvider;
class PhotoFileStore;

// The photos a form attaches: the list, the add tile's choice of album or
// camera, the two pickers (both through one photo intake into `store`) and
// the enlarged preview, and the toast naming picked files that gave no photo.
// Drawn by PhotoGrid and PhotoAttachmentSheets; the form reads the list's
// hashes for its draft and its filing.
class PhotoAttachments : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the form that holds the photos")
    Q_PROPERTY(PhotoListModel *selectedImages READ selectedImages CONSTANT)
    // While the add tile is shown; the album never adds past ImagePicker's limit.
    Q_PROPERTY(int addTileLimit READ addTileLimit CONSTANT)
    // Off while the form submits: the list must not change under the upload.
    Q_PROPERTY(bool editable READ editable NOTIFY changed)
    Q_PROPERTY(bool showImageSourceActionSheet READ showImageSourceActionSheet WRITE
                   setShowImageSourceActionSheet NOTIFY changed)
    Q_PROPERTY(bool showImagePicker READ showImagePicker WRITE setShowImagePicker NOTIFY changed)
    Q_PROPERTY(ImagePicker *imagePicker READ imagePicker CONSTANT)
    Q_PROPERTY(bool showCameraPicker READ showCameraPicker WRITE setShowCameraPicker NOTIFY changed)
    Q_PROPERTY(CameraPicker *cameraPicker READ cameraPicker NOTIFY changed)
    // The previewed photo's id in selectedImages; 0 before any preview.
    Q_PROPERTY(int selectedImageForPreview READ selectedImageForPreview NOTIFY changed)
    Q_PROPERTY(bool showImagePreview READ showImagePreview NOTIFY changed)
    // Photos picked or taken but not yet stored.
    Q_PROPERTY(bool loadingPhotos READ loadingPhotos NOTIFY changed)
    // Says which picked files gave no photo.
    Q_PROPERTY(ToastManager *toastManager READ toastManager CONSTANT)

public:
    static constexpr int noAddTileLimit = std::numeric_limits<int>::max();

    PhotoAttachments(CameraProvider &cameras, PhotoFileStore &store, int addTileLimit,
                     QObject *parent = nullptr);
    ~PhotoAttachments() override;

    PhotoListModel *selectedImages() { return &m_selectedImages; }
    const PhotoListModel &photos() const { return m_selectedImages; }
    int addTileLimit() const { return m_addTileLimit; }
    bool editable() const { return m_editable; }
    void setEditable(bool on);
    bool showImageSourceActionSheet() const { return m_showImageSourceActionSheet; }
    void setShowImageSourceActionSheet(bool on) { set(m_showImageSourceActionSheet, on); }
    bool showImagePicker() const { return m_showImagePicker; }
    void setShowImagePicker(bool on) { set(m_showImagePicker, on); }
    ImagePicker *imagePicker() { return &m_imagePicker; }
    bool showCameraPicker() const { return m_cameraPicker != nullptr; }
    void setShowCameraPicker(bool on);
    CameraPicker *cameraPicker() const { return m_cameraPicker; }
    int selectedImageForPreview() const { return m_selectedImageForPreview; }
    bool showImagePreview() const { return m_showImagePreview; }
    bool loadingPhotos() const { return m_intake.pending() > 0; }
    ToastManager *toastManager() { return &m_toastManager; }
    // Runs `action` at once, or once the photos still being stored are in
    // the list: a form must never be filed without a photo the user picked.
    // A later call replaces an action still waiting.
    void whenPhotosLoaded(std::function<void()> action);
    // A draft's photos, appended in their order as their thumbnails are read.
    void restore(const QStringList &hashes);

    // The add tile: asks for the picture source.
    Q_INVOKABLE void addPhoto();
    Q_INVOKABLE void chooseAlbum();
    Q_INVOKABLE void chooseCamera();
    Q_INVOKABLE void removePhoto(int row);
    Q_INVOKABLE void previewPhoto(int photoId);
    Q_INVOKABLE void closePreview();

signals:
    void changed();
    // Adding or removing starts: the form ends text editing.
    void editingPhotos();

private:
    void set(bool &field, bool on);

    CameraProvider &m_cameras;
    int m_addTileLimit;
    bool m_editable = true;
    PhotoListModel m_selectedImages;
    PhotoIntake m_intake;
    ImagePicker m_imagePicker;
    QPointer<CameraPicker> m_cameraPicker;
    bool m_showImageSourceActionSheet = false;
    bool m_showImagePicker = false;
    int m_selectedImageForPreview = 0;
    bool m_showImagePreview = false;
    ToastManager m_toastManager;
};

} // namespace orvelle
