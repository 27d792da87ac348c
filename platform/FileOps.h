#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FindData.h"
#include "platform/UniqueFd.h"

namespace tolvane {

// The file operations of the eraser, all relative to a directory descriptor and none of them
// following a symbolic link in the name. Failures leave errno set.

// Opens an existing file for writing WITHOUT truncating it: the old blocks must be the ones
// overwritten. Refused (invalid result) unless it is a regular file and, when `expected` is
// given, the same device and inode the walk saw. Never blocks on a FIFO.
UniqueFd OpenForOverwrite(int dirFd, const std::string& name, const FindData* expected);
// Creates a new file (fails when the name exists), mode 0600.
UniqueFd CreateNewFile(int dirFd, const std::string& name);
// Opens a file or folder to read or set its times and flags, without following links and
// without blocking; refuses anything but regular files and folders.
UniqueFd OpenForMetadata(int dirFd, const std::string& name);

// Forces written data to the medium (fdatasync).
bool SyncData(int fd);
// Starts writing a range of the file to the medium without waiting for it, so that the sync
// at the end of a pass finds little left to do.
void StartWriteback(int fd, std::uint64_t offset, std::uint64_t length);
// Lets the page cache drop a range of the file that has reached the medium, so that a large
// file's passes do not push everything else out of memory.
void DropCachedRange(int fd, std::uint64_t offset, std::uint64_t length);
bool Rewind(int fd);
// The block size the file system prefers for an open file (st_blksize); 0 when unknown.
std::uint64_t PreferredBlockSize(int fd);
// A second descriptor of the same open file or folder; invalid on failure.
UniqueFd DuplicateDescriptor(int fd);

// A byte range [start, end) of a file.
struct ByteRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};
// The ranges of an open file below `size` that have blocks on the medium, in order: a sparse
// file's holes hold nothing and are left out; unwritten (preallocated or zeroed) extents are
// kept, as their blocks still hold old data. A file system that cannot tell gives the whole file.
std::vector<ByteRange> DataRanges(int fd, std::uint64_t size);

// Adds owner write permission to an open file or folder.
bool MakeOwnerWritable(int fd);
// Sets the permission bits (including set-id and sticky bits) of an open file or folder.
bool SetPermissions(int fd, mode_t mode);
// Gives an open file or folder an owner and group.
bool SetOwner(int fd, std::uint32_t uid, std::uint32_t gid);
// Stops the file system from compressing what is written through fd (and, for a folder, what
// is created in it). Best effort: not every file system knows the flags.
void DisableCompression(int fd);

bool EntryExists(int dirFd, const std::string& name);
// Renames within one folder; fails when `to` exists.
bool RenameNoReplace(int dirFd, const std::string& from, const std::string& to);
bool RemoveFile(int dirFd, const std::string& name);
bool RemoveFolder(int dirFd, const std::string& name);
bool MakeFolder(int dirFd, const std::string& name, mode_t mode);

// Times in 100-ns units since 1601 (creation: birth time when the file system keeps one).
bool GetTimes(int fd, std::int64_t& creation, std::int64_t& access, std::int64_t& write);
// Sets access and modification time; a creation time cannot be set on Linux.
bool SetTimes(int fd, std::int64_t access, std::int64_t write);

}  // namespace tolvane
