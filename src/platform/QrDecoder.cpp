#include "QrDecoder.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

namespace orvelle {

namespace {
ZXing::DecodeHints qrHints()
{
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    return hints;
}

QrReading read(const ZXing::ImageView &view)
{
    const ZXing::Result result = ZXing::ReadBarcode(view, qrHints());
    if (result.isValid())
        return {QString::fromStdString(result.text()), {}};
    if (result.error())
        return {std::nullopt, QString::fromStdString(ZXing::ToString(result.error()))};
    return {};
}

// Luminance of planar and semi-planar YUV frames is their first plane; packed
// 4:2:2 frames carry it in every second byte. Those need no conversion at all.
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
} // namespace

QrReading decodeQr(const QImage &image)
{
    if (image.isNull())
        return {std::nullopt, QStringLiteral("empty image")};
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    return read(ZXing::ImageView(gray.constBits(), gray.width(), gray.height(),
                                 ZXing::ImageFormat::Lum, int(gray.bytesPerLine())));
}

QrReading decodeQr(const QVideoFrame &source)
{
    // The copy shares the buffer; mapping it here keeps the GUI thread free.
    QVideoFrame frame = source;
    if (!frame.isValid() || !frame.map(QVideoFrame::ReadOnly))
        return {std::nullopt, QStringLiteral("frame could not be mapped")};
    const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
    QrReading reading;
    if (const auto luma = lumaLayout(format)) {
        reading = read(ZXing::ImageView(frame.bits(0) + luma->offset, frame.width(), frame.height(),
                                        ZXing::ImageFormat::Lum, frame.bytesPerLine(0),
                                        luma->pixelStride));
    } else if (format == QVideoFrameFormat::Format_Jpeg) {
        reading = decodeQr(QImage::fromData(frame.bits(0), frame.mappedBytes(0)));
    } else if (const QImage::Format imageFormat =
                   QVideoFrameFormat::imageFormatFromPixelFormat(format);
               imageFormat != QImage::Format_Invalid) {
        const QImage view(frame.bits(0), frame.width(), frame.height(), frame.bytesPerLine(0),
                          imageFormat);
        reading = decodeQr(view);
    } else {
        reading.problem = QStringLiteral("unsupported pixel format %1").arg(int(format));
    }
    frame.unmap();
    return reading;
}

} // namespace orvelle
