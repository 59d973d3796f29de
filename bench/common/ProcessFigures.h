#pragma once

// What the benchmarks measure of their own process (memory from
// /proc/self/status) and the camera-sized pictures they measure it with.
// How long the GUI thread went without a turn is in StallWatch.h.

#include <QFile>
#include <QImage>
#include <QRandomGenerator>

namespace orvelle::bench {

constexpr int photoWidth = 4000, photoHeight = 3000;

// Gradients with noise on top, so the encoder has real detail to work on,
// as in a camera's picture. The noise's amplitude sets what the JPEG weighs:
// at the client's quality 64 gives about 2.1 MB, 20 about 0.8 MB.
inline QImage syntheticPhoto(quint32 seed, quint32 noiseAmplitude = 64)
{
    QImage image(photoWidth, photoHeight, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < photoHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < photoWidth; ++x) {
            const int noise = int(random.bounded(noiseAmplitude)) - int(noiseAmplitude / 2);
            line[x] = qRgb(qBound(0, x * 255 / photoWidth + noise, 255),
                           qBound(0, y * 255 / photoHeight + noise, 255),
                           qBound(0, int((x + y + seed * 97) % 256) + noise, 255));
        }
    }
    return image;
}

// A field of /proc/self/status ("VmRSS:", "VmHWM:"), in KiB.
inline long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

} // namespace orvelle::bench
