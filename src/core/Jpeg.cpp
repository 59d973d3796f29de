#include "Jpeg.h"

#include <QBuffer>
#include <QImageWriter>

namespace orvelle {

QByteArray uploadJpeg(const QImage &photo)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(50);
    if (photo.isNull() || !writer.write(photo))
        return {};
    return bytes;
}

} // namespace orvelle
