#include "OnInspectionListView.h"

#include "DetailedOnspectionListView.h"
#include "photos/CameraPicker.h"
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

void OnInspectionListView::checkPointChosen()
{
    if (!offline() || selectedSheetKept())
        return setShowCameraPicker(true);
    // Said before the photo is taken, not after, on a sheet that cannot load.
    const std::optional<QString> name = selectedName();
    alert()->show(name ? QStringLiteral("“%1”的检查表还没有保存到手机上，没有网络时无法打开。"
                                        "请到有网络的地方打开“现场检查”，等检查表保存后再来。")
                             .arg(*name)
                       : QStringLiteral("扫描的检查点（%1）不在手机上保存的今日检查点中，"
                                        "没有网络时无法打开它的检查表。")
                             .arg(selectedKeyText()));
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
        emit cameraPickerChanged();
        return;
    }
    m_cameraPicker->disconnect(this);
    m_cameraPicker->deleteLater();
    m_cameraPicker = nullptr;
    emit cameraPickerChanged();
    m_intake.whenSettled([this] {
        if (m_selectedImages.count() > 0 && m_selectedKey && !showCameraPicker())
            setNavigateToDetail(true);
    });
}

void OnInspectionListView::setNavigateToDetail(bool on)
{
    if (!m_detail.setOpen(on, [this] {
            auto *sheet = new DetailedOnspectionListView(m_forms, m_selectedImages.hashes(),
                                                         m_selectedKey.value_or(QString()), this);
            connect(sheet, &DetailedOnspectionListView::finished, this,
                    [this] { setNavigateToDetail(false); });
            return sheet;
        }))
        return;
    emit detailChanged();
    if (!on)
        appeared();
}

} // namespace orvelle
