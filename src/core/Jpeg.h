#pragma once

#include <QByteArray>
#include <QImage>

namespace orvelle {

// A photo as the file store gets it (and as a draft keeps it): JPEG at
// quality 50. Empty when it cannot be encoded. Slow for camera-sized photos:
// call it off the GUI thread.
QByteArray uploadJpeg(const QImage &photo);

} // namespace orvelle
