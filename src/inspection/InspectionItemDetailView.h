#pragma once

#include "DetailedInspectionListView.h"
#include "InspectionListModels.h"
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
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)
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
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    QString frmno() const { return m_frmno; }
    bool navigateToDetail() const { return m_detail.isOpen(); }
    // Raising it opens the sheet `frmno`; lowering it closes that and reloads.
    void setNavigateToDetail(bool on);
    DetailedInspectionListView *detailView() const { return m_detail.view(); }

    // Each time the screen is shown, and on "重试".
    Q_INVOKABLE void appeared();
    Q_INVOKABLE void pick(int row);

signals:
    void errorMessageChanged();
    void frmnoChanged();
    void detailChanged();

private:
    void setErrorMessage(const std::optional<QString> &message);

    ServiceClient &m_client;
    QString m_notesServer;
    User &m_user;
    QString m_key;
    DetailCheckitemListModel m_checkitems;
    std::optional<QString> m_errorMessage;
    QString m_frmno;
    ChildScreen<DetailedInspectionListView> m_detail;
};

} // namespace orvelle
