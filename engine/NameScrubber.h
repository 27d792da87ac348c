#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FindData.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"
#include "platform/VolumeJournal.h"

namespace tolvane {

class FileSystem;

// Makes the names of erased entries unreadable on the medium, where renaming and removing
// them leaves them behind:
//   - ext4 writes a removed folder's blocks only when they are synced before the folder goes
//     (freed blocks are never written afterwards), keeps names in the slack of folders that
//     stay, and keeps copies of folder blocks in its journal;
//   - xfs marks a removed entry free by overwriting 4 of its bytes, frees emptied folder
//     blocks without writing them, leaves the names of a short folder in its inode, and keeps
//     every change in its log.
// So: an xfs folder in blocks gets its free slots filled when the first entry leaves it, so that
// none of its blocks is emptied (and freed unwritten) while the rest go; every folder an entry
// left gets its free slots filled with filler entries (extra names
// of one unnamed anchor file, random names) which are written to their place and then
// removed; a removed folder is synced first (ext4) or filled and removed at the end of the
// run (xfs); and the journal or log is overwritten once at the end of the run.
// An ext4 folder of more than one block finds names by hash: a name goes to the leaf block its
// hash picks, and a leaf that split keeps old names behind its entries. Where the volume's
// device can be read, the fillers are aimed at every leaf's gaps and the gaps checked empty
// afterwards; elsewhere filling until the folder grows misses some leaves, and the folder is
// named in a note ("names of erased files may remain in the folder <path>").
//
// What it promises: it creates entries only in a folder that held erased entries, and only
// names of its anchor; the user's entries are never renamed, moved or written. Every anchor's
// inode is recorded in a file of the user's state folder before its first filler is made,
// and released by the end of the run; a run that ended without releasing it (killed, a power
// cut) is cleaned up by the next run: every entry with the anchor's inode and size is removed.
// Whatever cannot be done is said in a note ("names of erased files may remain in the
// journal of <volume>"), never passed over.
//
// Used by the erase worker thread only.
class NameScrubber {
public:
    explicit NameScrubber(FileSystem& fs);
    ~NameScrubber();
    NameScrubber(const NameScrubber&) = delete;
    NameScrubber& operator=(const NameScrubber&) = delete;

    // Before the run touches anything (later calls do nothing): removes what runs that ended
    // without their Finish left, which would otherwise be found among the user's entries.
    void Begin(std::vector<std::string>& notes);
    // An entry left the open folder `dirFd` (removed, or renamed away from its own name).
    void NoteRemoval(int dirFd);
    // Removes the empty folder `name` of `dirFd` so that the names it held do not stay in its
    // freed blocks. Where that can only be done at the end of the run the folder is taken over
    // and counts as removed. Fails with why it could not be removed.
    SystemError RemoveFolder(int dirFd, const std::string& name);
    // True for an entry of the scrubber's own: a filler, or a folder taken over by
    // RemoveFolder. As far as the run is concerned it is not there.
    bool IsOwn(const FindData& entry) const;

    // The end of the run: clears the folders that stay and the journals, removes the folders
    // taken over. With `stopped`, only what was made is
    // removed again (the names are then noted as possibly remaining). `stopRequested` is asked
    // between steps. Adds its notes to `notes`.
    void Finish(bool stopped, const std::function<bool()>& stopRequested,
                std::vector<std::string>& notes);

    // The time spent here over the run, in seconds: what the names cost beyond the erase.
    double Seconds() const { return m_seconds; }

private:
    struct Volume;
    struct Folder;
    class Record;
    class Timer;

    // The open entry's data; false when it cannot be examined.
    bool Describe(int fd, FindData& data);
    Volume* VolumeOf(int fd);
    bool Fill(Folder& folder);
    bool MakeAnchor(Folder& folder);
    bool FillShortXfsFolder(Folder& folder);
    bool FillBlocks(Folder& folder);
    bool FillLeaves(Folder& folder);
    void CheckLeaves(Folder& folder);
    bool AddFiller(Folder& folder, std::size_t length);
    void RemoveFillers(Folder& folder);
    void RereadFacts(Volume& volume);
    void ScrubStayingFolders(bool stopped, const std::function<bool()>& stopRequested);
    bool OverwriteJournal(Volume& volume, const std::function<bool()>& stopRequested);
    bool RewriteAttributes(Volume& volume, const std::function<bool()>& stopRequested);
    void RemoveTakenOver();
    void ReleaseLeftovers(std::vector<std::string>& notes);
    bool RemoveLeftFillers(int folderFd, std::uint64_t device, std::uint64_t inode,
                           std::uint64_t size);

    FileSystem& m_fs;
    std::map<std::uint64_t, std::unique_ptr<Volume>> m_volumes;  // by device
    // Folders entries left that may stay, by device and inode, in the order they were met.
    std::vector<std::unique_ptr<Folder>> m_staying;
    // Removed folders whose removal waits for the end of the run, deepest first.
    std::vector<std::unique_ptr<Folder>> m_takenOver;
    std::unique_ptr<Record> m_record;
    bool m_begun = false;
    double m_seconds = 0;
    int m_timing = 0;  // timers running
};

}  // namespace tolvane
