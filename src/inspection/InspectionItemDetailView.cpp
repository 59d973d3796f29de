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
    QObject *read = m_load.start();
    emit listChanged();
    requestCheckitems<DetailTodayInspectionDetailData>(
        m_client, endpoints::json::todayDeptCheck,
        todaySheetsParameters(m_notesServer, m_key, m_user), read,
        [this](QList<DetailCheckitem> checkitems, const QDateTime &) {
            m_load.answered();
            m_checkitems.setRecords(std::move(checkitems));
            emit listChanged();
        },
        [this](qint64, const QString &message) {
            m_load.failed(message);
            emit listChanged();
        });
}

void InspectionItemDetailView::screenLeft()
{
    m_load.cancel();
    emit listChanged();
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

} // namespace orvelle
