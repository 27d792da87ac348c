#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "platform/FileSystem.h"

namespace tolvane::test {

// The real file system with failures and interruptions on request, for the failure paths an
// eraser must report: a write that fails on the Nth call (full disk, I/O error), a sync that
// fails, a rename or removal that is refused. Hooks run right before an operation goes
// through, on the erase worker's thread: a test uses them to force a race at an exact point
// (link a file just before it is opened, swap a name just before it is cut).
class FaultyFileSystem : public ForwardingFileSystem {
public:
    // 1-based number of the WriteAt call that fails with failWriteErrno; 0: none fails.
    int failWriteAt = 0;
    int failWriteErrno = EIO;
    bool failEveryWriteAfter = false;  // once the first failure came, every later write fails
    int failSyncErrno = 0;             // nonzero: every SyncData fails with it
    bool noUnnamedFiles = false;       // as on file systems without O_TMPFILE
    bool failSyncFileSystem = false;   // every SyncFileSystem fails (EIO)
    std::string failWriteName;         // writes to the file of this name fail (EIO)
    std::string failSyncName;          // SyncData of the file of this name fails (EIO)
    std::string failRenameFrom;        // a Rename from this name fails (EACCES)
    std::string failRemoveName;        // a RemoveFile/RemoveFolder of this name fails (EBUSY)
    std::string refuseOpenName;        // the first open of this name fails (EACCES), as for
                                       // a read-only file of another user would
    std::string failListName;          // listing the folder of this name fails (EIO)
    std::string failStatName;          // examining the entry of this name fails (EIO)
    bool noRandom = false;             // the kernel's random source fails (ENOSYS)
    bool volumeFull = false;           // every volume reports no space free for us
    std::uint64_t allFreeSpace = 0;    // nonzero: every free byte a volume reports, reserves in

    std::function<void(int dirFd, const std::string& name)> beforeOpen;
    std::function<void(int fd)> beforeTruncate;  // before a cut to zero
    std::function<void(int writeNumber)> beforeWrite;
    std::function<void(int linkNumber)> beforeLink;  // 1-based count of Link calls
    bool noAttributes = false;  // as on file systems that keep no user attributes
    std::function<void(int dirFd, const std::string& from, const std::string& to)> beforeRename;
    std::function<void(int fd)> beforeSyncFileSystem;

    Opened OpenForOverwrite(int dirFd, const std::string& name, const FindData* expected) override;
    Opened CreateUnnamedFile(int dirFd) override;
    Written WriteAt(int fd, const void* buffer, std::size_t length, std::uint64_t offset) override;
    SystemError SyncData(int fd) override;
    SystemError SyncFileSystem(int fd) override;
    SystemError Truncate(int fd, std::uint64_t length = 0) override;
    SystemError Rename(int dirFd, const std::string& from, const std::string& to) override;
    SystemError RemoveFile(int dirFd, const std::string& name) override;
    SystemError RemoveFolder(int dirFd, const std::string& name) override;
    SystemError Link(int fd, int dirFd, const std::string& name) override;
    SystemError SetAttribute(int fd, const std::string& name, const void* value,
                             std::size_t size) override;
    SystemError ListFolder(int dirFd, std::vector<FindData>& entries,
                           std::vector<UnreadableEntry>* unreadable) override;
    SystemError StatEntry(int dirFd, const std::string& name, FindData& data) override;
    Space FreeSpace(int fd) override;
    SystemError ReadRandom(void* buffer, std::size_t length) override;

private:
    std::atomic<int> m_writes{0};
    std::atomic<int> m_links{0};
    std::atomic<bool> m_refused{false};
};

}  // namespace tolvane::test
