#include "OnInspectionListView.h"

#include "DetailedOnspectionListView.h"
#include "platform/CameraPicker.h"
#include "session/Session.h"

namespace orvelle {

OnInspectionListView::OnInspectionListView(FormServices &forms, const AppConfig &config,
                                           Beeper &beeper, QObject *parent)
    : TaskListView(QStringLiteral("现场检查"), forms.filing.client, config,
                   forms.filing.session.account(), forms.cameras, beeper, parent)
    , m_forms(forms)
    , m_selectedImages(this)
    , m_intake(forms.filing.store)
{
    setDeviceStore(&forms.filing.store);
}

OnInspectionListView::~OnInspectionListView()
{
    delete m_cameraPicker.data();
}

void OnInspectionListView::appeared()
{
    discardPhotos();
    TaskListView::appeared();
}

void OnInspectionListView::discardPhotos()
{
    m_selectedImages.clear();
}

void OnInspectionListView::setShowCameraPicker(bool on)
{
    if (on == showCameraPicker())
        return;
    if (on) {
        // A photo taken for a point whose sheet did not open is not this one's.
        discardPhotos();
        m_cameraPicker =
            new CameraPicker(m_cameras, m_intake, m_selectedImages, PhotoAlbum(), this);
        connect(m_cameraPicker, &CameraPicker::finished, this,
                [this] { setShowCameraPicker(false); });
        emit changed();
        return;
    }
    m_cameraPicker->disconnect(this);
    m_cameraPicker->deleteLater();
    m_cameraPicker = nullptr;
    emit changed();
    m_intake.whenSettled([this] {
        if (m_selectedImages.count() > 0 && m_selectedKey && !showCameraPicker())
            setNavigateToDetail(true);
    });
}

void OnInspectionListView::setNavigateToDetail(bool on)
{
    if (on == navigateToDetail())
        return;
    if (on) {
        DetailedOnspectionListView *sheet = m_detail.open([this] {
            return new DetailedOnspectionListView(m_forms, m_selectedImages.hashes(),
                                                  m_selectedKey.value_or(QString()), this);
        });
        connect(sheet, &DetailedOnspectionListView::finished, this,
                [this] { setNavigateToDetail(false); });
    } else {
        m_detail.view()->disconnect(this);
        m_detail.close();
    }
    emit changed();
    if (!on)
        appeared();
}

} // namespace orvelle
