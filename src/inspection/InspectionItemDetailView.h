#pragma once

#include "DetailedInspectionListView.h"
#include "InspectionListModels.h"
#include "ListLoad.h"
#include "core/ChildScreen.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

class ServiceClient;
class User;

// The sheets submitted today for one check point; a row opens one of them.
class InspectionItemDetailView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by InspectionListView")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString key READ key CONSTANT)
    Q_PROPERTY(DetailCheckitemListModel *checkitems READ checkitems CONSTANT)
    Q_PROPERTY(orvelle::ListState::Value listState READ listState NOTIFY listChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY listChanged)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY listChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY listChanged)
    Q_PROPERTY(QString frmno READ frmno NOTIFY frmnoChanged)
    Q_PROPERTY(
        bool navigateToDetail READ navigateToDetail WRITE setNavigateToDetail NOTIFY detailChanged)
    Q_PROPERTY(DetailedInspectionListView *detailView READ detailView NOTIFY detailChanged)

public:
    InspectionItemDetailView(ServiceClient &client, const QString &notesServer, User &user,
                             const QString &key, QObject *parent = nullptr);
    ~InspectionItemDetailView() override;

    QString title() const { return QStringLiteral("今日检查"); }
    QString key() const { return m_key; }
    DetailCheckitemListModel *checkitems() { return &m_checkitems; }
    const std::optional<QString> &errorMessage() const { return m_load.failure(); }
    bool hasErrorMessage() const { return m_load.failure().has_value(); }
    QString errorMessageText() const { return m_load.failure().value_or(QString()); }
    ListState::Value listState() const { return m_load.state(m_checkitems.rowCount()); }
    bool isLoading() const { return m_load.running(); }
    QString frmno() const { return m_frmno; }
    bool navigateToDetail() const { return m_detail.isOpen(); }
    // Raising it opens the sheet `frmno`; lowering it closes that and reloads.
    void setNavigateToDetail(bool on);
    DetailedInspectionListView *detailView() const { return m_detail.view(); }

    // Each time the screen is shown, and on "重试".
    Q_INVOKABLE void appeared();
    Q_INVOKABLE void pick(int row);
    // The screen was left: an answer still on its way changes nothing.
    void screenLeft();

signals:
    // The load started or ended: its state, its failure.
    void listChanged();
    void frmnoChanged();
    void detailChanged();

private:
    ServiceClient &m_client;
    QString m_notesServer;
    User &m_user;
    QString m_key;
    DetailCheckitemListModel m_checkitems;
    ListLoad m_load;
    QString m_frmno;
    ChildScreen<DetailedInspectionListView> m_detail;
};

} // namespace orvelle
