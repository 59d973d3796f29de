#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace orvelle {

// Where photos live as files named by their content. The device store is
// one; the camera and album pickers write through this, without knowing it.
class PhotoFileStore
{
public:
    // hashes are in the order of the given JPEGs; error is empty on success.
    using PhotosDone = std::function<void(const QStringList &hashes, const QString &error)>;

    virtual ~PhotoFileStore() = default;

    // Writes the JPEG bytes as given, off the caller's thread; done runs on
    // the caller's thread unless context is gone. A photo already on disk is
    // not written again.
    virtual void storePhotos(const QList<QByteArray> &jpegs, QObject *context, PhotosDone done) = 0;
    virtual QString photoFile(const QString &hash) const = 0;
};

} // namespace orvelle
