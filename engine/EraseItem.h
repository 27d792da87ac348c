#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// Marks the folders of traces that are recreated after their item was erased.
enum class ItemKind : std::uint16_t {
    Ordinary = 0,
    InternetCache = 2,
    History = 3,
    Cookies = 4,
    Recent = 5,
    Temp = 6,
    Trash = 7,  // a trash folder: after erasing it is an empty trash again (files/, info/)
};

// One entry of a job's list: a file, a file-name pattern, a folder or a drive spec
// ("<mount point>:", the free space of that volume).
struct EraseItem {
    ItemKind kind = ItemKind::Ordinary;
    std::string path;
};

using EraseItemList = std::vector<EraseItem>;

}  // namespace tolvane
