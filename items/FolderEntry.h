#pragma once

#include <cstdint>

#include "platform/FindData.h"

namespace tolvane {

// Attribute bit of a volume-label entry. Linux listings never have one; the item order
// still honours it so that the order stays one rule for every platform.
constexpr std::uint32_t kAttrVolumeLabel = 0x8;

// One entry of a folder listing.
struct FolderEntry {
    FindData findData;
    std::int32_t tag = 0;  // the lister stores 0
};

}  // namespace tolvane
