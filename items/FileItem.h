#pragma once

#include <cstdint>
#include <string>

#include "platform/FindData.h"

namespace tolvane {

// One file or folder handed between the panes, the erase list, drag and drop and an erase
// run. The full path is always folder + name.
struct FileItem {
    FindData findData;
    // -1 for a file received by a drop, 0 for an item of a pane selection, the image index
    // for an item collected from the erase list.
    std::int32_t tag = 0;
    // The parent folder ending with '/', or empty for a volume root.
    std::string folder;
    // The last path component, or the volume root itself for a volume root.
    std::string name;
    // 0 except for items collected from the erase list (the size it shows).
    std::uint64_t size = 0;

    std::string FullPath() const { return folder + name; }
};

}  // namespace tolvane
