#pragma once

#include <QImage>
#include <QRandomGenerator>
#include <QString>

#define ZX_USE_UTF8 1
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

namespace orvelle::test {

// A barcode drawn by ZXing's encoder, black on white with a quiet zone.
inline QImage barcodeImage(const QString &text, ZXing::BarcodeFormat format, int width, int height)
{
    const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(format)
                                        .setEncoding(ZXing::CharacterSet::UTF8)
                                        .setMargin(10)
                                        .encode(text.toStdString(), width, height);
    QImage image(matrix.width(), matrix.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < matrix.height(); ++y)
        for (int x = 0; x < matrix.width(); ++x)
            image.scanLine(y)[x] = matrix.get(x, y) ? 0 : 255;
    return image;
}

inline QImage qrImage(const QString &text, int size = 300)
{
    return barcodeImage(text, ZXing::BarcodeFormat::QRCode, size, size);
}

inline QImage noiseImage(int width, int height, quint32 seed = 7)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return image;
}

} // namespace orvelle::test
