#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

namespace tolvane {

class FileSystem;

// Overwrites the free space of a volume: fills it with fill files, each written with the
// run's passes, until nothing more fits, then releases them.
//
// What it promises: the volume is never left full. Fill files without a name are used where
// the file system can make them (their space comes back however the run ends); elsewhere
// named ones live in a marked folder of their own in the volume's root, which a later wipe
// releases if this one is cut off, and this wipe first releases what an earlier one left.
// Fill files stay below 1 GiB so that the free space is read again before each one. Free space
// that no write could reach (the file system's reserve) and released leftovers are told as
// notes, one line each. A wipe that wrote nothing although space was free fails with the
// reason of the first write or creation that failed.
//
// What it needs: the file system the run changes, and the run (Host) for writing the passes
// over a fill file, scrambling times, the pause gate and the stop.
//
// Called by the engine for a drive item, on the run's worker thread.
class FreeSpaceWipe {
public:
    // What the wipe needs of its run.
    class Host {
    public:
        // Every pass over the first `size` bytes of a fill file, progress moving by its share;
        // the bytes written, and why when they came short.
        virtual std::uint64_t WriteFill(int fd, std::uint64_t size, SystemError& error) = 0;
        virtual void ScrambleTimes(int fd) = 0;
        virtual void ScrambleEntryTimes(int dirFd, const std::string& name) = 0;
        // Holds while the run is paused.
        virtual void WaitWhilePaused() = 0;
        virtual bool Stopped() const = 0;
        // The stop left the volume's free space not completely overwritten.
        virtual void NoteLeftUndone() = 0;
        // The folder `fd` belongs to a volume the run changes.
        virtual void NoteChangedVolume(int fd) = 0;

    protected:
        ~Host() = default;
    };

    // notes: where what the user should know beyond failures goes (not owned).
    FreeSpaceWipe(FileSystem& fileSystem, Host& host, int passCount,
                  std::vector<std::string>& notes)
        : m_fs(fileSystem), m_host(host), m_passCount(passCount), m_notes(notes) {}

    // Wipes the free space of the volume mounted at `volumeRoot` (with a trailing '/'). False,
    // with the reason, when nothing could be written although space was free.
    bool Wipe(const std::string& volumeRoot, std::string& reason);

private:
    std::uint64_t FillWithUnnamedFiles(int rootFd, UniqueFd first, const std::string& volumeRoot,
                                       SystemError& error);
    bool FillWithNamedFiles(int rootFd, const std::string& volumeRoot, std::uint64_t& written,
                            SystemError& error);
    std::uint64_t FillFreeSpace(int folderFd, const std::function<int(SystemError&)>& next,
                                SystemError& error);
    void NoteUnreachedSpace(int rootFd, const std::string& volumeRoot, std::uint64_t written);
    void ReleaseFillFiles(int folderFd);
    void ReleaseLeftFillFiles(int rootFd, const std::string& volumeRoot);

    FileSystem& m_fs;
    Host& m_host;
    int m_passCount;
    std::vector<std::string>& m_notes;
};

}  // namespace tolvane
