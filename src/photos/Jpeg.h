#pragma once

#include <QByteArray>
#include <QImage>

namespace orvelle {

// `photo` as JPEG at `quality` (1 to 100). Empty when it cannot be encoded.
// Slow for camera-sized photos: call it off the GUI thread.
QByteArray encodeJpeg(const QImage &photo, int quality);

// A photo as the file store gets it (and as a draft keeps it): quality 50.
inline QByteArray uploadJpeg(const QImage &photo)
{
    return encodeJpeg(photo, 50);
}

} // namespace orvelle
