#include "platform/FileSystem.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/Descriptors.h"
#include "platform/FileOps.h"
#include "platform/RandomSource.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

// A call's outcome as a value: nothing when it succeeded, else errno as it left it.
SystemError Outcome(bool ok, const char* operation, const std::string& path = {}) {
    return ok ? SystemError() : SystemError::Last(operation, path);
}

Opened OpenedOrError(UniqueFd fd, const char* operation, const std::string& path) {
    SystemError error = Outcome(fd.Valid(), operation, path);
    return {std::move(fd), std::move(error)};
}

// An open that reports its errno through an out-parameter.
Opened OpenedOrError(UniqueFd fd, int error, const std::string& path) {
    SystemError failure = fd.Valid() ? SystemError() : SystemError("open", error, path);
    return {std::move(fd), std::move(failure)};
}

}  // namespace

Opened PosixFileSystem::OpenForOverwrite(int dirFd, const std::string& name,
                                         const FindData* expected) {
    return OpenedOrError(tolvane::OpenForOverwrite(dirFd, name, expected), "open", name);
}

Opened PosixFileSystem::CreateNewFile(int dirFd, const std::string& name) {
    return OpenedOrError(tolvane::CreateNewFile(dirFd, name), "create", name);
}

Opened PosixFileSystem::CreateUnnamedFile(int dirFd) {
    return OpenedOrError(UniqueFd(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)),
                         "create", ".");
}

Written PosixFileSystem::WriteAt(int fd, const void* buffer, std::size_t length,
                                 std::uint64_t offset) {
    const auto* p = static_cast<const char*>(buffer);
    Written result;
    while (result.bytes < length) {
        ssize_t n = RetryOnInterrupt([&] {
            return ::pwrite(fd, p + result.bytes, length - result.bytes,
                            static_cast<off_t>(offset + result.bytes));
        });
        if (n < 0) {
            // A full disk usually shows as a short write followed by ENOSPC.
            result.error = SystemError::Last("write");
            return result;
        }
        if (n == 0) {
            result.error = {"write", ENOSPC};  // a write that takes nothing: no room left
            return result;
        }
        result.bytes += static_cast<std::uint64_t>(n);
    }
    return result;
}

SystemError PosixFileSystem::SyncData(int fd) {
    return Outcome(tolvane::SyncData(fd), "sync");
}

SystemError PosixFileSystem::SyncFileSystem(int fd) {
    return Outcome(::syncfs(fd) == 0, "sync");
}

SystemError PosixFileSystem::Truncate(int fd, std::uint64_t length) {
    return Outcome(
        RetryOnInterrupt([&] { return ::ftruncate(fd, static_cast<off_t>(length)); }) == 0,
        "truncate");
}

SystemError PosixFileSystem::Rename(int dirFd, const std::string& from, const std::string& to) {
    return Outcome(RenameNoReplace(dirFd, from, to), "rename", from);
}

SystemError PosixFileSystem::RemoveFile(int dirFd, const std::string& name) {
    return Outcome(tolvane::RemoveFile(dirFd, name), "unlink", name);
}

SystemError PosixFileSystem::RemoveFolder(int dirFd, const std::string& name) {
    return Outcome(tolvane::RemoveFolder(dirFd, name), "rmdir", name);
}

SystemError PosixFileSystem::MakeFolder(int dirFd, const std::string& name, mode_t mode) {
    return Outcome(tolvane::MakeFolder(dirFd, name, mode), "mkdir", name);
}

SystemError PosixFileSystem::Link(int fd, int dirFd, const std::string& name) {
    // Through the descriptor's entry in /proc: linking a descriptor directly (AT_EMPTY_PATH)
    // needs a capability that users lack.
    const std::string source = "/proc/self/fd/" + std::to_string(fd);
    return Outcome(::linkat(AT_FDCWD, source.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0,
                   "link", name);
}

SystemError PosixFileSystem::SetAttribute(int fd, const std::string& name, const void* value,
                                          std::size_t size) {
    return Outcome(::fsetxattr(fd, name.c_str(), value, size, 0) == 0, "setxattr", name);
}

SystemError PosixFileSystem::SetPermissions(int fd, mode_t mode) {
    return Outcome(tolvane::SetPermissions(fd, mode), "chmod");
}

SystemError PosixFileSystem::SetOwner(int fd, std::uint32_t uid, std::uint32_t gid) {
    return Outcome(tolvane::SetOwner(fd, uid, gid), "chown");
}

SystemError PosixFileSystem::SetTimes(int fd, std::int64_t access, std::int64_t write) {
    return Outcome(tolvane::SetTimes(fd, access, write), "utimens");
}

SystemError PosixFileSystem::StatEntry(int dirFd, const std::string& name, FindData& data) {
    int error = 0;
    return tolvane::StatEntry(dirFd, name, data, &error) ? SystemError()
                                                         : SystemError("stat", error, name);
}

SystemError PosixFileSystem::StatDescriptor(int fd, FindData& data) {
    return Outcome(tolvane::StatDescriptor(fd, data), "stat");
}

SystemError PosixFileSystem::StatFollowingLinks(const std::string& path, FindData& data) {
    int error = 0;
    return tolvane::StatFollowingLinks(path, data, &error) ? SystemError()
                                                           : SystemError("stat", error, path);
}

Opened PosixFileSystem::OpenForMetadata(int dirFd, const std::string& name) {
    errno = 0;
    UniqueFd fd = tolvane::OpenForMetadata(dirFd, name);
    if (fd.Valid()) {
        return {std::move(fd), {}};
    }
    // Opened, but neither a regular file nor a folder: refused without an errno of its own.
    return {UniqueFd(), SystemError("open", errno != 0 ? errno : EINVAL, name)};
}

Opened PosixFileSystem::OpenDirectory(int dirFd, const std::string& name) {
    int error = 0;
    UniqueFd fd = tolvane::OpenDirectory(dirFd, name, &error);
    return OpenedOrError(std::move(fd), error, name);
}

Opened PosixFileSystem::OpenFolder(const std::string& path) {
    int error = 0;
    UniqueFd fd = tolvane::OpenFolder(path, &error);
    return OpenedOrError(std::move(fd), error, path);
}

Opened PosixFileSystem::OpenFolderForLookup(const std::string& path) {
    int error = 0;
    UniqueFd fd = tolvane::OpenFolderForLookup(path, &error);
    return OpenedOrError(std::move(fd), error, path);
}

SystemError PosixFileSystem::ListFolder(int dirFd, std::vector<FindData>& entries,
                                        std::vector<UnreadableEntry>* unreadable) {
    return Outcome(ReadDirectory(dirFd, entries, unreadable), "list");
}

FileSystem::Space PosixFileSystem::FreeSpace(int fd) {
    return {FreeBytesOfDescriptor(fd), AllFreeBytesOfDescriptor(fd), ReserveIsKnown(fd)};
}

SystemError PosixFileSystem::ReadRandom(void* buffer, std::size_t length) {
    if (SystemRandom(buffer, length)) {
        return {};
    }
    return {"random", errno != 0 ? errno : EIO};  // a source that ran dry says nothing
}

FileSystem& RealFileSystem() {
    static PosixFileSystem real;
    return real;
}

std::uint64_t AvailableBytes(FileSystem& fs, const std::string& path) {
    Opened folder = fs.OpenFolder(path);
    return folder.fd.Valid() ? fs.FreeSpace(folder.fd.Get()).available : 0;
}

}  // namespace tolvane
