#include "InspectionItemDetailView.h"

#include "CheckitemListRequest.h"
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

InspectionItemDetailView::~InspectionItemDetailView() = default;

void InspectionItemDetailView::setNavigateToDetail(bool on)
{
    if (!m_detail.setOpen(on, [this] {
            auto *sheet = new DetailedInspectionListView(m_client, m_notesServer, m_frmno, this);
            connect(sheet, &DetailedInspectionListView::finished, this,
                    [this] { setNavigateToDetail(false); });
            return sheet;
        }))
        return;
    emit detailChanged();
    if (!on)
        appeared();
}

void InspectionItemDetailView::appeared()
{
    requestCheckitems<DetailTodayInspectionDetailData>(
        m_client, endpoints::json::todayDeptCheck,
        todaySheetsParameters(m_notesServer, m_key, m_user), this,
        [this](QList<DetailCheckitem> checkitems, const QDateTime &) {
            m_checkitems.setRecords(std::move(checkitems));
            setErrorMessage(std::nullopt);
        },
        [this](qint64, const QString &message) { setErrorMessage(message); });
}

void InspectionItemDetailView::pick(int row)
{
    const DetailCheckitem *sheet = m_checkitems.at(row);
    if (!sheet)
        return;
    m_frmno = sheet->frmno.value_or(QString());
    emit frmnoChanged();
    setNavigateToDetail(true);
}

void InspectionItemDetailView::setErrorMessage(const std::optional<QString> &message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    emit errorMessageChanged();
}

} // namespace orvelle
