#include "VideoFrames.h"

#include <cstring>
#include <optional>

namespace orvelle {

namespace {
// Luminance of planar and semi-planar YUV frames is their first plane; packed
// 4:2:2 frames carry it in every second byte.
struct LumaLayout
{
    int offset = 0;
    int pixelStride = 1;
};

std::optional<LumaLayout> lumaLayout(QVideoFrameFormat::PixelFormat format)
{
    using F = QVideoFrameFormat;
    switch (format) {
    case F::Format_YUV420P:
    case F::Format_YUV422P:
    case F::Format_YV12:
    case F::Format_NV12:
    case F::Format_NV21:
    case F::Format_IMC1:
    case F::Format_IMC2:
    case F::Format_IMC3:
    case F::Format_IMC4:
    case F::Format_Y8:
        return LumaLayout{};
    case F::Format_YUYV:
        return LumaLayout{0, 2};
    case F::Format_UYVY:
        return LumaLayout{1, 2};
    default:
        return std::nullopt;
    }
}

QImage copyLuma(const QVideoFrame &frame, LumaLayout layout)
{
    QImage luma(frame.width(), frame.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < luma.height(); ++y) {
        const uchar *row = frame.bits(0) + qsizetype(y) * frame.bytesPerLine(0) + layout.offset;
        uchar *out = luma.scanLine(y);
        if (layout.pixelStride == 1) {
            std::memcpy(out, row, size_t(luma.width()));
        } else {
            for (int x = 0; x < luma.width(); ++x)
                out[x] = row[x * layout.pixelStride];
        }
    }
    return luma;
}
} // namespace

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

QImage lumaOf(const QVideoFrame &source)
{
    // The copy shares the buffer; only its mapping is ours.
    QVideoFrame frame = source;
    if (!frame.isValid() || !frame.map(QVideoFrame::ReadOnly))
        return {};
    const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
    QImage luma;
    if (const auto layout = lumaLayout(format)) {
        luma = copyLuma(frame, *layout);
    } else if (format == QVideoFrameFormat::Format_Jpeg) {
        luma = QImage::fromData(frame.bits(0), frame.mappedBytes(0))
                   .convertToFormat(QImage::Format_Grayscale8);
    } else if (const QImage::Format imageFormat =
                   QVideoFrameFormat::imageFormatFromPixelFormat(format);
               imageFormat != QImage::Format_Invalid) {
        luma =
            QImage(frame.bits(0), frame.width(), frame.height(), frame.bytesPerLine(0), imageFormat)
                .convertToFormat(QImage::Format_Grayscale8);
    }
    frame.unmap();
    return luma;
}

} // namespace orvelle
