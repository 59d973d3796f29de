#include "InspectionListView.h"

#include "InspectionItemDetailView.h"

namespace orvelle {

InspectionListView::InspectionListView(ServiceClient &client, const AppConfig &config, User &user,
                                       CameraProvider &cameras, Beeper &beeper, QObject *parent)
    : TaskListView(QStringLiteral("今日检查"), client, config, user, cameras, beeper, parent)
{}

InspectionListView::~InspectionListView() = default;

void InspectionListView::setNavigateToDetail(bool on)
{
    if (!m_detail.setOpen(on, [this] {
            return new InspectionItemDetailView(m_client, m_notesServer, m_user,
                                                m_selectedKey.value_or(QString()), this);
        }))
        return;
    emit detailChanged();
    if (!on)
        appeared();
}

} // namespace orvelle
