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

// The failure asked for this name, or none.
SystemError FailureFor(const std::string& failName, const char* operation, const std::string& name,
                       int error) {
    if (failName.empty() || name != failName) {
        return {};
    }
    return {operation, error, name};
}

}  // namespace

Opened FaultyFileSystem::OpenForOverwrite(int dirFd, const std::string& name,
                                          const FindData* expected) {
    if (beforeOpen) {
        beforeOpen(dirFd, name);
    }
    if (name == refuseOpenName && !m_refused.exchange(true)) {
        return {UniqueFd(), {"open", EACCES, name}};
    }
    return ForwardingFileSystem::OpenForOverwrite(dirFd, name, expected);
}

Opened FaultyFileSystem::CreateUnnamedFile(int dirFd) {
    if (noUnnamedFiles) {
        return {UniqueFd(), {"create", EOPNOTSUPP, "."}};
    }
    return ForwardingFileSystem::CreateUnnamedFile(dirFd);
}

Written FaultyFileSystem::WriteAt(int fd, const void* buffer, std::size_t length,
                                  std::uint64_t offset) {
    const int number = ++m_writes;
    if (beforeWrite) {
        beforeWrite(number);
    }
    if (!failWriteName.empty()) {
        if (SystemError error = FailureFor(failWriteName, "write", NameOf(fd), EIO);
            error.Failed()) {
            return {0, error};
        }
    }
    if (failWriteAt > 0 &&
        (number == failWriteAt || (failEveryWriteAfter && number > failWriteAt))) {
        return {0, {"write", failWriteErrno}};
    }
    return ForwardingFileSystem::WriteAt(fd, buffer, length, offset);
}

SystemError FaultyFileSystem::SyncData(int fd) {
    if (failSyncErrno != 0 || (!failSyncName.empty() && NameOf(fd) == failSyncName)) {
        return {"sync", failSyncErrno != 0 ? failSyncErrno : EIO};
    }
    return ForwardingFileSystem::SyncData(fd);
}

SystemError FaultyFileSystem::SyncFileSystem(int fd) {
    if (beforeSyncFileSystem) {
        beforeSyncFileSystem(fd);
    }
    if (failSyncFileSystem) {
        return {"sync", EIO};
    }
    return ForwardingFileSystem::SyncFileSystem(fd);
}

SystemError FaultyFileSystem::Truncate(int fd, std::uint64_t length) {
    if (beforeTruncate && length == 0) {
        beforeTruncate(fd);
    }
    return ForwardingFileSystem::Truncate(fd, length);
}

SystemError FaultyFileSystem::Rename(int dirFd, const std::string& from, const std::string& to) {
    if (beforeRename) {
        beforeRename(dirFd, from, to);
    }
    SystemError error = FailureFor(failRenameFrom, "rename", from, EACCES);
    return error.Failed() ? error : ForwardingFileSystem::Rename(dirFd, from, to);
}

SystemError FaultyFileSystem::RemoveFile(int dirFd, const std::string& name) {
    SystemError error = FailureFor(failRemoveName, "unlink", name, EBUSY);
    return error.Failed() ? error : ForwardingFileSystem::RemoveFile(dirFd, name);
}

SystemError FaultyFileSystem::StatEntry(int dirFd, const std::string& name, FindData& data) {
    SystemError error = FailureFor(failStatName, "stat", name, EIO);
    return error.Failed() ? error : ForwardingFileSystem::StatEntry(dirFd, name, data);
}

SystemError FaultyFileSystem::RemoveFolder(int dirFd, const std::string& name) {
    SystemError error = FailureFor(failRemoveName, "rmdir", name, EBUSY);
    return error.Failed() ? error : ForwardingFileSystem::RemoveFolder(dirFd, name);
}

SystemError FaultyFileSystem::Link(int fd, int dirFd, const std::string& name) {
    const int number = ++m_links;
    if (beforeLink) {
        beforeLink(number);
    }
    return ForwardingFileSystem::Link(fd, dirFd, name);
}

SystemError FaultyFileSystem::SetAttribute(int fd, const std::string& name, const void* value,
                                           std::size_t size) {
    if (noAttributes) {
        return {"setxattr", EOPNOTSUPP, name};
    }
    return ForwardingFileSystem::SetAttribute(fd, name, value, size);
}

SystemError FaultyFileSystem::ListFolder(int dirFd, std::vector<FindData>& entries,
                                         std::vector<UnreadableEntry>* unreadable) {
    SystemError error = FailureFor(failListName, "list", NameOf(dirFd), EIO);
    return error.Failed() ? error : ForwardingFileSystem::ListFolder(dirFd, entries, unreadable);
}

FileSystem::Space FaultyFileSystem::FreeSpace(int fd) {
    Space space = ForwardingFileSystem::FreeSpace(fd);
    if (volumeFull) {
        space.available = 0;
    }
    if (allFreeSpace != 0) {
        space.allFree = allFreeSpace;
        space.reserveKnown = true;
    }
    return space;
}

SystemError FaultyFileSystem::ReadRandom(void* buffer, std::size_t length) {
    return noRandom ? SystemError("random", ENOSYS)
                    : ForwardingFileSystem::ReadRandom(buffer, length);
}

}  // namespace tolvane::test
