#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/FindData.h"
#include "platform/UniqueFd.h"

namespace tolvane {

// The file-system operations through which the eraser changes the disk, behind one small
// interface so that a test can make any of them fail (a full disk on the third write, a sync
// that reports an I/O error, a rename that is refused) or run something at the exact moment
// before one of them. The real implementation is PosixFileSystem(); the others forward to it.
//
// Every operation works relative to a directory descriptor and never follows a symbolic
// link in the name. Failures return false (or an invalid descriptor, or -1) with errno set.
// Implementations must be usable from the erase worker thread.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // An existing regular file for writing, NOT truncated: the old blocks must be the ones
    // overwritten. Refused (EINVAL) unless it is a regular file and, when `expected` is given,
    // the same device and inode the walk saw. Never blocks on a FIFO.
    virtual UniqueFd OpenForOverwrite(int dirFd, const std::string& name, const FindData* expected);
    // A new file (fails when the name exists), mode 0600.
    virtual UniqueFd CreateNewFile(int dirFd, const std::string& name);
    // A new file without a name in the folder `dirFd` (O_TMPFILE): its space goes back to the
    // volume when the last descriptor closes, however the process ends. Fails (EOPNOTSUPP,
    // EISDIR) where the file system cannot make one.
    virtual UniqueFd CreateUnnamedFile(int dirFd);
    // Writes all of `length` at `offset` unless an error stops it: the bytes written, or -1
    // when an error came before any byte.
    virtual std::int64_t WriteAt(int fd, const void* buffer, std::size_t length,
                                 std::uint64_t offset);
    // Forces written data to the medium (fdatasync).
    virtual bool SyncData(int fd);
    // Forces everything written to the file system holding fd to the medium (syncfs): one
    // journal commit and one cache flush for many files. False when some write-back failed.
    virtual bool SyncFileSystem(int fd);
    // Cuts an open file to `length` bytes (zero: all of it).
    virtual bool Truncate(int fd, std::uint64_t length = 0);
    // Renames within one folder; fails (EEXIST) when `to` exists.
    virtual bool Rename(int dirFd, const std::string& from, const std::string& to);
    virtual bool RemoveFile(int dirFd, const std::string& name);
    virtual bool RemoveFolder(int dirFd, const std::string& name);
    virtual bool MakeFolder(int dirFd, const std::string& name, mode_t mode);
    // Gives the open file `fd` (an unnamed one, or one of the folder) the name `name` in the
    // folder `dirFd`; fails (EEXIST) when the name is taken.
    virtual bool Link(int fd, int dirFd, const std::string& name);
    // Sets the extended attribute `name` of the open file `fd` (ENOTSUP where the file system
    // keeps none for users).
    virtual bool SetAttribute(int fd, const std::string& name, const void* value, std::size_t size);
};

// The real file system. One shared instance; it holds no state.
FileSystem& PosixFileSystem();

}  // namespace tolvane
