#include "PhotoFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace orvelle::photofiles {

namespace {
constexpr auto fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QLatin1String suffix(".jpg");
} // namespace

QString hashOf(const QByteArray &jpeg)
{
    return QString::fromLatin1(QCryptographicHash::hash(jpeg, QCryptographicHash::Sha256).toHex());
}

bool isHash(const QString &text)
{
    // Hashes end up in file paths: anything else could reach outside the folder.
    if (text.size() != 64)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    });
}

QString fileName(const QString &hash)
{
    return hash + suffix;
}

bool ownerOnly(const QString &path, bool isFolder)
{
    return QFile::setPermissions(path, isFolder ? fileMode | QFileDevice::ExeOwner : fileMode);
}

Written write(const QString &folder, const QList<QByteArray> &jpegs)
{
    Written result;
    for (const QByteArray &jpeg : jpegs) {
        const QString hash = hashOf(jpeg);
        const QString path = folder + u'/' + fileName(hash);
        // Named by content and written atomically: a file that exists holds these bytes.
        if (!QFileInfo::exists(path)) {
            QSaveFile file(path);
            // The mode goes on the temporary file, so the photo is never readable by others.
            if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(fileMode)
                || file.write(jpeg) != jpeg.size() || !file.commit())
                return {{}, QStringLiteral("Cannot store %1: %2").arg(path, file.errorString())};
        }
        result.hashes << hash;
    }
    return result;
}

bool intact(const QString &file, const QString &hash)
{
    QFile photo(file);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    return photo.open(QIODevice::ReadOnly) && sha.addData(&photo)
           && QString::fromLatin1(sha.result().toHex()) == hash;
}

int removeExcept(const QString &folder, const QSet<QString> &keep)
{
    int removed = 0;
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.endsWith(suffix) && keep.contains(name.chopped(suffix.size())))
            continue;
        removed += dir.remove(name) ? 1 : 0;
    }
    return removed;
}

} // namespace orvelle::photofiles
