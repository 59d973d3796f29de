#include "ImagePicker.h"

#include "ImageFiles.h"
#include "PhotoListModel.h"

#include <algorithm>

namespace orvelle {

ImagePicker::ImagePicker(PhotoListModel &selectedImages, QObject *parent)
    : QObject(parent)
    , m_selectedImages(&selectedImages)
{
    connect(&selectedImages, &PhotoListModel::countChanged, this, &ImagePicker::changed);
}

ImagePicker::~ImagePicker() = default;

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
        auto watcher = std::make_unique<QFutureWatcher<QImage>>();
        QFutureWatcher<QImage> *raw = watcher.get();
        connect(raw, &QFutureWatcherBase::finished, this, [this, raw] { loaded(raw); });
        raw->setFuture(loadImageFile(path));
        m_loads.push_back(std::move(watcher));
    }
    emit changed();
    if (m_loads.empty())
        emit loadsFinished();
}

void ImagePicker::loaded(QFutureWatcher<QImage> *watcher)
{
    const QImage image = watcher->result();
    // Checked here, on the GUI thread, at the moment of the append: loads that
    // finish together, or a host that added photos meanwhile, cannot push the
    // list past the maximum.
    if (!image.isNull() && m_selectedImages && m_selectedImages->count() < maximumPhotos)
        m_selectedImages->append(image);
    // It is still emitting: let it go after the signal has returned.
    const auto it = std::find_if(m_loads.begin(), m_loads.end(),
                                 [watcher](const auto &load) { return load.get() == watcher; });
    if (it != m_loads.end()) {
        it->release()->deleteLater();
        m_loads.erase(it);
    }
    emit changed();
    if (m_loads.empty())
        emit loadsFinished();
}

} // namespace orvelle
