#include "Loopback.h"

#include "net/PhotoUploader.h"
#include "outbox/FilingProgress.h"
#include "photos/PhotoIntake.h"
#include "support/https/HttpsTestServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <limits>
#include <memory>
#include <thread>
#include <turbojpeg.h>

namespace orvelle::bench {

namespace {
qint64 encodeFloor(const QList<QImage> &photos, const QString &dir)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> workers;
    for (int i = 0; i < photos.size(); ++i) {
        workers.emplace_back([&photos, &dir, i] {
            const QImage &photo = photos[i];
            tjhandle encoder = tjInitCompress();
            unsigned char *jpeg = nullptr;
            unsigned long size = 0;
            tjCompress2(encoder, photo.constBits(), photo.width(), int(photo.bytesPerLine()),
                        photo.height(), TJPF_BGRX, &jpeg, &size, TJSAMP_420, 50, 0);
            QFile out(QStringLiteral("%1/%2.jpg").arg(dir).arg(i));
            if (out.open(QIODevice::WriteOnly))
                out.write(reinterpret_cast<const char *>(jpeg), qint64(size));
            tjFree(jpeg);
            tjDestroy(encoder);
        });
    }
    for (auto &worker : workers)
        worker.join();
    return clock.elapsed();
}

qint64 postFloor(int count, const QString &dir, const QString &url)
{
    QStringList args{"--parallel", "--parallel-max", QString::number(count)};
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            args << "--next";
        args << "-s"
             << "-o"
             << "/dev/null"
             << "-H"
             << "Expect:" // the body goes at once, as the client sends it
             << "--cacert" << QString::fromStdString(test::HttpsTestServer::caFile()) << "-F"
             << QStringLiteral("file=@%1/%2.jpg;filename=image.png;type=image/*").arg(dir).arg(i)
             << url;
    }
    QElapsedTimer clock;
    clock.start();
    QProcess curl;
    curl.start(QStringLiteral(ORVELLE_CURL), args);
    curl.waitForFinished(-1);
    return clock.elapsed();
}

std::size_t wholeRequests(const test::HttpsTestServer &server)
{
    std::size_t whole = 0;
    for (const test::RecordedRequest &request : server.requests())
        whole += request.complete ? 1 : 0;
    return whole;
}

void encodeAndUpload(PhotoUploader &uploader, PhotoIntake &intake, FilingProgress &progress,
                     const QList<QImage> &photos,
                     std::function<void(bool allStored, const QList<StoredPhoto> &)> done)
{
    auto stored = std::make_shared<QList<StoredPhoto>>();
    auto allStored = std::make_shared<bool>(true);
    const auto upload = [=, &uploader, &progress] {
        QList<FilingProgress::Photo> sizes;
        for (const StoredPhoto &photo : *stored)
            sizes.append({photo.hash, QFileInfo(photo.file).size()});
        progress.begin(false, sizes);
        auto left = std::make_shared<int>(int(stored->size()));
        for (const StoredPhoto &photo : *stored)
            uploader.uploadFile(
                photo.file, &uploader,
                [=, &progress](const std::optional<QString> &address, bool) {
                    *allStored = *allStored && address;
                    if (address)
                        progress.photoStored(photo.hash);
                    if (--*left == 0) {
                        progress.end();
                        done(*allStored, *stored);
                    }
                },
                [&progress, hash = photo.hash](qint64 sent, qint64 total) {
                    progress.photoSending(hash, sent, total);
                });
    };
    auto encoding = std::make_shared<int>(int(photos.size()));
    for (const QImage &photo : photos) {
        intake.keepImage(photo, [=](const std::optional<StoredPhoto> &kept) {
            *allStored = *allStored && kept;
            if (kept)
                stored->append(*kept);
            if (--*encoding == 0)
                upload();
        });
    }
}
} // namespace

Floor uploadFloor(const QList<QImage> &photos, const QString &dir, const QString &url,
                  test::HttpsTestServer &server, int runs)
{
    // Best of three here and for the client alike: on a shared machine one
    // run may lose its core for a while, and curl now and then waits a
    // second for "100 Continue". Like the client's, the floor's best is one
    // run's encoding and sending together, not the best of each apart.
    Floor floor;
    floor.ms = std::numeric_limits<qint64>::max();
    const std::size_t before = wholeRequests(server);
    for (int run = 0; run < runs; ++run) {
        const qint64 encoded = encodeFloor(photos, dir);
        const qint64 posted = postFloor(int(photos.size()), dir, url);
        if (encoded + posted < floor.ms)
            floor = {encoded + posted, encoded, posted, false};
    }
    floor.ok = wholeRequests(server) - before == std::size_t(runs) * std::size_t(photos.size());
    return floor;
}

ClientUploads clientUploads(PhotoUploader &uploader, PhotoIntake &intake, FilingProgress &progress,
                            const QList<QImage> &photos, int runs)
{
    ClientUploads figures;
    figures.ms = std::numeric_limits<qint64>::max();
    for (int run = 0; run < runs; ++run) {
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        encodeAndUpload(uploader, intake, progress, photos,
                        [&](bool allStored, const QList<StoredPhoto> &stored) {
                            figures.allStored = figures.allStored && allStored;
                            figures.stored = stored;
                            loop.quit();
                        });
        loop.exec();
        figures.ms = std::min(figures.ms, clock.elapsed());
    }
    return figures;
}

} // namespace orvelle::bench
