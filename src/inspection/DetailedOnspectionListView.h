#pragma once

#include "InspectionItemView.h"
#include "InspectionRecords.h"
#include "platform/CameraPicker.h"
#include "platform/ImagePicker.h"
#include "platform/PhotoListModel.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

class CameraProvider;
class PhotoUploader;
class ServiceClient;
class User;

// The on-site check sheet: the check point's blank sheet, every item judged
// and the unqualified ones described and photographed, then "上传": the
// on-site photos, then the added ones, then the filled sheet.
class DetailedOnspectionListView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by OnInspectionListView")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString key READ key CONSTANT)
    Q_PROPERTY(InspectionItemListModel *checkitems READ checkitems CONSTANT)
    Q_PROPERTY(QString allapprove READ allapprove NOTIFY changed)
    Q_PROPERTY(PhotoListModel *selectedImages READ selectedImages CONSTANT)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY changed)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY changed)
    Q_PROPERTY(bool canUpload READ canUpload NOTIFY changed)
    Q_PROPERTY(QString alertMessage READ alertMessage NOTIFY changed)
    Q_PROPERTY(bool showAlert READ showAlert NOTIFY changed)
    Q_PROPERTY(bool shouldNavigate READ shouldNavigate NOTIFY changed)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY changed)
    Q_PROPERTY(bool showImageSourceActionSheet READ showImageSourceActionSheet WRITE
                   setShowImageSourceActionSheet NOTIFY changed)
    Q_PROPERTY(bool showImagePicker READ showImagePicker WRITE setShowImagePicker NOTIFY changed)
    Q_PROPERTY(ImagePicker *imagePicker READ imagePicker CONSTANT)
    Q_PROPERTY(bool showCameraPicker READ showCameraPicker WRITE setShowCameraPicker NOTIFY changed)
    Q_PROPERTY(CameraPicker *cameraPicker READ cameraPicker NOTIFY changed)
    // "inputText" while a description has the keyboard, "" otherwise.
    Q_PROPERTY(QString focusedField READ focusedField WRITE setFocusedField NOTIFY changed)
    Q_PROPERTY(bool showDiscardConfirmation READ showDiscardConfirmation NOTIFY changed)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY changed)
    Q_PROPERTY(bool hidesPlatformBack READ hidesPlatformBack CONSTANT)
    Q_PROPERTY(QString addPhotoText READ addPhotoText CONSTANT)
    Q_PROPERTY(QString imageSourceTitle READ imageSourceTitle CONSTANT)
    Q_PROPERTY(QString albumText READ albumText CONSTANT)
    Q_PROPERTY(QString cameraText READ cameraText CONSTANT)
    Q_PROPERTY(QString uploadText READ uploadText CONSTANT)
    Q_PROPERTY(QString loadingText READ loadingText CONSTANT)
    Q_PROPERTY(QString retryText READ retryText CONSTANT)
    Q_PROPERTY(QString backText READ backText CONSTANT)
    Q_PROPERTY(QString discardQuestion READ discardQuestion CONSTANT)
    Q_PROPERTY(QString discardText READ discardText CONSTANT)
    Q_PROPERTY(QString keepEditingText READ keepEditingText CONSTANT)
    Q_PROPERTY(QString removePhotoText READ removePhotoText CONSTANT)
    Q_PROPERTY(QString cancelText READ cancelText CONSTANT)

public:
    DetailedOnspectionListView(ServiceClient &client, PhotoUploader &uploader,
                               CameraProvider &cameras, const QString &notesServer, User &user,
                               const QList<QImage> &onselectedImages, const QString &key,
                               QObject *parent = nullptr);
    ~DetailedOnspectionListView() override;

    QString title() const { return QStringLiteral("现场检查"); }
    QString key() const { return m_key; }
    const QList<QImage> &onselectedImages() const { return m_onselectedImages; }
    const OnInspectionDetaildData &onInspectionDetaildData() const { return m_sheet; }
    InspectionItemListModel *checkitems() { return &m_items; }
    QList<OnXCheckitem> checkitemOnXs() const;
    QString allapprove() const { return m_allapprove; }
    PhotoListModel *selectedImages() { return &m_selectedImages; }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    // A sheet that never loaded is never submitted.
    bool canUpload() const { return m_loaded && !m_isLoading && !m_shouldNavigate; }
    QString alertMessage() const { return m_alertMessage; }
    bool showAlert() const { return m_showAlert; }
    bool shouldNavigate() const { return m_shouldNavigate; }
    bool isLoading() const { return m_isLoading; }
    bool showImageSourceActionSheet() const { return m_showImageSourceActionSheet; }
    void setShowImageSourceActionSheet(bool on) { set(m_showImageSourceActionSheet, on); }
    bool showImagePicker() const { return m_showImagePicker; }
    void setShowImagePicker(bool on) { set(m_showImagePicker, on); }
    ImagePicker *imagePicker() { return &m_imagePicker; }
    bool showCameraPicker() const { return m_cameraPicker != nullptr; }
    void setShowCameraPicker(bool on);
    CameraPicker *cameraPicker() const { return m_cameraPicker; }
    QString focusedField() const { return m_focusedField; }
    void setFocusedField(const QString &field);
    bool showDiscardConfirmation() const { return m_showDiscardConfirmation; }
    // Not while the photos and the sheet are on their way.
    bool canGoBack() const { return !m_isLoading; }
    bool hidesPlatformBack() const { return true; }
    // Captions the page shows.
    QString addPhotoText() const { return QStringLiteral("添加图片"); }
    QString imageSourceTitle() const { return QStringLiteral("选择图片来源"); }
    QString albumText() const { return QStringLiteral("相册"); }
    QString cameraText() const { return QStringLiteral("拍照"); }
    QString uploadText() const { return QStringLiteral("上传"); }
    QString loadingText() const { return QStringLiteral("Loading..."); }
    QString retryText() const { return QStringLiteral("重试"); }
    QString backText() const { return QStringLiteral("返回"); }
    QString discardQuestion() const
    {
        return QStringLiteral("已填写的检查内容尚未上传，确定放弃吗？");
    }
    QString discardText() const { return QStringLiteral("放弃"); }
    QString keepEditingText() const { return QStringLiteral("继续填写"); }
    QString removePhotoText() const { return QStringLiteral("删除图片"); }
    QString cancelText() const { return QStringLiteral("取消"); }

    // When the sheet is shown, and on "重试" after a failed load.
    Q_INVOKABLE void appeared();
    // The add tile.
    Q_INVOKABLE void addPhoto();
    Q_INVOKABLE void chooseAlbum();
    Q_INVOKABLE void chooseCamera();
    Q_INVOKABLE void removePhoto(int row);
    // "上传"
    Q_INVOKABLE void upload();
    // "确定" of the message box.
    Q_INVOKABLE void acknowledgeAlert();
    // "返回": asks first when something filled in would be lost.
    Q_INVOKABLE void goBack();
    Q_INVOKABLE void confirmDiscard();
    Q_INVOKABLE void cancelDiscard();

    // The "/notes/notescreate" parameters from the sheet as it stands.
    QJsonObject submission(const QString &onsiteImageText, const QString &imageText) const;

signals:
    void changed();
    // Asks the task list to close the sheet.
    void finished();

private:
    void set(bool &field, bool on);
    void alert(const QString &message);
    void failUpload();
    void uploadAdded(const QString &onsiteImageText, const QList<QImage> &added);
    void submit(const QString &onsiteImageText, const QString &imageText);
    bool isFilledIn() const;

    ServiceClient &m_client;
    PhotoUploader &m_uploader;
    CameraProvider &m_cameras;
    QString m_notesServer;
    User &m_user;
    QList<QImage> m_onselectedImages;
    QString m_key;

    OnInspectionDetaildData m_sheet;
    bool m_loaded = false;
    bool m_loadRunning = false;
    InspectionItemListModel m_items;
    QString m_allapprove = QStringLiteral("1");
    PhotoListModel m_selectedImages;
    ImagePicker m_imagePicker;
    QPointer<CameraPicker> m_cameraPicker;
    std::optional<QString> m_errorMessage;
    QString m_alertMessage;
    bool m_showAlert = false;
    bool m_shouldNavigate = false;
    bool m_isLoading = false;
    bool m_showImageSourceActionSheet = false;
    bool m_showImagePicker = false;
    QString m_focusedField;
    bool m_showDiscardConfirmation = false;
};

} // namespace orvelle
