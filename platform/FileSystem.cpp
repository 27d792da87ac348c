#include "platform/FileSystem.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/FileOps.h"

namespace tolvane {

UniqueFd FileSystem::OpenForOverwrite(int dirFd, const std::string& name,
                                      const FindData* expected) {
    return tolvane::OpenForOverwrite(dirFd, name, expected);
}

UniqueFd FileSystem::CreateNewFile(int dirFd, const std::string& name) {
    return tolvane::CreateNewFile(dirFd, name);
}

UniqueFd FileSystem::CreateUnnamedFile(int dirFd) {
    return UniqueFd(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
}

std::int64_t FileSystem::WriteAt(int fd, const void* buffer, std::size_t length,
                                 std::uint64_t offset) {
    const auto* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::pwrite(fd, p + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;  // a write that takes nothing: the medium has no room left
            }
            // A full disk usually shows as a short write followed by ENOSPC.
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool FileSystem::SyncData(int fd) {
    return tolvane::SyncData(fd);
}

bool FileSystem::SyncFileSystem(int fd) {
    return ::syncfs(fd) == 0;
}

bool FileSystem::Truncate(int fd, std::uint64_t length) {
    while (::ftruncate(fd, static_cast<off_t>(length)) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool FileSystem::Rename(int dirFd, const std::string& from, const std::string& to) {
    return RenameNoReplace(dirFd, from, to);
}

bool FileSystem::RemoveFile(int dirFd, const std::string& name) {
    return tolvane::RemoveFile(dirFd, name);
}

bool FileSystem::RemoveFolder(int dirFd, const std::string& name) {
    return tolvane::RemoveFolder(dirFd, name);
}

bool FileSystem::MakeFolder(int dirFd, const std::string& name, mode_t mode) {
    return tolvane::MakeFolder(dirFd, name, mode);
}

bool FileSystem::Link(int fd, int dirFd, const std::string& name) {
    // Through the descriptor's entry in /proc: linking a descriptor directly (AT_EMPTY_PATH)
    // needs a capability that users lack.
    const std::string source = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, source.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool FileSystem::SetAttribute(int fd, const std::string& name, const void* value,
                              std::size_t size) {
    return ::fsetxattr(fd, name.c_str(), value, size, 0) == 0;
}

FileSystem& PosixFileSystem() {
    static FileSystem real;
    return real;
}

}  // namespace tolvane
