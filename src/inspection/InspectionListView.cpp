#include "InspectionListView.h"

#include "InspectionItemDetailView.h"

#include <QTimer>

namespace orvelle {

InspectionListView::InspectionListView(ServiceClient &client, const AppConfig &config, User &user,
                                       CameraProvider &cameras, Beeper &beeper, QObject *parent)
    : TaskListView(QStringLiteral("今日检查"), client, config, user, cameras, beeper, parent)
{}

InspectionListView::~InspectionListView()
{
    delete m_detail.data();
}

void InspectionListView::setNavigateToDetail(bool on)
{
    if (on == navigateToDetail())
        return;
    m_navigateToDetail = on;
    if (on) {
        if (m_detail)
            m_detail->deleteLater();
        m_detail = new InspectionItemDetailView(m_client, m_notesServer, m_user,
                                                m_key.value_or(QString()), this);
    }
    emit changed();
    if (!on)
        appeared();
}

void InspectionListView::pick(int row)
{
    if (row < 0 || row >= checkitems()->rowCount())
        return;
    m_key = rowKey(row);
    emit changed();
    setNavigateToDetail(true);
}

void InspectionListView::keyScanned(const QString &key)
{
    m_key = key;
    setIsScannerPresented(false);
    // The scanner is asked to close before the next screen opens.
    QTimer::singleShot(0, this, [this] { setNavigateToDetail(true); });
}

} // namespace orvelle
