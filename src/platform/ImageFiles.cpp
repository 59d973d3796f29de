#include "ImageFiles.h"

#include <QImageReader>
#include <QtConcurrent>
#include <climits>

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

QSize fittedSize(const QSize &source, const QSize &bound)
{
    QSize target;
    if (bound.width() > 0 && bound.height() > 0)
        target = source.scaled(bound, Qt::KeepAspectRatioByExpanding);
    else if (bound.width() > 0)
        target = source.scaled(bound.width(), INT_MAX, Qt::KeepAspectRatio);
    else if (bound.height() > 0)
        target = source.scaled(INT_MAX, bound.height(), Qt::KeepAspectRatio);
    else
        return source;
    if (target.width() >= source.width() || target.height() >= source.height())
        return source;
    return target.expandedTo({1, 1});
}

QImage readFitted(const QString &path, const QSize &bound)
{
    QImageReader reader(path);
    if (const QSize full = reader.size(); full.isValid() && fittedSize(full, bound) != full)
        reader.setScaledSize(fittedSize(full, bound));
    return reader.read();
}

} // namespace orvelle
