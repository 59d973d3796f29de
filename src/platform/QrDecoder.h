#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace orvelle {

// What one look at an image found. `text` is set for a readable QR code;
// `problem` says why nothing was read when that is worth a log line (a code
// seen but not readable, a frame that could not be mapped). No code at all
// leaves both empty.
struct QrReading
{
    std::optional<QString> text;
    QString problem;
};

// ZXing restricted to QR codes; thread-safe, meant for worker threads. The
// camera frames (their luminance) and chosen image files go through it alike.
QrReading decodeQr(const QImage &image);

} // namespace orvelle
