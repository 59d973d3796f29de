#pragma once

#include "PhotoAlbum.h"
#include "PhotoListModel.h"

#include <QImage>
#include <QObject>
#include <functional>
#include <optional>

namespace orvelle {

class PhotoFileStore;

// The one way a photo enters a form: taken (camera) or decoded (album file),
// encoded once into the JPEG the file store gets, written into the photo
// store under its hash, with a thumbnail made while the picture is in memory.
// The work runs on two low-priority threads, so the GUI thread never waits
// for it and at most two full pictures exist at once, however many the user
// picks. Results come back on the intake's thread; none after it is gone.
class PhotoIntake : public QObject
{
    Q_OBJECT

public:
    // Covers a photo tile at any screen density; a preview reads the file.
    static constexpr int thumbnailLongSide = 320;
    using Done = std::function<void(const std::optional<StoredPhoto> &photo)>;
    // `readable` is false when the file gave no picture; a readable file
    // without a photo could not be stored.
    using FileDone = std::function<void(const std::optional<StoredPhoto> &photo, bool readable)>;

    explicit PhotoIntake(PhotoFileStore &store, QObject *parent = nullptr);

    // With `album`, the user's own copy is saved from the same picture, so
    // the caller can let go of it at once.
    void keepImage(const QImage &image, Done done, std::optional<PhotoAlbum> album = std::nullopt);
    // Decoded within largestPicture.
    void keepFile(const QString &path, FileDone done);
    // Photos already stored (a draft's), one by one in the order given;
    // those whose file is gone or unreadable are left out.
    void recall(const QStringList &hashes, std::function<void(const StoredPhoto &)> each);
    // A camera picture shrunk to `size` for its preview.
    void scaleForPreview(const QImage &picture, const QSize &size,
                         std::function<void(const QImage &preview)> done);

    int pending() const { return m_pending; }
    // Runs `action` at once, or once nothing is pending. A later call
    // replaces an action still waiting.
    void whenSettled(std::function<void()> action);
    // Camera pictures (given to keepImage or scaleForPreview) that the
    // intake's threads still hold: a camera takes the next at 0, so one full
    // picture at most is in memory on that road.
    int picturesHeld() const { return m_picturesHeld; }

signals:
    void pendingChanged();
    void picturesHeldChanged();

private:
    struct Encoded
    {
        QByteArray jpeg;
        QImage thumbnail;
    };
    static Encoded encode(const QImage &image);
    // `work` on the intake's threads, then `then` here while the intake lives.
    template <typename Work, typename Then> void run(Work work, Then then);
    void store(const Encoded &encoded, const FileDone &done);
    void deliverInTurn(QList<StoredPhoto> photos,
                       const std::function<void(const StoredPhoto &)> &each);
    void begin();
    void end();
    void holdPicture();
    void releasePicture();

    PhotoFileStore &m_store;
    int m_pending = 0;
    int m_picturesHeld = 0;
    std::function<void()> m_whenSettled;
};

} // namespace orvelle
