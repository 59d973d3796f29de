#pragma once

#include "InspectionItemView.h"
#include "InspectionRecords.h"
#include "ListLoad.h"
#include "outbox/FormShell.h"
#include "store/OfflineCopy.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <memory>
#include <optional>

namespace orvelle {

class ServiceClient;
class User;

// The on-site check sheet: the check point's blank sheet, every item judged
// and the unqualified ones described and photographed, then "上传": the
// on-site photos, then the added ones, then the filled sheet.
class DetailedOnspectionListView : public FormShell, public FormRules
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by OnInspectionListView")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString key READ key CONSTANT)
    Q_PROPERTY(InspectionItemListModel *checkitems READ checkitems CONSTANT)
    Q_PROPERTY(QString allapprove READ allapprove NOTIFY sheetChanged)
    // The blank sheet's load, drawn in the page: it never holds "返回".
    Q_PROPERTY(orvelle::ListState::Value listState READ listState NOTIFY sheetChanged)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY sheetChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY sheetChanged)
    Q_PROPERTY(bool canUpload READ canUpload NOTIFY sheetChanged)
    Q_PROPERTY(bool shouldNavigate READ shouldNavigate NOTIFY filingChanged)

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
    QList<OnXCheckitem> checkitemOnXs() const { return m_items.itemxs(); }
    QString allapprove() const { return m_allapprove; }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    ListState::Value listState() const;
    // A sheet that never loaded is never submitted.
    bool canUpload() const { return m_loaded && !isLoading() && !shouldNavigate(); }
    bool shouldNavigate() const { return closing(); }

    // When the sheet is shown, and on "重试" after a failed load.
    Q_INVOKABLE void appeared();
    // "上传"
    Q_INVOKABLE void upload();
    // The screen was left: a sheet still on its way changes nothing.
    void screenLeft() { m_loadContext.reset(); }

    QString validate() const override;
    Submission submission() const override;
    std::optional<FormDraft::Snapshot> snapshot() const override;
    void restore(const QJsonObject &fields, const PhotoGroups &photos) override;
    bool isFilledIn() const override;

signals:
    // The sheet loaded or did not, or an upload judged it.
    void sheetChanged();
    // Asks the task list to close the sheet.
    void finished();

private:
    void sheetArrived(const QJsonObject &json);
    void sheetFailed(qint64 code, const QString &message);
    void loadFailed(const QString &message);
    // The "/notes/notescreate" parameters from the sheet as it stands; the
    // filing road adds the two photo address texts.
    QJsonObject recordParameters() const;
    // Takes a sheet answer of the service (or of a restored draft).
    bool takeSheet(const QJsonObject &json, QString *problem);
    // The sheet's fields from a fresh answer, its items left as they are.
    bool takeHeader(const QJsonObject &json);
    void restoreItems(const QJsonArray &items);

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
    // What the load answers to; gone once the screen is left.
    std::unique_ptr<QObject> m_loadContext;
    InspectionItemListModel m_items;
    QString m_allapprove = QStringLiteral("1");
    std::optional<QString> m_errorMessage;
    OfflineCopy m_blankSheet;
};

} // namespace orvelle
