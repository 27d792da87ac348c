#pragma once

#include <string>
#include <vector>

#include "platform/MediumInfo.h"

namespace tolvane {

// Why overwriting in place may not reach every old copy of the data on a volume.
enum class MediumReason {
    CopyOnWrite,    // the file system writes changed blocks to new places
    LogStructured,  // the same, by appending every write to a log
    DataJournal,    // file contents are written to the journal first
    InlineData,     // small files live in the inode, which the journal copies
    Compressed,     // compressed files are rewritten to new places
    Encrypted,      // the file system encrypts the files
    Memory,         // the volume's pages live in memory and may be moved or swapped out
    Flash,          // the drive's controller remaps writes
    UpperLayer,     // an overlay's free space is its upper layer's; the lower ones stay
    LowerLayer,     // an overlay's files from its lower layers stay there; only copies are erased
};

// One volume on which in-place overwriting cannot be relied on, and why. Nothing is refused
// for these reasons: the notes are for the user to read before trusting a result.
struct MediumNote {
    std::string volume;  // the mount point, without a trailing separator but for "/"
    // "<mount point> (<file system>[ on <medium>][, data=journal]): <reason>[; <reason>...]"
    std::string text;
    std::vector<MediumReason> reasons;  // in the order of the text, never empty
};

// What the items of one volume showed.
struct VolumeFacts {
    MountFacts mount;
    BlockMedium medium;
    // Some item's content on this volume is rewritten by the file system's usual write path:
    // a folder, a free-space wipe, or a file not marked to be rewritten in place.
    bool copiedOnWrite = false;
    // The volume's free space is wiped.
    bool freeSpace = false;
    // A file or folder of the volume is erased.
    bool entries = false;
    // Some file item carries the attribute, or the volume stores small files in their inodes
    // and a folder or its free space is erased.
    bool inlineData = false;
    bool journalData = false;
    bool compressed = false;
    bool encrypted = false;
};

// One note per volume (mount point) the paths name, in the order the paths name them; empty
// when overwriting in place can be relied on everywhere. Paths are files, folders or drive
// specs ("<mount point>:", the volume's free space); a path naming nothing is ignored unless
// its last component is a pattern ("dir/*.txt"), which is checked at its folder. Symbolic
// links and special files are removed without being written, so they add nothing. Reads the
// mount table, sysfs and file attributes; writes nothing. Any thread.
std::vector<MediumNote> CheckMedia(const std::vector<std::string>& paths);
// The same against a given view of the system.
std::vector<MediumNote> CheckMedia(const std::vector<std::string>& paths, const MediumInfo& info);

// The reasons the facts of one volume give, in a fixed order; empty when there are none.
std::vector<MediumReason> ReasonsFor(const VolumeFacts& facts);
// The note for a volume; its reasons are empty (and its text too) when there is nothing to say.
MediumNote DescribeVolume(const VolumeFacts& facts);

}  // namespace tolvane
