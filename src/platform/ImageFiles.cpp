#include "ImageFiles.h"

#include <QImageReader>
#include <QtConcurrent>

namespace orvelle {

QFuture<QImage> loadImageFile(const QString &path)
{
    return QtConcurrent::run([path] {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        return reader.read();
    });
}

QString localImagePath(const QUrl &url)
{
    if (url.isLocalFile())
        return url.toLocalFile();
    if (url.scheme().isEmpty())
        return url.path();
    return {};
}

} // namespace orvelle
