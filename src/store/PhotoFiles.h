#pragma once

#include <QByteArray>
#include <QSet>
#include <QStringList>

// File work of the photo store. write() runs on a worker thread, so these
// functions touch nothing but the files they are given.
namespace orvelle::photofiles {

// Lower-case hex SHA-256 of the bytes: the photo's name and identity.
QString hashOf(const QByteArray &jpeg);
bool isHash(const QString &text);
QString fileName(const QString &hash);

// Owner-only mode (0700 folders, 0600 files), whatever the umask was.
bool ownerOnly(const QString &path, bool isFolder);
// Makes the folder and any missing parents; 0, or the system's error number.
int makeFolder(const QString &path);
// Puts the folder's entries on disk: a rename inside it (a file saved
// whole, a store moved aside) is otherwise lost to a power cut that the
// store's own commit would survive.
bool syncFolder(const QString &path);

struct Written
{
    QStringList hashes; // in the order given; empty when error is set
    QString error;
};
// Each JPEG atomically under its hash (one already there is left alone),
// the folder synced before it returns, so no row can name a photo that a
// power cut would take back.
Written write(const QString &folder, const QList<QByteArray> &jpegs);

// The file holds the photo of that hash, whole (it may be gone or damaged).
bool intact(const QString &file, const QString &hash);

// Deletes every file in folder except the photos in keep; the number deleted.
int removeExcept(const QString &folder, const QSet<QString> &keep);

} // namespace orvelle::photofiles
