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

} // namespace orvelle
