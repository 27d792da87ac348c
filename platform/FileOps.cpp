#include "platform/FileOps.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/Descriptors.h"
#include "platform/Directory.h"

namespace tolvane {
namespace {

constexpr int kNoFollow = O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;

// O_NONBLOCK keeps an open from hanging on a FIFO that was swapped in for the file; it is
// cleared once the descriptor is known to be a regular file.
bool ClearNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

UniqueFd KeepIfRegular(UniqueFd fd, const FindData* expected) {
    if (!fd.Valid()) {
        return fd;
    }
    // One look at the opened descriptor answers both questions: a regular file, and the one
    // the walk saw (not something swapped in under its name since).
    FindData opened;
    bool ok = StatDescriptor(fd.Get(), opened) && opened.IsRegular() &&
              (expected == nullptr ||
               (opened.device == expected->device && opened.inode == expected->inode));
    if (!ok || !ClearNonBlocking(fd.Get())) {
        errno = ok ? errno : EINVAL;
        return UniqueFd();
    }
    return fd;
}

}  // namespace

UniqueFd OpenForOverwrite(int dirFd, const std::string& name, const FindData* expected) {
    UniqueFd fd(::openat(dirFd, name.c_str(), O_WRONLY | O_NONBLOCK | kNoFollow));
    return KeepIfRegular(std::move(fd), expected);
}

UniqueFd CreateNewFile(int dirFd, const std::string& name) {
    return UniqueFd(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | kNoFollow, 0600));
}

UniqueFd OpenForMetadata(int dirFd, const std::string& name) {
    UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | kNoFollow));
    struct stat st;
    if (fd.Valid() &&
        (::fstat(fd.Get(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))) {
        return UniqueFd();
    }
    return fd;
}

bool SyncData(int fd) {
    return RetryOnInterrupt([fd] { return ::fdatasync(fd); }) == 0;
}

void StartWriteback(int fd, std::uint64_t offset, std::uint64_t length) {
    // Only a hint: where it is not supported the final sync does all the work.
    (void)::sync_file_range(fd, static_cast<off64_t>(offset), static_cast<off64_t>(length),
                            SYNC_FILE_RANGE_WRITE);
}

void DropCachedRange(int fd, std::uint64_t offset, std::uint64_t length) {
    // Only a hint: pages still being written stay, and the cache may keep the rest anyway.
    (void)::posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                          POSIX_FADV_DONTNEED);
}

std::uint64_t PreferredBlockSize(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_blksize > 0 ? static_cast<std::uint64_t>(st.st_blksize)
                                                      : 0;
}

UniqueFd DuplicateDescriptor(int fd) {
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

bool Rewind(int fd) {
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

namespace {

void AddRange(std::vector<ByteRange>& ranges, std::uint64_t start, std::uint64_t end) {
    if (!ranges.empty() && start <= ranges.back().end) {
        ranges.back().end = std::max(ranges.back().end, end);
    } else {
        ranges.push_back({start, end});
    }
}

// The extents the file system has allocated below `size`, unwritten ones included: a range
// zeroed with fallocate -z, or preallocated, reads as zeros and SEEK_DATA calls it a hole, yet
// its blocks still hold what was written there before. False when the file system cannot say.
bool AllocatedRanges(int fd, std::uint64_t size, std::vector<ByteRange>& ranges) {
    constexpr std::size_t kExtents = 128;
    // uint64_t storage keeps the header and its extents aligned.
    std::vector<std::uint64_t> storage(
        (sizeof(struct fiemap) + kExtents * sizeof(struct fiemap_extent)) / sizeof(std::uint64_t) +
        1);
    auto* map = reinterpret_cast<struct fiemap*>(storage.data());
    std::uint64_t start = 0;
    while (start < size) {
        std::memset(map, 0, sizeof(struct fiemap));  // the header only: its extents follow it
        map->fm_start = start;
        map->fm_length = size - start;
        map->fm_extent_count = kExtents;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
            return false;
        }
        if (map->fm_mapped_extents == 0) {
            return true;  // only holes are left
        }
        for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
            const struct fiemap_extent& extent = map->fm_extents[i];
            const std::uint64_t end =
                std::min<std::uint64_t>(extent.fe_logical + extent.fe_length, size);
            if (extent.fe_logical < end) {
                AddRange(ranges, extent.fe_logical, end);
            }
            if ((extent.fe_flags & FIEMAP_EXTENT_LAST) != 0 || end >= size) {
                return true;
            }
            start = std::max(start, end);
        }
    }
    return true;
}

// What SEEK_DATA and SEEK_HOLE call data; false when they cannot tell.
bool SeekDataRanges(int fd, std::uint64_t size, std::vector<ByteRange>& ranges) {
    auto offset = static_cast<off_t>(0);
    const auto limit = static_cast<off_t>(size);
    while (offset < limit) {
        off_t data = ::lseek(fd, offset, SEEK_DATA);
        if (data < 0) {
            return errno == ENXIO;  // ENXIO: only a hole is left
        }
        if (data >= limit) {
            break;
        }
        off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0) {
            return false;
        }
        hole = std::min(hole, limit);
        AddRange(ranges, static_cast<std::uint64_t>(data), static_cast<std::uint64_t>(hole));
        offset = hole;
    }
    return true;
}

bool OnTmpfs(int fd) {
    struct statfs info;
    return ::fstatfs(fd, &info) == 0 &&
           info.f_type == static_cast<decltype(info.f_type)>(TMPFS_MAGIC);
}

}  // namespace

std::vector<ByteRange> DataRanges(int fd, std::uint64_t size) {
    std::vector<ByteRange> ranges;
    if (AllocatedRanges(fd, size, ranges)) {
        return ranges;
    }
    // Without extent maps, SEEK_DATA is trusted only on tmpfs, whose holes are pages that
    // were never there (a preallocated page is a zeroed one); elsewhere a hole it reports may
    // be an unwritten extent on old blocks, so everything is taken as data.
    ranges.clear();
    if (OnTmpfs(fd) && SeekDataRanges(fd, size, ranges)) {
        return ranges;
    }
    return {{0, size}};
}

bool MakeOwnerWritable(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    return (st.st_mode & S_IWUSR) != 0 || ::fchmod(fd, (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool SetPermissions(int fd, mode_t mode) {
    return ::fchmod(fd, mode & 07777) == 0;
}

bool SetOwner(int fd, std::uint32_t uid, std::uint32_t gid) {
    return ::fchown(fd, uid, gid) == 0;
}

namespace {

bool OnBtrfs(int fd) {
    struct statfs info;
    return ::fstatfs(fd, &info) == 0 &&
           info.f_type == static_cast<decltype(info.f_type)>(BTRFS_SUPER_MAGIC);
}

}  // namespace

void DisableCompression(int fd) {
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        return;  // ENOTTY/EOPNOTSUPP: the file system has no such flags
    }
    // Setting a flag is an inode update in the journal; on ext4 or xfs, which never
    // compress, that would be one more metadata write per erased file for nothing. Only a
    // file marked for compression, or one on btrfs (which may compress by mount option), is
    // switched.
    if ((flags & FS_COMPR_FL) == 0 && !OnBtrfs(fd)) {
        return;
    }
    int wanted = (flags & ~FS_COMPR_FL) | FS_NOCOMP_FL;
    if (wanted != flags) {
        // Refused by file systems that do not compress: nothing to switch off there.
        (void)::ioctl(fd, FS_IOC_SETFLAGS, &wanted);
    }
}

bool EntryExists(int dirFd, const std::string& name) {
    struct stat st;
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

bool RenameNoReplace(int dirFd, const std::string& from, const std::string& to) {
    if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL) {
        return false;
    }
    // File systems without RENAME_NOREPLACE: check, then rename (a small window remains).
    if (EntryExists(dirFd, to)) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(dirFd, from.c_str(), dirFd, to.c_str()) == 0;
}

bool RemoveFile(int dirFd, const std::string& name) {
    return ::unlinkat(dirFd, name.c_str(), 0) == 0;
}

bool RemoveFolder(int dirFd, const std::string& name) {
    return ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0;
}

bool MakeFolder(int dirFd, const std::string& name, mode_t mode) {
    return ::mkdirat(dirFd, name.c_str(), mode) == 0;
}

bool GetTimes(int fd, std::int64_t& creation, std::int64_t& access, std::int64_t& write) {
    FindData data;
    if (!StatDescriptor(fd, data)) {
        return false;
    }
    creation = data.creationTime;
    access = data.accessTime;
    write = data.writeTime;
    return true;
}

bool SetTimes(int fd, std::int64_t access, std::int64_t write) {
    struct timespec times[2];
    std::int64_t seconds;
    FromFileTime(access, seconds, times[0].tv_nsec);
    times[0].tv_sec = static_cast<time_t>(seconds);
    FromFileTime(write, seconds, times[1].tv_nsec);
    times[1].tv_sec = static_cast<time_t>(seconds);
    return ::futimens(fd, times) == 0;
}

}  // namespace tolvane
