#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// A hashed ext4 folder as its blocks hold it now: which names each leaf block takes, and what
// lies in each block between and after the entries. ext4 puts a new name into the leaf its
// hash picks, in the first gap there that is large enough; a leaf that splits keeps, behind
// its entries, old bytes with the names it held. Knowing the leaves lets fillers be aimed at
// each leaf's gaps without splitting any leaf.
struct Ext4FolderBlocks {
    // One entry of a leaf: `length` bytes from `offset`, of which the first `used` hold the
    // entry (0 for an empty one); the rest is a gap later names can take.
    struct Record {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        std::uint32_t used = 0;
        std::uint32_t Gap() const { return length - used; }
    };
    // A leaf takes the names whose hash h is hashFrom <= h <= hashTo.
    struct Leaf {
        std::uint64_t block = 0;  // the leaf's number in the folder
        std::uint32_t hashFrom = 0;
        std::uint32_t hashTo = 0;
        std::vector<Record> records;
        std::string bytes;  // the block as read
    };

    std::uint32_t blockSize = 0;
    std::uint32_t entryArea = 0;    // bytes of a leaf that hold entries (less the checksum)
    std::uint32_t hashVersion = 0;  // the kernel's hash for this folder (legacy, md4, tea)
    std::array<std::uint32_t, 4> hashSeed{};
    std::vector<Leaf> leaves;  // in the order of their hashes
};

// True when the open folder is an ext4 folder that finds its entries by hash.
bool IsHashedFolder(int folderFd);

// True when the running kernel's ext4 wipes an entry it removes, gap and all (since Linux
// 5.15): a folder whose entries never move (one that is not hashed) then holds no old names.
bool Ext4WipesRemovedEntries();

// Reads the hashed folder `folderFd` from the volume's block device `deviceName` ("loop0"),
// which needs the right to read that device. The blocks are read through the same cache the
// file system writes them in, so they are as it has them now. False when the folder or the
// volume is laid out in a way this does not know (encrypted or case-folding names, for one).
bool ReadExt4FolderBlocks(int folderFd, const std::string& deviceName, Ext4FolderBlocks& folder);

}  // namespace tolvane
