#include "ImagePicker.h"

#include "PhotoIntake.h"
#include "PhotoListModel.h"
#include "platform/ImageFiles.h"

#include <QFileInfo>
#include <utility>

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
        if (path.isEmpty()) {
            m_unreadable << (url.fileName().isEmpty() ? url.toDisplayString() : url.fileName());
            continue;
        }
        ++m_pendingLoads;
        m_intake.keepFile(path, [this, guard = QPointer(this), name = QFileInfo(path).fileName()](
                                    const std::optional<StoredPhoto> &photo, bool readable) {
            if (!guard)
                return;
            // Checked here, at the moment of the append: loads that finish
            // together, or a host that added photos meanwhile, cannot push
            // the list past the maximum.
            if (photo && m_selectedImages && m_selectedImages->count() < maximumPhotos)
                m_selectedImages->append(*photo);
            else if (!photo)
                (readable ? m_notStored : m_unreadable) << name;
            --m_pendingLoads;
            loadEnded();
        });
    }
    loadEnded();
}

void ImagePicker::loadEnded()
{
    emit changed();
    if (m_pendingLoads > 0)
        return;
    if (const QString message =
            pickProblem(std::exchange(m_unreadable, {}), std::exchange(m_notStored, {}));
        !message.isEmpty())
        emit problem(message);
    emit loadsFinished();
}

QString pickProblem(const QStringList &unreadable, const QStringList &notStored)
{
    QStringList lines;
    if (!unreadable.isEmpty())
        lines << QStringLiteral("无法读取图片：%1").arg(unreadable.join(u'、'));
    if (!notStored.isEmpty())
        lines << QStringLiteral("图片未能保存：%1").arg(notStored.join(u'、'));
    return lines.join(u'\n');
}

} // namespace orvelle
