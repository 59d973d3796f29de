#pragma once

#include <QImage>
#include <QVideoFrame>

namespace orvelle {

// A still image as a video frame in memory: the camera stand-in's frames and
// the captured photo shown in the preview while the user decides.
QVideoFrame videoFrameFromImage(const QImage &image);

} // namespace orvelle
