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

} // namespace

QrReading decodeQr(const QImage &image)
{
    if (image.isNull())
        return {std::nullopt, QStringLiteral("empty image")};
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    return read(ZXing::ImageView(gray.constBits(), gray.width(), gray.height(),
                                 ZXing::ImageFormat::Lum, int(gray.bytesPerLine())));
}

} // namespace orvelle
