#include "ImageFiles.h"

#include <QImageReader>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <vector>

namespace orvelle {

namespace {
qint64 pixelsOf(const QSize &size)
{
    return qint64(size.width()) * size.height();
}

// Within largestPicture, at the eighths a JPEG decoder scales by while it
// reads (rounded up, as it rounds), so nothing is scaled after decoding.
QSize keptSize(const QSize &full)
{
    if (pixelsOf(full) <= largestPicture)
        return full;
    for (qint64 eighths = 7; eighths > 0; --eighths) {
        const QSize scaled(int((full.width() * eighths + 7) / 8),
                           int((full.height() * eighths + 7) / 8));
        if (pixelsOf(scaled) <= largestPicture)
            return scaled;
    }
    const double factor = std::sqrt(double(largestPicture) / double(pixelsOf(full)));
    return QSize(std::max(1, int(full.width() * factor)), std::max(1, int(full.height() * factor)));
}

// Where each of `count` samples spread evenly over `length` pixels falls.
std::vector<int> samplePositions(int count, int length)
{
    std::vector<int> positions(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        positions[size_t(i)] = int(i * qint64(length) / count);
    return positions;
}

// Each pixel averages a grid of samples spread over the area it covers.
QImage averagedSamples(const QImage &image, QSize size)
{
    constexpr int grid = 4;
    const std::vector<int> columns = samplePositions(size.width() * grid, image.width());
    const std::vector<int> rows = samplePositions(size.height() * grid, image.height());
    const uchar *const pixels = image.constBits();
    const qsizetype stride = image.bytesPerLine();
    QImage scaled(size, image.format());
    for (int y = 0; y < size.height(); ++y) {
        std::array<const QRgb *, grid> lines{};
        for (int sy = 0; sy < grid; ++sy)
            lines[size_t(sy)] =
                reinterpret_cast<const QRgb *>(pixels + rows[size_t(y * grid + sy)] * stride);
        auto *out = reinterpret_cast<QRgb *>(scaled.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            std::array<quint32, 4> sum{};
            for (const QRgb *line : lines) {
                for (int sx = 0; sx < grid; ++sx) {
                    const QRgb pixel = line[columns[size_t(x * grid + sx)]];
                    for (int channel = 0; channel < 4; ++channel)
                        sum[size_t(channel)] += (pixel >> (8 * channel)) & 0xff;
                }
            }
            QRgb averaged = 0;
            for (int channel = 0; channel < 4; ++channel)
                averaged |= (sum[size_t(channel)] / (grid * grid)) << (8 * channel);
            out[x] = averaged;
        }
    }
    return scaled;
}
} // namespace

QImage readPicture(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    // The size as shown, after the EXIF turn, which the scaled size is too.
    if (const QSize full = reader.size(); full.isValid() && keptSize(full) != full)
        reader.setScaledSize(keptSize(full));
    return reader.read();
}

QString localImagePath(const QUrl &url)
{
    if (url.isLocalFile())
        return url.toLocalFile();
    if (url.scheme().isEmpty())
        return url.path();
    return {};
}

QSize fittedSize(const QSize &source, const QSize &bound, Qt::AspectRatioMode mode)
{
    if (bound.width() > 0 && bound.height() > 0 && mode == Qt::IgnoreAspectRatio)
        return bound.boundedTo(source);
    QSize target;
    if (bound.width() > 0 && bound.height() > 0)
        target = source.scaled(bound, mode);
    else if (bound.width() > 0)
        target = source.scaled(bound.width(), INT_MAX, Qt::KeepAspectRatio);
    else if (bound.height() > 0)
        target = source.scaled(INT_MAX, bound.height(), Qt::KeepAspectRatio);
    else
        return source;
    if (target.width() >= source.width() || target.height() >= source.height())
        return source;
    return target.expandedTo({1, 1});
}

QImage readFitted(const QString &path, const QSize &bound, Qt::AspectRatioMode mode)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (const QSize full = reader.size(); full.isValid() && fittedSize(full, bound, mode) != full)
        reader.setScaledSize(fittedSize(full, bound, mode));
    return reader.read();
}

QImage shrunk(const QImage &image, const QSize &size)
{
    if (size.width() >= image.width() && size.height() >= image.height())
        return image;
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return averagedSamples(image, size);
    default:
        // Rare in photos (palettes, grey, 16 bits): Qt's own filter.
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
}

QStringList pictureNameFilters()
{
    // What phones and cameras save; the rest Qt reads (icons, SVG) is no photo.
    static const std::array<QByteArray, 11> photoFormats{
        "jpg", "jpeg", "png", "heic", "heif", "webp", "avif", "bmp", "gif", "tif", "tiff"};
    const QList<QByteArray> readable = QImageReader::supportedImageFormats();
    QStringList patterns;
    for (const QByteArray &format : photoFormats)
        if (readable.contains(format))
            patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return {QStringLiteral("图片 (%1)").arg(patterns.join(u' '))};
}

} // namespace orvelle
