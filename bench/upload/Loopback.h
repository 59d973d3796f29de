#pragma once

// The photos over loopback HTTPS, with nothing in the way: what the client's
// own encoding and sending cost next to a floor taken in the same run, the
// same images encoded in parallel by libjpeg-turbo, then the same bytes
// posted in parallel by curl.

#include "photos/PhotoListModel.h"

#include <QImage>
#include <QList>
#include <QString>

namespace orvelle {
class FilingProgress;
class PhotoIntake;
class PhotoUploader;
namespace test {
class HttpsTestServer;
}
} // namespace orvelle

namespace orvelle::bench {

struct Floor
{
    qint64 ms = 0;
    qint64 encodeMs = 0;
    qint64 postMs = 0;
    // Every photo of every run reached the server whole.
    bool ok = false;
};

// The best of `runs`, each one run's encoding and sending together.
Floor uploadFloor(const QList<QImage> &photos, const QString &dir, const QString &url,
                  test::HttpsTestServer &server, int runs);

struct ClientUploads
{
    qint64 ms = 0;
    bool allStored = true;
    // The photos as the intake stored them.
    QList<StoredPhoto> stored;
};

// The client's road, best of `runs`: the photo intake encodes and stores
// each photo off the GUI thread; the stored files are then sent as they are,
// the progress following every photo's bytes.
ClientUploads clientUploads(PhotoUploader &uploader, PhotoIntake &intake, FilingProgress &progress,
                            const QList<QImage> &photos, int runs);

} // namespace orvelle::bench
