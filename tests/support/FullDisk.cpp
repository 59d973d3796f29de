#include "FullDisk.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <atomic>
#include <cerrno>
#include <sqlite3.h>

namespace orvelle::test {

namespace {
std::atomic<bool> full = false;
// The room each file of the folder held when the disk filled.
QHash<QString, qint64> room;
sqlite3_vfs *underlying = nullptr;

// SQLite's file with the real one in the bytes after it.
struct File
{
    sqlite3_file base;
    // SQLite keeps the name until the file is closed.
    const char *name;
    bool database;
    sqlite3_file *real() { return reinterpret_cast<sqlite3_file *>(this + 1); }
};

File *fileOf(sqlite3_file *file)
{
    return reinterpret_cast<File *>(file);
}

template <auto Method, typename... Args> auto pass(sqlite3_file *file, Args... args)
{
    sqlite3_file *real = fileOf(file)->real();
    return (real->pMethods->*Method)(real, args...);
}

// Whether a file may reach `end` bytes; sets errno as the kernel would when not.
bool fits(const QString &path, qint64 end)
{
    if (!full || end <= std::max(QFileInfo(path).size(), room.value(path)))
        return true;
    errno = ENOSPC;
    return false;
}

int write(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    if (!fits(QString::fromLocal8Bit(fileOf(file)->name), offset + amount))
        return SQLITE_FULL;
    return pass<&sqlite3_io_methods::xWrite>(file, data, amount, offset);
}

int mapIndex(sqlite3_file *file, int region, int regionSize, int extend, void volatile **memory)
{
    const File *database = fileOf(file);
    if (extend && database->database
        && !fits(QString::fromLocal8Bit(database->name) + QLatin1String("-shm"),
                 qint64(region + 1) * regionSize))
        return SQLITE_IOERR_SHMSIZE;
    return pass<&sqlite3_io_methods::xShmMap>(file, region, regionSize, extend, memory);
}

const sqlite3_io_methods methods = {
    3,
    pass<&sqlite3_io_methods::xClose>,
    pass<&sqlite3_io_methods::xRead, void *, int, sqlite3_int64>,
    write,
    pass<&sqlite3_io_methods::xTruncate, sqlite3_int64>,
    pass<&sqlite3_io_methods::xSync, int>,
    pass<&sqlite3_io_methods::xFileSize, sqlite3_int64 *>,
    pass<&sqlite3_io_methods::xLock, int>,
    pass<&sqlite3_io_methods::xUnlock, int>,
    pass<&sqlite3_io_methods::xCheckReservedLock, int *>,
    pass<&sqlite3_io_methods::xFileControl, int, void *>,
    pass<&sqlite3_io_methods::xSectorSize>,
    pass<&sqlite3_io_methods::xDeviceCharacteristics>,
    mapIndex,
    pass<&sqlite3_io_methods::xShmLock, int, int, int>,
    pass<&sqlite3_io_methods::xShmBarrier>,
    pass<&sqlite3_io_methods::xShmUnmap, int>,
    pass<&sqlite3_io_methods::xFetch, sqlite3_int64, int, void **>,
    pass<&sqlite3_io_methods::xUnfetch, sqlite3_int64, void *>,
};

int openFile(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    File *wrapped = fileOf(file);
    wrapped->real()->pMethods = nullptr;
    const int result = underlying->xOpen(underlying, name, wrapped->real(), flags, outFlags);
    // SQLite closes a file whose methods are set, even when its opening failed.
    wrapped->base.pMethods = wrapped->real()->pMethods ? &methods : nullptr;
    wrapped->name = name ? name : "";
    wrapped->database = flags & SQLITE_OPEN_MAIN_DB;
    return result;
}

sqlite3_vfs shim;
} // namespace

void FullDisk::install()
{
    if (underlying)
        return;
    underlying = sqlite3_vfs_find(nullptr);
    shim = *underlying;
    shim.szOsFile = int(sizeof(File)) + underlying->szOsFile;
    shim.zName = "orvelle-full-disk";
    shim.pNext = nullptr;
    shim.xOpen = openFile;
    sqlite3_vfs_register(&shim, 1);
}

FullDisk::FullDisk(const QString &folder)
{
    install();
    for (QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories); files.hasNext();) {
        const QString file = files.next();
        room.insert(file, QFileInfo(file).size());
    }
    full = true;
}

FullDisk::~FullDisk()
{
    full = false;
    room.clear();
}

} // namespace orvelle::test
