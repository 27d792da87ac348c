#pragma once

#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace tolvane {

// What the file system holding a descriptor keeps of removed names, and where: its kind, its
// journal (or log) and the sizes that decide how a folder's free slots are filled. Read
// without privileges: statfs, the xfs geometry ioctl, the kernel's journal statistics.
struct VolumeJournal {
    enum class Kind { kExt4, kXfs, kOther };
    Kind kind = Kind::kOther;
    std::string fsName;              // "ext4", "xfs", "btrfs", ... as statfs tells it
    bool hasJournal = true;          // false: an ext4 made or mounted without one
    std::uint64_t journalBytes = 0;  // the journal's or log's size; 0 when it cannot be learnt
    std::uint32_t blockSize = 4096;
    std::uint32_t inodeSize = 0;        // xfs: where short folders keep their entries
    std::uint32_t folderBlockSize = 0;  // xfs: the size of one folder block
    std::string deviceName;             // "loop0": the key of the kernel's per-volume files
};

// Learns what there is to know about the volume holding `fd`; false when statfs fails.
bool ReadVolumeJournal(int fd, VolumeJournal& journal);

// ext4: writes every committed change to its place and zeroes the whole journal. Needs the
// capability to administer file systems; false (errno set) otherwise or where unsupported.
bool CheckpointAndZeroJournal(int fd);

// xfs: the position the log has reached, in 512-byte units counted over all its cycles; false
// when the kernel does not publish it.
bool XfsLogPosition(const VolumeJournal& journal, std::uint64_t& position);

// The absolute path an open folder has now ("" when it cannot be read, or it was removed).
std::string DescriptorPath(int fd);

// $XDG_STATE_HOME, else $HOME/.local/state/, with a trailing '/'; "" when neither is known.
std::string StateFolder();

}  // namespace tolvane

namespace tolvane {

// Takes the exclusive lock of an open file without waiting (flock): false when another
// process holds it. It is released when the process ends, however it ends.
bool TryLockExclusive(int fd);

}  // namespace tolvane

namespace tolvane {

// An existing regular file for reading and writing, never following a link in `name`.
UniqueFd OpenForReadWrite(int dirFd, const std::string& name);
// All of an open file from its start; false on a read error.
bool ReadAll(int fd, std::string& text);

}  // namespace tolvane
