#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

// The most pixels a photo is kept with: a 12-megapixel camera's picture,
// 48 MiB decoded. Larger pictures are kept at a fraction of their size.
constexpr qint64 largestPicture = 4096 * 3072;

// Decodes a picture file with its EXIF orientation applied, within
// `largestPicture`: a larger JPEG is decoded at the largest eighth of its
// size that fits (the decoder scales while it reads, so the whole picture
// never exists, nor passes Qt's allocation limit). A file that is missing,
// unreadable or not an image gives a null image, never a crash.
QImage readPicture(const QString &path);

// The local path of a file dialog's answer ("file:" URL or plain path);
// empty for anything else.
QString localImagePath(const QUrl &url);

// The size `source` takes in `bound`, never larger than `source`. With both
// sides given: covering it (KeepAspectRatioByExpanding, for cropped tiles),
// within it (KeepAspectRatio) or exactly it (IgnoreAspectRatio, for a
// stretched picture). With one side: within that side. With none: `source`.
QSize fittedSize(const QSize &source, const QSize &bound,
                 Qt::AspectRatioMode mode = Qt::KeepAspectRatioByExpanding);

// Decodes only as much as fittedSize(bound, mode) needs, with its EXIF
// orientation applied: a JPEG is read at a fraction of its size, so a camera
// photo never exists in full. Null when the data is no image.
QImage readFitted(const QString &path, const QSize &bound,
                  Qt::AspectRatioMode mode = Qt::KeepAspectRatioByExpanding);

// `image` at `size`, each pixel an average of samples over the area it
// covers: no copy of the picture is made, so a camera photo becomes a tile
// or a preview in a few million reads.
QImage shrunk(const QImage &image, const QSize &size);

// The file dialogs' choice of pictures: only the formats this Qt reads,
// asked at run time (HEIC and WebP need plugins a device may lack).
QStringList pictureNameFilters();

// pictureNameFilters() for the pages' file dialogs.
class PictureFormats : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QStringList nameFilters READ nameFilters CONSTANT)

public:
    using QObject::QObject;
    QStringList nameFilters() const { return pictureNameFilters(); }
};

} // namespace orvelle
