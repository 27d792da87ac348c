#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Ext4FolderBlocks.h"

namespace tolvane {

// Which filler names take every gap of a hashed ext4 folder's leaves, so that removing them
// again clears the gaps. ext4 wipes an entry it removes up to the next one, its gap included,
// so a filler made at the start of a gap and removed again clears the whole gap. A name goes to
// the leaf its hash picks and there to the first gap that holds it; so a leaf's gaps are taken
// in their order, each by the longest fillers that fit, until none is left that a filler could
// take, and every name is drawn until its hash picks that leaf. No leaf is overfilled, so none
// splits and the folder does not grow.
//
// Only leaves whose gaps hold old bytes are filled: a leaf that split keeps copies of its
// earlier entries behind its own, and those may be names of files erased since.
class HashedFolderFill {
public:
    // `random` gives random 64-bit numbers; the names are drawn from them.
    HashedFolderFill(const Ext4FolderBlocks& folder, std::function<std::uint64_t()> random)
        : m_folder(folder), m_random(std::move(random)) {}

    // The names to make, in the order to make them. A leaf whose hashes are too narrow a range
    // for names to be found in reasonable time gets fewer or none, and keeps old bytes.
    std::vector<std::string> Plan();

    // True when a gap of the leaf holds anything but zeros, apart from gaps too small for any
    // entry (when `fillableOnly`).
    static bool HoldsOldBytes(const Ext4FolderBlocks::Leaf& leaf, bool fillableOnly = false);

private:
    std::vector<std::size_t> FillerLengths(const Ext4FolderBlocks::Leaf& leaf) const;
    std::size_t LeafOf(std::uint32_t hash) const;

    const Ext4FolderBlocks& m_folder;
    std::function<std::uint64_t()> m_random;
};

// A filler name: `length` letters and digits drawn from `random`, which gives random 64-bit
// numbers.
std::string FillerName(std::size_t length, const std::function<std::uint64_t()>& random);

}  // namespace tolvane
