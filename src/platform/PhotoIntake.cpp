#include "PhotoIntake.h"

#include "core/BackgroundTask.h"
#include "core/Jpeg.h"
#include "core/Logging.h"
#include "core/PhotoFileStore.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>
#include <vector>

namespace orvelle {

namespace {
// Each task holds one full picture (48 MB at 12 megapixels) while it runs,
// so two at most.
QThreadPool &intakePool()
{
    static QThreadPool *const pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 2));
        return created;
    }();
    return *pool;
}

// Decodes no more than the thumbnail needs: a JPEG is read at a fraction of
// its size, so a stored photo is never decoded whole for it.
QImage readThumbnail(QImageReader &reader)
{
    constexpr int side = PhotoIntake::thumbnailLongSide;
    const QSize full = reader.size();
    if (full.isValid() && std::max(full.width(), full.height()) > side)
        reader.setScaledSize(full.scaled(side, side, Qt::KeepAspectRatio).expandedTo({1, 1}));
    return reader.read();
}
// Where each of `count` samples spread evenly over `length` pixels falls.
std::vector<int> samplePositions(int count, int length)
{
    std::vector<int> positions(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        positions[size_t(i)] = int(i * qint64(length) / count);
    return positions;
}

// Each tile pixel averages a grid of samples spread over the area it covers:
// a few hundred thousand reads, no copy of the picture, nothing decoded twice.
QImage averagedSamples(const QImage &image, QSize size)
{
    constexpr int grid = 4;
    const std::vector<int> columns = samplePositions(size.width() * grid, image.width());
    const std::vector<int> rows = samplePositions(size.height() * grid, image.height());
    const uchar *const pixels = image.constBits();
    const qsizetype stride = image.bytesPerLine();
    QImage tile(size, image.format());
    for (int y = 0; y < size.height(); ++y) {
        std::array<const QRgb *, grid> lines{};
        for (int sy = 0; sy < grid; ++sy)
            lines[size_t(sy)] =
                reinterpret_cast<const QRgb *>(pixels + rows[size_t(y * grid + sy)] * stride);
        auto *out = reinterpret_cast<QRgb *>(tile.scanLine(y));
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
    return tile;
}

// From the picture still in memory, not by decoding the JPEG again.
QImage thumbnailOf(const QImage &image)
{
    constexpr int side = PhotoIntake::thumbnailLongSide;
    const QSize size = image.size().scaled(side, side, Qt::KeepAspectRatio).expandedTo({1, 1});
    if (std::max(image.width(), image.height()) <= side)
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
} // namespace

PhotoIntake::PhotoIntake(PhotoFileStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{}

PhotoIntake::Encoded PhotoIntake::encode(const QImage &image)
{
    Encoded encoded;
    if (image.isNull())
        return encoded;
    encoded.jpeg = uploadJpeg(image);
    if (!encoded.jpeg.isEmpty())
        encoded.thumbnail = thumbnailOf(image);
    return encoded;
}

template <typename Work, typename Then> void PhotoIntake::run(Work work, Then then)
{
    begin();
    // What comes back for a closed form is dropped.
    runInBackground(
        intakePool(), this,
        [work = std::move(work)]() mutable {
            yieldToTheGuiThread();
            return work();
        },
        std::move(then));
}

void PhotoIntake::keepImage(const QImage &image, Done done)
{
    run([image] { return encode(image); },
        [this, done = std::move(done)](const Encoded &encoded) { store(encoded, done); });
}

void PhotoIntake::keepFile(const QString &path, Done done)
{
    run(
        [path] {
            QImageReader reader(path);
            reader.setAutoTransform(true);
            return encode(reader.read());
        },
        [this, done = std::move(done)](const Encoded &encoded) { store(encoded, done); });
}

void PhotoIntake::store(const Encoded &encoded, const Done &done)
{
    if (encoded.jpeg.isEmpty() || encoded.thumbnail.isNull()) {
        done(std::nullopt);
        return end();
    }
    m_store.storePhotos(
        {encoded.jpeg}, this,
        [this, done, thumbnail = encoded.thumbnail](const QStringList &hashes,
                                                    const QString &error) {
            if (!error.isEmpty() || hashes.size() != 1) {
                qCWarning(lcStore) << "photo not stored:" << error;
                done(std::nullopt);
            } else {
                done(StoredPhoto{hashes.first(), m_store.photoFile(hashes.first()), thumbnail});
            }
            end();
        });
}

void PhotoIntake::recall(const QStringList &hashes, std::function<void(const StoredPhoto &)> each)
{
    QList<StoredPhoto> photos;
    for (const QString &hash : hashes)
        photos << StoredPhoto{hash, m_store.photoFile(hash), {}};
    run(
        [photos]() mutable {
            QList<StoredPhoto> read;
            for (StoredPhoto &photo : photos) {
                QImageReader reader(photo.file);
                photo.thumbnail = readThumbnail(reader);
                if (!photo.thumbnail.isNull())
                    read << photo;
            }
            return read;
        },
        [this, each = std::move(each)](const QList<StoredPhoto> &read) {
            deliverInTurn(read, each);
        });
}

void PhotoIntake::deliverInTurn(QList<StoredPhoto> photos,
                                const std::function<void(const StoredPhoto &)> &each)
{
    if (photos.isEmpty())
        return end();
    each(photos.takeFirst());
    // One tile per turn of the event loop: eight at once would stall a frame.
    QTimer::singleShot(0, this, [this, photos, each] { deliverInTurn(photos, each); });
}

void PhotoIntake::whenSettled(std::function<void()> action)
{
    if (m_pending > 0)
        m_whenSettled = std::move(action);
    else
        action();
}

void PhotoIntake::begin()
{
    ++m_pending;
    emit pendingChanged();
}

void PhotoIntake::end()
{
    --m_pending;
    emit pendingChanged();
    if (m_pending == 0)
        if (auto action = std::exchange(m_whenSettled, {}))
            action();
}

} // namespace orvelle
