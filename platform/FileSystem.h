#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Directory.h"
#include "platform/FindData.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

namespace tolvane {

// The file-system operations through which the eraser reads and changes the disk, behind one
// small interface so that a test can make any of them fail (a full disk on the third write, a
// sync that reports an I/O error, a rename that is refused, a folder that cannot be listed) or
// run something at the exact moment before one of them. PosixFileSystem is the real one; test
// doubles derive from ForwardingFileSystem and change only what they need.
//
// Every operation works relative to a directory descriptor and never follows a symbolic
// link in the name. A failure comes back as a SystemError taken at the failing call; errno
// after a call means nothing. Implementations must be usable from the erase worker thread.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // An existing regular file for writing, NOT truncated: the old blocks must be the ones
    // overwritten. Refused (EINVAL) unless it is a regular file and, when `expected` is given,
    // the same device and inode the walk saw. Never blocks on a FIFO.
    virtual Opened OpenForOverwrite(int dirFd, const std::string& name,
                                    const FindData* expected) = 0;
    // A new file (fails when the name exists), mode 0600.
    virtual Opened CreateNewFile(int dirFd, const std::string& name) = 0;
    // A new file without a name in the folder `dirFd` (O_TMPFILE): its space goes back to the
    // volume when the last descriptor closes, however the process ends. Fails (EOPNOTSUPP,
    // EISDIR) where the file system cannot make one.
    virtual Opened CreateUnnamedFile(int dirFd) = 0;
    // Writes all of `length` at `offset` unless an error stops it; a write that takes nothing
    // fails with ENOSPC.
    virtual Written WriteAt(int fd, const void* buffer, std::size_t length,
                            std::uint64_t offset) = 0;
    // Forces written data to the medium (fdatasync).
    virtual SystemError SyncData(int fd) = 0;
    // Forces everything written to the file system holding fd to the medium (syncfs): one
    // journal commit and one cache flush for many files. Fails when some write-back failed.
    virtual SystemError SyncFileSystem(int fd) = 0;
    // Cuts an open file to `length` bytes (zero: all of it).
    virtual SystemError Truncate(int fd, std::uint64_t length = 0) = 0;
    // Renames within one folder; fails (EEXIST) when `to` exists.
    virtual SystemError Rename(int dirFd, const std::string& from, const std::string& to) = 0;
    virtual SystemError RemoveFile(int dirFd, const std::string& name) = 0;
    virtual SystemError RemoveFolder(int dirFd, const std::string& name) = 0;
    virtual SystemError MakeFolder(int dirFd, const std::string& name, mode_t mode) = 0;
    // Gives the open file `fd` (an unnamed one, or one of the folder) the name `name` in the
    // folder `dirFd`; fails (EEXIST) when the name is taken.
    virtual SystemError Link(int fd, int dirFd, const std::string& name) = 0;
    // Sets the extended attribute `name` of the open file `fd` (ENOTSUP where the file system
    // keeps none for users).
    virtual SystemError SetAttribute(int fd, const std::string& name, const void* value,
                                     std::size_t size) = 0;
    // Sets the permission bits (set-id and sticky bits included) of an open file or folder.
    virtual SystemError SetPermissions(int fd, mode_t mode) = 0;
    // Gives an open file or folder an owner and group.
    virtual SystemError SetOwner(int fd, std::uint32_t uid, std::uint32_t gid) = 0;
    // Sets the access and write times (FILETIME units) of an open file.
    virtual SystemError SetTimes(int fd, std::int64_t access, std::int64_t write) = 0;
    // Describes the entry `name` itself (a link is not followed), or an open descriptor.
    virtual SystemError StatEntry(int dirFd, const std::string& name, FindData& data) = 0;
    virtual SystemError StatDescriptor(int fd, FindData& data) = 0;
    // Describes what `path` names, following links (the name is left empty).
    virtual SystemError StatFollowingLinks(const std::string& path, FindData& data) = 0;
    // A regular file or folder opened only to examine and change its metadata (never a link,
    // FIFO or device); refused (EINVAL) for anything else.
    virtual Opened OpenForMetadata(int dirFd, const std::string& name) = 0;
    // A folder, readable, without following a link in its place.
    virtual Opened OpenDirectory(int dirFd, const std::string& name) = 0;
    // A folder named by a path that may go through links ("" is the current folder): readable,
    // or (ForLookup) only to look names up in it, which works where it may be searched but
    // not read.
    virtual Opened OpenFolder(const std::string& path) = 0;
    virtual Opened OpenFolderForLookup(const std::string& path) = 0;
    // Reads every entry of an open folder before returning (see ReadDirectory): a failure
    // means the listing is not complete.
    virtual SystemError ListFolder(int dirFd, std::vector<FindData>& entries,
                                   std::vector<UnreadableEntry>* unreadable) = 0;
    // The space figures of the volume holding fd; all 0 when they cannot be read.
    struct Space {
        std::uint64_t available = 0;  // free for this process (root's reserve too, for root)
        std::uint64_t allFree = 0;    // every free byte, reserves included
        bool reserveKnown = false;    // false: allFree leaves out a reserve we cannot read
    };
    virtual Space FreeSpace(int fd) = 0;
    // Fills a buffer from the kernel's cryptographic random source; a failure means nothing
    // may be keyed from it.
    virtual SystemError ReadRandom(void* buffer, std::size_t length) = 0;
};

// The real file system. It holds no state; RealFileSystem() is the shared instance.
class PosixFileSystem : public FileSystem {
public:
    Opened OpenForOverwrite(int dirFd, const std::string& name, const FindData* expected) override;
    Opened CreateNewFile(int dirFd, const std::string& name) override;
    Opened CreateUnnamedFile(int dirFd) override;
    Written WriteAt(int fd, const void* buffer, std::size_t length, std::uint64_t offset) override;
    SystemError SyncData(int fd) override;
    SystemError SyncFileSystem(int fd) override;
    SystemError Truncate(int fd, std::uint64_t length = 0) override;
    SystemError Rename(int dirFd, const std::string& from, const std::string& to) override;
    SystemError RemoveFile(int dirFd, const std::string& name) override;
    SystemError RemoveFolder(int dirFd, const std::string& name) override;
    SystemError MakeFolder(int dirFd, const std::string& name, mode_t mode) override;
    SystemError Link(int fd, int dirFd, const std::string& name) override;
    SystemError SetAttribute(int fd, const std::string& name, const void* value,
                             std::size_t size) override;
    SystemError SetPermissions(int fd, mode_t mode) override;
    SystemError SetOwner(int fd, std::uint32_t uid, std::uint32_t gid) override;
    SystemError SetTimes(int fd, std::int64_t access, std::int64_t write) override;
    SystemError StatEntry(int dirFd, const std::string& name, FindData& data) override;
    SystemError StatDescriptor(int fd, FindData& data) override;
    SystemError StatFollowingLinks(const std::string& path, FindData& data) override;
    Opened OpenForMetadata(int dirFd, const std::string& name) override;
    Opened OpenDirectory(int dirFd, const std::string& name) override;
    Opened OpenFolder(const std::string& path) override;
    Opened OpenFolderForLookup(const std::string& path) override;
    SystemError ListFolder(int dirFd, std::vector<FindData>& entries,
                           std::vector<UnreadableEntry>* unreadable) override;
    Space FreeSpace(int fd) override;
    SystemError ReadRandom(void* buffer, std::size_t length) override;
};

FileSystem& RealFileSystem();

// What this process may write on the volume holding the folder `path` (links followed); 0 when
// it cannot be read.
std::uint64_t AvailableBytes(FileSystem& fs, const std::string& path);

// Passes every operation to another file system (the real one unless told otherwise): a test
// double overrides the few it changes and calls these for the rest.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner = RealFileSystem()) : m_inner(inner) {}

    Opened OpenForOverwrite(int dirFd, const std::string& name, const FindData* expected) override {
        return m_inner.OpenForOverwrite(dirFd, name, expected);
    }
    Opened CreateNewFile(int dirFd, const std::string& name) override {
        return m_inner.CreateNewFile(dirFd, name);
    }
    Opened CreateUnnamedFile(int dirFd) override { return m_inner.CreateUnnamedFile(dirFd); }
    Written WriteAt(int fd, const void* buffer, std::size_t length, std::uint64_t offset) override {
        return m_inner.WriteAt(fd, buffer, length, offset);
    }
    SystemError SyncData(int fd) override { return m_inner.SyncData(fd); }
    SystemError SyncFileSystem(int fd) override { return m_inner.SyncFileSystem(fd); }
    SystemError Truncate(int fd, std::uint64_t length = 0) override {
        return m_inner.Truncate(fd, length);
    }
    SystemError Rename(int dirFd, const std::string& from, const std::string& to) override {
        return m_inner.Rename(dirFd, from, to);
    }
    SystemError RemoveFile(int dirFd, const std::string& name) override {
        return m_inner.RemoveFile(dirFd, name);
    }
    SystemError RemoveFolder(int dirFd, const std::string& name) override {
        return m_inner.RemoveFolder(dirFd, name);
    }
    SystemError MakeFolder(int dirFd, const std::string& name, mode_t mode) override {
        return m_inner.MakeFolder(dirFd, name, mode);
    }
    SystemError Link(int fd, int dirFd, const std::string& name) override {
        return m_inner.Link(fd, dirFd, name);
    }
    SystemError SetAttribute(int fd, const std::string& name, const void* value,
                             std::size_t size) override {
        return m_inner.SetAttribute(fd, name, value, size);
    }
    SystemError SetPermissions(int fd, mode_t mode) override {
        return m_inner.SetPermissions(fd, mode);
    }
    SystemError SetOwner(int fd, std::uint32_t uid, std::uint32_t gid) override {
        return m_inner.SetOwner(fd, uid, gid);
    }
    SystemError SetTimes(int fd, std::int64_t access, std::int64_t write) override {
        return m_inner.SetTimes(fd, access, write);
    }
    SystemError StatEntry(int dirFd, const std::string& name, FindData& data) override {
        return m_inner.StatEntry(dirFd, name, data);
    }
    SystemError StatDescriptor(int fd, FindData& data) override {
        return m_inner.StatDescriptor(fd, data);
    }
    SystemError StatFollowingLinks(const std::string& path, FindData& data) override {
        return m_inner.StatFollowingLinks(path, data);
    }
    Opened OpenForMetadata(int dirFd, const std::string& name) override {
        return m_inner.OpenForMetadata(dirFd, name);
    }
    Opened OpenDirectory(int dirFd, const std::string& name) override {
        return m_inner.OpenDirectory(dirFd, name);
    }
    Opened OpenFolder(const std::string& path) override { return m_inner.OpenFolder(path); }
    Opened OpenFolderForLookup(const std::string& path) override {
        return m_inner.OpenFolderForLookup(path);
    }
    SystemError ListFolder(int dirFd, std::vector<FindData>& entries,
                           std::vector<UnreadableEntry>* unreadable) override {
        return m_inner.ListFolder(dirFd, entries, unreadable);
    }
    Space FreeSpace(int fd) override { return m_inner.FreeSpace(fd); }
    SystemError ReadRandom(void* buffer, std::size_t length) override {
        return m_inner.ReadRandom(buffer, length);
    }

private:
    FileSystem& m_inner;
};

}  // namespace tolvane
