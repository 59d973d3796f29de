#pragma once

#include "InspectionItemView.h"
#include "InspectionRecords.h"
#include "core/AlertState.h"
#include "core/DiscardGuard.h"
#include "outbox/FormFiling.h"
#include "platform/PhotoAttachments.h"
#include "store/FormDraft.h"
#include "store/OfflineCopy.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

class CameraProvider;
class DeviceStore;
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
    Q_PROPERTY(PhotoAttachments *photos READ photos CONSTANT)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY changed)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY changed)
    Q_PROPERTY(bool canUpload READ canUpload NOTIFY changed)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(bool shouldNavigate READ shouldNavigate NOTIFY changed)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY changed)
    // "inputText" while a description has the keyboard, "" otherwise.
    Q_PROPERTY(QString focusedField READ focusedField WRITE setFocusedField NOTIFY changed)
    Q_PROPERTY(orvelle::DiscardGuard *discardGuard READ discardGuard CONSTANT)
    Q_PROPERTY(QObject *draft READ draft CONSTANT)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY changed)
    Q_PROPERTY(bool hidesPlatformBack READ hidesPlatformBack CONSTANT)

public:
    DetailedOnspectionListView(ServiceClient &client, PhotoUploader &uploader,
                               CameraProvider &cameras, const QString &notesServer, User &user,
                               const QList<QImage> &onselectedImages, const QString &key,
                               DeviceStore *store = nullptr, QObject *parent = nullptr);
    ~DetailedOnspectionListView() override;

    QString title() const { return QStringLiteral("现场检查"); }
    QString key() const { return m_key; }
    const QList<QImage> &onselectedImages() const { return m_onselectedImages; }
    const OnInspectionDetaildData &onInspectionDetaildData() const { return m_sheet; }
    InspectionItemListModel *checkitems() { return &m_items; }
    QList<OnXCheckitem> checkitemOnXs() const;
    QString allapprove() const { return m_allapprove; }
    PhotoAttachments *photos() { return &m_photos; }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    // A sheet that never loaded is never submitted.
    bool canUpload() const { return m_loaded && !m_isLoading && !m_shouldNavigate; }
    AlertState *alert() { return &m_alert; }
    bool shouldNavigate() const { return m_shouldNavigate; }
    bool isLoading() const { return m_isLoading; }
    QString focusedField() const { return m_focusedField; }
    void setFocusedField(const QString &field);
    DiscardGuard *discardGuard() { return &m_discardGuard; }
    FormDraft *draft() { return &m_draft; }
    // Not while the photos and the sheet are on their way.
    bool canGoBack() const { return !m_isLoading; }
    bool hidesPlatformBack() const { return true; }
    // Captions the page shows.

    // When the sheet is shown, and on "重试" after a failed load.
    Q_INVOKABLE void appeared();
    // "上传"
    Q_INVOKABLE void upload();
    // "返回": asks first when something filled in would be lost.
    Q_INVOKABLE void goBack();

    // Filed through the outbox from now on, when there is one.
    void setOutbox(Outbox *outbox);

    // The "/notes/notescreate" parameters from the sheet as it stands.
    QJsonObject submission(const QString &onsiteImageText, const QString &imageText) const;

signals:
    void changed();
    // Asks the task list to close the sheet.
    void finished();

private:
    // "确定" of the message box.
    void alertAcknowledged();
    void set(bool &field, bool on);
    void failUpload();
    // "上传" while album photos are still being decoded: it goes on once they are in.
    void waitForPhotos();
    void uploadAdded(const QString &onsiteImageText, const QList<QImage> &added);
    void submit(const QString &onsiteImageText, const QString &imageText);
    Submission queuedSubmission() const;
    void uploadDirectly(const QList<QImage> &added);
    void filed(const QJsonObject &json);
    void closeWith(const QString &message);
    void refused(const QString &message);
    bool isFilledIn() const;
    // Takes a sheet answer of the service (or of a restored draft).
    bool takeSheet(const QJsonObject &json, QString *problem);
    std::optional<FormDraft::Snapshot> snapshot() const;
    void restore(const QJsonObject &fields, const QMap<QString, QList<QImage>> &photos);

    ServiceClient &m_client;
    PhotoUploader &m_uploader;
    QString m_notesServer;
    User &m_user;
    QList<QImage> m_onselectedImages;
    QString m_key;

    OnInspectionDetaildData m_sheet;
    // The sheet answer as it came, for the draft.
    QJsonObject m_sheetAnswer;
    bool m_loaded = false;
    bool m_loadRunning = false;
    InspectionItemListModel m_items;
    QString m_allapprove = QStringLiteral("1");
    PhotoAttachments m_photos;
    std::optional<QString> m_errorMessage;
    AlertState m_alert;
    bool m_shouldNavigate = false;
    bool m_isLoading = false;
    QString m_focusedField;
    DiscardGuard m_discardGuard;
    FormDraft m_draft;
    FormFiling m_filing;
    OfflineCopy m_blankSheet;
};

} // namespace orvelle
