#include "engine/FreeSpaceWipe.h"

#include <errno.h>
#include <fcntl.h>

#include <algorithm>

#include "engine/EraseRules.h"
#include "engine/FailureReasons.h"
#include "engine/FillFolder.h"
#include "engine/FormatSize.h"
#include "platform/Directory.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/VolumeJournal.h"

namespace tolvane {
namespace {

// Fill files stay below 1 GiB, so that the free space is read again before each one and
// the loop follows what is really left.
constexpr std::uint64_t kFillFileLimit = 0x40000000;

// A volume as notes name it: its mount point without the trailing separator.
std::string VolumeName(const std::string& volumeRoot) {
    return volumeRoot.size() > 1 ? volumeRoot.substr(0, volumeRoot.size() - 1) : volumeRoot;
}

}  // namespace

// False, with the reason, when nothing could be written although space was free.
bool FreeSpaceWipe::Wipe(const std::string& volumeRoot, std::string& reason) {
    if (m_passCount <= 0) {
        return true;  // nothing is written without passes
    }
    Opened opened = m_fs.OpenDirectory(AT_FDCWD, volumeRoot);
    UniqueFd root = std::move(opened.fd);
    if (!root.Valid()) {
        reason = FailureReason(kFreeSpaceNotWritten, opened.error);
        return false;
    }
    m_host.NoteChangedVolume(root.Get());
    ReleaseLeftFillFiles(root.Get(), volumeRoot);
    if (m_fs.FreeSpace(root.Get()).available == 0) {
        return true;  // a full volume has no free space to wipe
    }
    // Fill files without a name give their space back however the run ends (a crash, kill -9,
    // a power cut), so a wipe can never leave the volume full; they need no folder either.
    // Where the file system cannot make them, named fill files in a folder of their own.
    Opened first = m_fs.CreateUnnamedFile(root.Get());
    const int unnamed = first.error.number;
    SystemError error = std::move(first.error);
    std::uint64_t written = 0;
    if (first.fd.Valid()) {
        written = FillWithUnnamedFiles(root.Get(), std::move(first.fd), volumeRoot, error);
    } else if (unnamed == EOPNOTSUPP || unnamed == EISDIR || unnamed == EINVAL) {
        error = {};
        if (!FillWithNamedFiles(root.Get(), volumeRoot, written, error)) {
            reason = FailureReason(kFreeSpaceNotWritten, error);
            return false;
        }
    }
    if (written == 0 && !m_host.Stopped()) {
        reason = FailureReason(kFreeSpaceNotWritten, error);
        return false;
    }
    return true;
}

std::uint64_t FreeSpaceWipe::FillWithUnnamedFiles(int rootFd, UniqueFd first,
                                                  const std::string& volumeRoot,
                                                  SystemError& error) {
    std::vector<UniqueFd> fills;
    std::uint64_t written = FillFreeSpace(
        rootFd,
        [&](SystemError& made) -> int {
            Opened opened{std::move(first), {}};
            if (!opened.fd.Valid()) {
                opened = m_fs.CreateUnnamedFile(rootFd);
            }
            if (!opened.fd.Valid()) {
                made = std::move(opened.error);
                return -1;
            }
            fills.push_back(std::move(opened.fd));  // the space stays taken while it is open
            return fills.back().Get();
        },
        error);
    NoteUnreachedSpace(rootFd, volumeRoot, written);
    for (UniqueFd& fd : fills) {
        (void)m_fs.Truncate(fd.Get());  // gives the space back now; closing does the rest
    }
    return written;
}

bool FreeSpaceWipe::FillWithNamedFiles(int rootFd, const std::string& volumeRoot,
                                       std::uint64_t& written, SystemError& error) {
    // A name that cannot be examined counts as taken: the folder gets another.
    const auto taken = [&](const std::string& name) {
        FindData entry;
        const SystemError error = m_fs.StatEntry(rootFd, name, entry);
        return !error.Failed() || error.number != ENOENT;
    };
    std::string folder = kObscureName;
    while (taken(folder)) {
        NextName(folder);
    }
    error = m_fs.MakeFolder(rootFd, folder, 0700);
    if (error.Failed()) {
        return false;
    }
    Opened opened = m_fs.OpenDirectory(rootFd, folder);
    UniqueFd folderFd = std::move(opened.fd);
    error = std::move(opened.error);
    // Marked, so that a run that ends before it is released does not leave the volume full:
    // the next wipe finds it.
    if (folderFd.Valid()) {
        error = FillFolder::Mark(folderFd.Get(), m_fs);
    }
    if (folderFd.Valid() && !error.Failed()) {
        DisableCompression(folderFd.Get());  // fill files inherit it
        std::string name = kObscureName;
        UniqueFd current;
        written = FillFreeSpace(
            folderFd.Get(),
            [&](SystemError& made) -> int {
                Opened opened = m_fs.CreateNewFile(folderFd.Get(), name);
                NextName(name);
                current = std::move(opened.fd);
                made = std::move(opened.error);
                return current.Get();
            },
            error);
        current.Reset();
        NoteUnreachedSpace(rootFd, volumeRoot, written);
        ReleaseFillFiles(folderFd.Get());
        FillFolder::Unmark(folderFd.Get(), m_fs);
    }
    m_host.ScrambleEntryTimes(rootFd, folder);
    (void)m_fs.RemoveFolder(rootFd, folder);  // a leftover empty folder is harmless
    return true;
}

// Fills the volume with fill files made by `next` (a descriptor that stays valid until the
// following call, or -1 with why) until no more fits; the bytes written. error: why no fill
// file could be written, when nothing was.
std::uint64_t FreeSpaceWipe::FillFreeSpace(int folderFd,
                                           const std::function<int(SystemError&)>& next,
                                           SystemError& error) {
    std::uint64_t total = 0;
    for (;;) {
        std::uint64_t n = std::min(m_fs.FreeSpace(folderFd).available, kFillFileLimit);
        if (n == 0) {
            return total;
        }
        m_host.WaitWhilePaused();
        if (m_host.Stopped()) {
            m_host.NoteLeftUndone();  // the volume's free space is not completely overwritten
            return total;
        }
        const int fd = next(error);
        if (fd < 0) {
            // No fill file can be made although space is reported free (file systems keep
            // some blocks back that no write can use): there is nothing more to fill.
            return total;
        }
        DisableCompression(fd);
        SystemError writeError;
        const std::uint64_t written = m_host.WriteFill(fd, n, writeError);
        if (written == 0) {
            error = writeError;
        }
        total += written;
        // The last fill file took no byte at all: the rest of the reported space is not
        // usable, and asking again would loop for ever.
        if (written == 0) {
            return total;
        }
    }
}

// What is still free while the fill files hold everything they could get is space that no
// write of this user reached: blocks kept for root, the file system's own reserves.
void FreeSpaceWipe::NoteUnreachedSpace(int rootFd, const std::string& volumeRoot,
                                       std::uint64_t written) {
    if (written == 0 || m_host.Stopped()) {
        return;
    }
    const std::string volume = VolumeName(volumeRoot);
    // xfs frees emptied folder blocks without writing them, and some of them land in its
    // reserves: the names they held stay there.
    VolumeJournal journal;
    const bool names =
        ReadVolumeJournal(rootFd, journal) && journal.kind == VolumeJournal::Kind::kXfs;
    const std::string namesNote = names ? "; names of erased files may remain there" : "";
    const FileSystem::Space space = m_fs.FreeSpace(rootFd);
    if (!space.reserveKnown) {
        // A figure read without the reserve would say less than what stays: none is given.
        m_notes.push_back("Free space on " + volume +
                          " that the file system keeps in reserve could not be overwritten; "
                          "how much could not be determined" +
                          namesNote);
        return;
    }
    const std::uint64_t unreached = space.allFree;
    if (unreached == 0) {
        return;
    }
    m_notes.push_back(FormatDecimalSize(unreached) + " of free space on " + volume +
                      " could not be overwritten: reserved by the file system" + namesNote);
}

void FreeSpaceWipe::ReleaseLeftFillFiles(int rootFd, const std::string& volumeRoot) {
    const std::uint64_t released = FillFolder::ReleaseLeftovers(rootFd, m_fs);
    if (released > 0) {
        m_notes.push_back(FormatDecimalSize(released) +
                          " of fill files that an interrupted wipe left on " +
                          VolumeName(volumeRoot) + " were released");
    }
}

// The fill files go in the order they were made, up to the first name that was never made.
void FreeSpaceWipe::ReleaseFillFiles(int folderFd) {
    std::string fill = kObscureName;
    for (;;) {
        UniqueFd fd = m_fs.OpenForOverwrite(folderFd, fill, nullptr).fd;
        if (fd.Valid()) {
            (void)m_fs.Truncate(fd.Get());  // frees the space even if the delete fails
        }
        m_host.ScrambleTimes(fd.Get());
        if (m_fs.RemoveFile(folderFd, fill).Failed()) {
            return;
        }
        NextName(fill);
    }
}

}  // namespace tolvane
