#pragma once

#include "InspectionListModels.h"
#include "ListLoad.h"

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

class ServiceClient;

// A photo opened in the preview; a fresh id for every opening, so opening the
// same photo twice shows it twice.
struct IdentifiableURL
{
    QString id;
    QUrl url;
};

// One submitted sheet, read only: every item's result and description, and
// the sheet's photos from the file store.
class DetailedInspectionListView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by InspectionItemDetailView")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString key READ key CONSTANT)
    Q_PROPERTY(DetailitemListModel *checkitems READ checkitems CONSTANT)
    // The sheet as its one load left it; while it loads the page stays free to leave.
    Q_PROPERTY(orvelle::ListState::Value listState READ listState NOTIFY loaded)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY loaded)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY loaded)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY loaded)
    Q_PROPERTY(QList<QUrl> photoUrls READ photoUrls NOTIFY loaded)
    // The photo opened in the preview.
    Q_PROPERTY(bool showsPreview READ showsPreview NOTIFY previewChanged)
    Q_PROPERTY(QUrl selectedImageUrl READ selectedImageUrl NOTIFY previewChanged)
    Q_PROPERTY(QString selectedImageId READ selectedImageId NOTIFY previewChanged)
    // A photo cell's name for screen readers, followed by its number.
    // The page brings its own "返回" in place of the platform's back.
    Q_PROPERTY(bool hidesPlatformBack READ hidesPlatformBack CONSTANT)

public:
    DetailedInspectionListView(ServiceClient &client, const QString &notesServer,
                               const QString &key, QObject *parent = nullptr);

    QString title() const { return QStringLiteral("检查详情"); }
    QString key() const { return m_key; }
    DetailitemListModel *checkitems() { return &m_checkitems; }
    const DetailitemTodayData &onInspectionData() const { return m_onInspectionData; }
    bool hasErrorMessage() const { return m_load.failure().has_value(); }
    QString errorMessageText() const { return m_load.failure().value_or(QString()); }
    ListState::Value listState() const { return m_load.state(m_checkitems.rowCount()); }
    bool isLoading() const { return listState() == ListState::Loading; }
    // The sheet's photos that are valid addresses, in their order.
    QList<QUrl> photoUrls() const;
    bool showsPreview() const { return m_selectedImageUrl.has_value(); }
    QUrl selectedImageUrl() const { return m_selectedImageUrl ? m_selectedImageUrl->url : QUrl(); }
    QString selectedImageId() const
    {
        return m_selectedImageUrl ? m_selectedImageUrl->id : QString();
    }
    bool hidesPlatformBack() const { return true; }

    // When the screen is shown: loads the sheet once.
    Q_INVOKABLE void appeared();
    // "重试" after a failed load.
    Q_INVOKABLE void retry();
    Q_INVOKABLE void openPhoto(const QUrl &url);
    Q_INVOKABLE void closePreview();
    // "返回", also while the sheet loads.
    Q_INVOKABLE void goBack();
    // The screen was left: an answer still on its way changes nothing.
    void screenLeft() { m_load.cancel(); }

signals:
    void loaded();
    void previewChanged();
    // Asks the record list to close this sheet.
    void finished();

private:
    ServiceClient &m_client;
    QString m_notesServer;
    QString m_key;
    DetailitemTodayData m_onInspectionData;
    DetailitemListModel m_checkitems;
    ListLoad m_load;
    bool m_requested = false;
    std::optional<IdentifiableURL> m_selectedImageUrl;
};

} // namespace orvelle
