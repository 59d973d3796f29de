#pragma once

#include "DetailedOnspectionListView.h"
#include "TaskListView.h"
#include "core/ChildScreen.h"
#include "photos/CameraPicker.h"
#include "photos/PhotoIntake.h"
#include "photos/PhotoListModel.h"

#include <QPointer>

namespace orvelle {

class DeviceStore;
class PhotoUploader;

// "现场检查": a picked check point first needs a photo taken on the spot;
// only then does its blank sheet open, with that photo.
class OnInspectionListView : public TaskListView
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the home menu")
    Q_PROPERTY(QString selectedKey READ selectedKeyText NOTIFY selectedKeyChanged)
    Q_PROPERTY(PhotoListModel *selectedImages READ selectedImages CONSTANT)
    Q_PROPERTY(bool showCameraPicker READ showCameraPicker WRITE setShowCameraPicker NOTIFY
                   cameraPickerChanged)
    Q_PROPERTY(CameraPicker *cameraPicker READ cameraPicker NOTIFY cameraPickerChanged)
    Q_PROPERTY(
        bool navigateToDetail READ navigateToDetail WRITE setNavigateToDetail NOTIFY detailChanged)
    Q_PROPERTY(DetailedOnspectionListView *detailView READ detailView NOTIFY detailChanged)

public:
    // The sheets it opens are filed with `forms`.
    OnInspectionListView(FormServices &forms, const AppConfig &config, Beeper &beeper,
                         QObject *parent = nullptr);
    ~OnInspectionListView() override;

    const std::optional<QString> &selectedKey() const { return m_selectedKey; }
    QString selectedKeyText() const { return m_selectedKey.value_or(QString()); }
    PhotoListModel *selectedImages() { return &m_selectedImages; }
    bool showCameraPicker() const { return m_cameraPicker != nullptr; }
    // Closing the camera, however it closes, opens the sheet once a photo
    // taken for a check point with a key is stored.
    void setShowCameraPicker(bool on);
    CameraPicker *cameraPicker() const { return m_cameraPicker; }
    bool navigateToDetail() const { return m_detail.isOpen(); }
    // Lowering it (going back, or the sheet was submitted) closes the sheet
    // and reloads this list, which discards the on-site photo.
    void setNavigateToDetail(bool on);
    DetailedOnspectionListView *detailView() const { return m_detail.view(); }

    void appeared() override;

signals:
    void cameraPickerChanged();
    void detailChanged();

protected:
    // Without a network only a check point whose sheet is kept asks for a photo.
    void checkPointChosen() override;

private:
    void discardPhotos();

    FormServices &m_forms;
    PhotoListModel m_selectedImages;
    PhotoIntake m_intake;
    QPointer<CameraPicker> m_cameraPicker;
    ChildScreen<DetailedOnspectionListView> m_detail;
};

} // namespace orvelle
