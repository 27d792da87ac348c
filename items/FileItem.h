#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FindData.h"

namespace tolvane {

// One file or folder, or the free space of a volume, handed between the panes, the erase
// list, drag and drop and an erase run. The full path is always folder + name.
//
// A drive row (folder empty, name the volume's drive spec "<mount point>:", such as "/:" or
// "/media/me/USB:") stands for the volume's free space and never for the files on it: its
// full path is the drive spec, which an erase run wipes as free space. A volume root must
// never be stored as a row of its own ("/media/me/USB/" as a name), or a listed or dragged
// volume would become "erase every file on it"; make drive rows with DriveItem.
struct FileItem {
    FindData findData;
    // -1 for a file received by a drop, 0 for an item of a pane selection, the image index
    // for an item collected from the erase list.
    std::int32_t tag = 0;
    // The parent folder, absolute and ending with '/'; empty only for a drive row.
    std::string folder;
    // The last path component; the drive spec for a drive row.
    std::string name;
    // 0 except for items collected from the erase list (the size it shows).
    std::uint64_t size = 0;

    std::string FullPath() const { return folder + name; }
    bool IsDriveRow() const { return folder.empty(); }
};

// The drive row of the volume mounted at volumeRoot ("/media/me/USB/" or "/media/me/USB"
// gives the name "/media/me/USB:"). The find data carries the drive spec as its name too, so
// whatever writes out folder + find-data name (the drag block) writes the drive spec. None
// for a root that is not an absolute path (an empty root from a failed lookup, say).
std::optional<FileItem> DriveItem(std::string_view volumeRoot);

}  // namespace tolvane
