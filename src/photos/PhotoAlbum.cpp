#include "PhotoAlbum.h"

#include "core/Logging.h"
#include "photos/Jpeg.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

namespace orvelle {

PhotoAlbum::PhotoAlbum(QString directory)
    : m_directory(std::move(directory))
{}

QString PhotoAlbum::defaultDirectory()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
        .filePath(QStringLiteral("Orvelle"));
}

void PhotoAlbum::save(const QImage &image) const
{
    if (image.isNull())
        return;
    // Site photos are the user's alone, like everything else the client keeps.
    constexpr auto fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QDir().mkpath(m_directory)
        || !QFile::setPermissions(m_directory, fileMode | QFileDevice::ExeOwner)) {
        qCDebug(lcStore) << "Cannot create the photo folder" << m_directory;
        return;
    }
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QDir directory(m_directory);
    QString name = directory.filePath(QStringLiteral("IMG-%1.jpg").arg(stamp));
    for (int n = 2; QFile::exists(name); ++n)
        name = directory.filePath(QStringLiteral("IMG-%1-%2.jpg").arg(stamp).arg(n));
    const QByteArray jpeg = encodeJpeg(image, 92);
    // A photo is either there whole or not at all.
    QSaveFile file(name);
    if (jpeg.isEmpty() || !file.open(QIODevice::WriteOnly) || !file.setPermissions(fileMode)
        || file.write(jpeg) != jpeg.size() || !file.commit())
        qCDebug(lcStore) << "Cannot save the photo" << name << file.errorString();
}

} // namespace orvelle
