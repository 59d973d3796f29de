#include "PhotoAlbum.h"

#include "core/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtConcurrent>

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
    (void)QtConcurrent::run([image, directory = m_directory] {
        // Site photos are the user's alone, like everything else the client keeps.
        constexpr auto fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (!QDir().mkpath(directory)
            || !QFile::setPermissions(directory, fileMode | QFileDevice::ExeOwner)) {
            qCDebug(lcStore) << "Cannot create the photo folder" << directory;
            return;
        }
        const QString stamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        QString name = QDir(directory).filePath(QStringLiteral("IMG-%1.jpg").arg(stamp));
        for (int n = 2; QFile::exists(name); ++n)
            name = QDir(directory).filePath(QStringLiteral("IMG-%1-%2.jpg").arg(stamp).arg(n));
        // A photo is either there whole or not at all.
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(fileMode)
            || !image.save(&file, "JPEG", 92) || !file.commit())
            qCDebug(lcStore) << "Cannot save the photo" << name << file.errorString();
    });
}

} // namespace orvelle
