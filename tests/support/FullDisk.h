#pragma once

#include <QString>

namespace orvelle::test {

// A disk with no free block, for SQLite: while one of these lives, the file
// system SQLite opens its files through answers as Linux does on a full disk.
// A file may fill the room it held in `folder` when the disk filled (an
// index truncated by the next opener may grow back into it); a write past
// that fails with ENOSPC (SQLITE_FULL), and an index growing past it with
// SQLITE_IOERR_SHMSIZE and ENOSPC. Only connections opened after install()
// meet it.
class FullDisk
{
public:
    // Makes the shim SQLite's default, passing everything through until a
    // FullDisk exists; call it before the store opens.
    static void install();

    explicit FullDisk(const QString &folder);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;
};

} // namespace orvelle::test
