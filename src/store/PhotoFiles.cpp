#include "PhotoFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>

namespace orvelle::photofiles {

namespace {
constexpr auto fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QLatin1String suffix(".jpg");

// SHA-256 by OpenSSL, which uses the processor's SHA instructions: Qt's own
// takes a byte at a time and cost a third as much as encoding the photo.
class Sha256
{
public:
    Sha256() { EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr); }
    void add(const char *data, qint64 size)
    {
        EVP_DigestUpdate(m_context.get(), data, size_t(size));
    }
    QString hex()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_DigestFinal_ex(m_context.get(), digest, &size);
        return QString::fromLatin1(
            QByteArray::fromRawData(reinterpret_cast<const char *>(digest), int(size)).toHex());
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> m_context{EVP_MD_CTX_new(),
                                                                  EVP_MD_CTX_free};
};
} // namespace

QString hashOf(const QByteArray &jpeg)
{
    Sha256 sha;
    sha.add(jpeg.constData(), jpeg.size());
    return sha.hex();
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

int makeFolder(const QString &path)
{
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    return error.value();
}

bool syncFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
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
    // Also when every photo was there: the write that put it there may not have synced.
    if (!jpegs.isEmpty() && !syncFolder(folder))
        return {{},
                QStringLiteral("Cannot store photos in %1: %2")
                    .arg(folder, QString::fromLocal8Bit(std::strerror(errno)))};
    return result;
}

bool intact(const QString &file, const QString &hash)
{
    QFile photo(file);
    if (!photo.open(QIODevice::ReadOnly))
        return false;
    Sha256 sha;
    char buffer[64 * 1024];
    qint64 read = 0;
    while ((read = photo.read(buffer, sizeof buffer)) > 0)
        sha.add(buffer, read);
    return read == 0 && sha.hex() == hash;
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
