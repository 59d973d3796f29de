#include "InspectionItemDetailView.h"

#include "DetailedInspectionListView.h"
#include "InspectionRules.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"

namespace orvelle {

InspectionItemDetailView::InspectionItemDetailView(ServiceClient &client,
                                                   const QString &notesServer, User &user,
                                                   const QString &key, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_notesServer(notesServer)
    , m_user(user)
    , m_key(key)
    , m_checkitems(this)
{}

InspectionItemDetailView::~InspectionItemDetailView()
{
    delete m_detail.data();
}

void InspectionItemDetailView::setNavigateToDetail(bool on)
{
    if (on == navigateToDetail())
        return;
    m_navigateToDetail = on;
    if (on) {
        if (m_detail)
            m_detail->deleteLater();
        m_detail = new DetailedInspectionListView(m_client, m_notesServer, m_frmno, this);
        connect(m_detail, &DetailedInspectionListView::finished, this,
                [this] { setNavigateToDetail(false); });
    } else {
        m_detail->disconnect(this);
    }
    emit changed();
    if (!on)
        appeared();
}

void InspectionItemDetailView::appeared()
{
    const QJsonObject parameters{
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::todayCheckByQzdept},
        {QStringLiteral("server"), m_notesServer},
        {QStringLiteral("key"), m_key},
        {QStringLiteral("qzDept"), departmentText(m_user)},
    };
    m_client.sendJSONRequest(
        endpoints::json::todayDeptCheck, parameters, this,
        [this](const std::optional<QString> &, qint64, const QJsonObject &json) {
            const auto record = decodeRecord<DetailTodayInspectionDetailData>(json);
            if (!record) {
                setErrorMessage(recordErrorMessage());
            } else if (!record->checkitems) {
                setErrorMessage(noCheckItemsMessage());
            } else {
                m_checkitems.setRecords(*record->checkitems);
                setErrorMessage(std::nullopt);
            }
        },
        [this](qint64, const QString &message) { setErrorMessage(message); });
}

void InspectionItemDetailView::pick(int row)
{
    const DetailCheckitem *sheet = m_checkitems.at(row);
    if (!sheet)
        return;
    m_frmno = sheet->frmno.value_or(QString());
    emit changed();
    setNavigateToDetail(true);
}

void InspectionItemDetailView::setErrorMessage(const std::optional<QString> &message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    emit changed();
}

} // namespace orvelle
