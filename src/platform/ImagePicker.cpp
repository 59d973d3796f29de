#include "ImagePicker.h"

#include "ImageFiles.h"
#include "PhotoIntake.h"
#include "PhotoListModel.h"

namespace orvelle {

ImagePicker::ImagePicker(PhotoListModel &selectedImages, PhotoIntake &intake, QObject *parent)
    : QObject(parent)
    , m_selectedImages(&selectedImages)
    , m_intake(intake)
{
    connect(&selectedImages, &PhotoListModel::countChanged, this, &ImagePicker::changed);
}

int ImagePicker::selectionLimit() const
{
    const int held = m_selectedImages ? m_selectedImages->count() : maximumPhotos;
    return qMax(0, maximumPhotos - held);
}

void ImagePicker::pick(const QList<QUrl> &files)
{
    const int limit = selectionLimit();
    const QList<QUrl> taken = limit > 0 ? files.first(qMin(limit, int(files.size()))) : files;
    for (const QUrl &url : taken) {
        const QString path = localImagePath(url);
        if (path.isEmpty())
            continue;
        ++m_pendingLoads;
        m_intake.keepFile(
            path, [this, guard = QPointer(this)](const std::optional<StoredPhoto> &photo) {
                if (!guard)
                    return;
                // Checked here, at the moment of the append: loads that finish
                // together, or a host that added photos meanwhile, cannot push
                // the list past the maximum.
                if (photo && m_selectedImages && m_selectedImages->count() < maximumPhotos)
                    m_selectedImages->append(*photo);
                --m_pendingLoads;
                emit changed();
                if (m_pendingLoads == 0)
                    emit loadsFinished();
            });
    }
    emit changed();
    if (m_pendingLoads == 0)
        emit loadsFinished();
}

} // namespace orvelle
