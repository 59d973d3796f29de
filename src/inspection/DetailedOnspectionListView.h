#pragma once

#include "InspectionItemView.h"
#include "InspectionRecords.h"
#include "core/AlertState.h"
#include "core/DiscardGuard.h"
#include "outbox/FormFiling.h"
#include "photos/PhotoAttachments.h"
#include "store/FormDraft.h"
#include "store/OfflineCopy.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

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
    // How far a filing has come, and its "转入待上传".
    Q_PROPERTY(QObject *filing READ filing CONSTANT)
    // "inputText" while a description has the keyboard, "" otherwise.
    Q_PROPERTY(QString focusedField READ focusedField WRITE setFocusedField NOTIFY changed)
    Q_PROPERTY(orvelle::DiscardGuard *discardGuard READ discardGuard CONSTANT)
    Q_PROPERTY(QObject *draft READ draft CONSTANT)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY changed)
    Q_PROPERTY(bool hidesPlatformBack READ hidesPlatformBack CONSTANT)

public:
    DetailedOnspectionListView(FormServices &services, const QStringList &onselectedImages,
                               const QString &key, QObject *parent = nullptr);
    ~DetailedOnspectionListView() override;

    QString title() const { return QStringLiteral("现场检查"); }
    QString key() const { return m_key; }
    // The content hashes of the photos taken on the spot.
    const QStringList &onselectedImages() const { return m_onselectedImages; }
    const OnInspectionDetaildData &onInspectionDetaildData() const { return m_sheet; }
    InspectionItemListModel *checkitems() { return &m_items; }
    QList<OnXCheckitem> checkitemOnXs() const;
    QString allapprove() const { return m_allapprove; }
    PhotoAttachments *photos() { return &m_photos; }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    // A sheet that never loaded is never submitted.
    bool canUpload() const { return m_loaded && !isLoading() && !shouldNavigate(); }
    AlertState *alert() { return &m_alert; }
    bool shouldNavigate() const { return m_filing.closing(); }
    bool isLoading() const { return m_filing.isLoading(); }
    FormFiling *filing() { return &m_filing; }
    QString focusedField() const { return m_focusedField; }
    void setFocusedField(const QString &field);
    DiscardGuard *discardGuard() { return &m_discardGuard; }
    FormDraft *draft() { return &m_draft; }
    // Not while the photos and the sheet are on their way.
    bool canGoBack() const { return !isLoading(); }
    bool hidesPlatformBack() const { return true; }

    // When the sheet is shown, and on "重试" after a failed load.
    Q_INVOKABLE void appeared();
    // "上传"
    Q_INVOKABLE void upload();
    // "返回": asks first when something filled in would be lost.
    Q_INVOKABLE void goBack();

signals:
    void changed();
    // What the inspector entered changed (not focus).
    void edited();
    // Asks the task list to close the sheet.
    void finished();

private:
    void load();
    // "确定" of the message box.
    void alertAcknowledged();
    FormFiling::Rules filingRules();
    QString firstProblem();
    Submission filedSubmission() const;
    // The "/notes/notescreate" parameters from the sheet as it stands; the
    // filing road adds the two photo address texts.
    QJsonObject recordParameters() const;
    bool isFilledIn() const;
    // Takes a sheet answer of the service (or of a restored draft).
    bool takeSheet(const QJsonObject &json, QString *problem);
    std::optional<FormDraft::Snapshot> snapshot() const;
    // The sheet's fields from a fresh answer, its items left as they are.
    bool takeHeader(const QJsonObject &json);
    void restore(const QJsonObject &fields, const PhotoGroups &photos);

    ServiceClient &m_client;
    QString m_notesServer;
    User &m_user;
    QStringList m_onselectedImages;
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
    QString m_focusedField;
    DiscardGuard m_discardGuard;
    FormDraft m_draft;
    FormFiling m_filing;
    OfflineCopy m_blankSheet;
};

} // namespace orvelle
