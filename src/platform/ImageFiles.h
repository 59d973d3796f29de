#pragma once

#include <QFuture>
#include <QImage>
#include <QString>
#include <QUrl>

namespace orvelle {

// Decodes an image file on the shared thread pool with its EXIF orientation
// applied. A file that is missing, unreadable or not an image gives a null
// image, never a crash.
QFuture<QImage> loadImageFile(const QString &path);

// The local path of a file dialog's answer ("file:" URL or plain path);
// empty for anything else.
QString localImagePath(const QUrl &url);

// The size `source` takes in `bound`: covering it when both sides are given
// (for cropped tiles), within the given side otherwise, the whole of it when
// neither is; never larger than `source`.
QSize fittedSize(const QSize &source, const QSize &bound);

// Decodes only as much as fittedSize(bound) needs: a JPEG is read at a
// fraction of its size, so a camera photo never exists in full. Null when
// the data is no image.
QImage readFitted(const QString &path, const QSize &bound);

} // namespace orvelle
