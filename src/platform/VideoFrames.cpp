#include "VideoFrames.h"

#include <cstring>

namespace orvelle {

QVideoFrame videoFrameFromImage(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const QVideoFrameFormat format(
        image.size(), QVideoFrameFormat::pixelFormatFromImageFormat(QImage::Format_RGB32));
    QVideoFrame frame(format);
    if (image.isNull() || !frame.map(QVideoFrame::WriteOnly))
        return {};
    const qsizetype rowBytes = qMin<qsizetype>(image.bytesPerLine(), frame.bytesPerLine(0));
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(frame.bits(0) + qsizetype(y) * frame.bytesPerLine(0), image.constScanLine(y),
                    size_t(rowBytes));
    frame.unmap();
    return frame;
}

} // namespace orvelle
