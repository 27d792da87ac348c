#include "FaultyFileSystem.h"

#include <errno.h>
#include <unistd.h>

namespace tolvane::test {
namespace {

// The name an open file has now, read back from /proc.
std::string NameOf(int fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    std::string path(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(path.rfind('/') + 1);
}

// True, with errno set, when a failure was asked for this name.
bool Fails(const std::string& failName, const std::string& name, int error) {
    if (failName.empty() || name != failName) {
        return false;
    }
    errno = error;
    return true;
}

}  // namespace

UniqueFd FaultyFileSystem::OpenForOverwrite(int dirFd, const std::string& name,
                                            const FindData* expected) {
    if (beforeOpen) {
        beforeOpen(dirFd, name);
    }
    return FileSystem::OpenForOverwrite(dirFd, name, expected);
}

UniqueFd FaultyFileSystem::CreateUnnamedFile(int dirFd) {
    if (noUnnamedFiles) {
        errno = EOPNOTSUPP;
        return UniqueFd();
    }
    return FileSystem::CreateUnnamedFile(dirFd);
}

std::int64_t FaultyFileSystem::WriteAt(int fd, const void* buffer, std::size_t length,
                                       std::uint64_t offset) {
    const int number = ++m_writes;
    if (beforeWrite) {
        beforeWrite(number);
    }
    if (!failWriteName.empty() && Fails(failWriteName, NameOf(fd), EIO)) {
        return -1;
    }
    if (failWriteAt > 0 &&
        (number == failWriteAt || (failEveryWriteAfter && number > failWriteAt))) {
        errno = failWriteErrno;
        return -1;
    }
    return FileSystem::WriteAt(fd, buffer, length, offset);
}

bool FaultyFileSystem::SyncData(int fd) {
    if (failSyncErrno != 0 || (!failSyncName.empty() && NameOf(fd) == failSyncName)) {
        errno = failSyncErrno != 0 ? failSyncErrno : EIO;
        return false;
    }
    return FileSystem::SyncData(fd);
}

bool FaultyFileSystem::SyncFileSystem(int fd) {
    if (beforeSyncFileSystem) {
        beforeSyncFileSystem(fd);
    }
    if (failSyncFileSystem) {
        errno = EIO;
        return false;
    }
    return FileSystem::SyncFileSystem(fd);
}

bool FaultyFileSystem::Truncate(int fd, std::uint64_t length) {
    if (beforeTruncate && length == 0) {
        beforeTruncate(fd);
    }
    return FileSystem::Truncate(fd, length);
}

bool FaultyFileSystem::Rename(int dirFd, const std::string& from, const std::string& to) {
    if (beforeRename) {
        beforeRename(dirFd, from, to);
    }
    return !Fails(failRenameFrom, from, EACCES) && FileSystem::Rename(dirFd, from, to);
}

bool FaultyFileSystem::RemoveFile(int dirFd, const std::string& name) {
    return !Fails(failRemoveName, name, EBUSY) && FileSystem::RemoveFile(dirFd, name);
}

bool FaultyFileSystem::RemoveFolder(int dirFd, const std::string& name) {
    return !Fails(failRemoveName, name, EBUSY) && FileSystem::RemoveFolder(dirFd, name);
}

bool FaultyFileSystem::Link(int fd, int dirFd, const std::string& name) {
    const int number = ++m_links;
    if (beforeLink) {
        beforeLink(number);
    }
    return FileSystem::Link(fd, dirFd, name);
}

bool FaultyFileSystem::SetAttribute(int fd, const std::string& name, const void* value,
                                    std::size_t size) {
    if (noAttributes) {
        errno = EOPNOTSUPP;
        return false;
    }
    return FileSystem::SetAttribute(fd, name, value, size);
}

}  // namespace tolvane::test
