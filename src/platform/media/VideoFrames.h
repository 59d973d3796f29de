#pragma once

#include <QImage>
#include <QVideoFrame>

namespace orvelle {

// A still image as a video frame in memory: the camera stand-in's frames and
// the captured photo shown in the preview while the user decides.
QVideoFrame videoFrameFromImage(const QImage &image);

// The frame's luminance as a grayscale image of its own, for the QR decoder:
// maps the frame, so it belongs on a worker thread. Null when the frame cannot
// be mapped or its pixel format is unknown.
QImage lumaOf(const QVideoFrame &frame);

} // namespace orvelle
