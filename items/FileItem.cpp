#include "items/FileItem.h"

#include "platform/Volumes.h"

namespace tolvane {

std::optional<FileItem> DriveItem(std::string_view volumeRoot) {
    // A relative or empty root would give a spec such as ":" that names an entry of the
    // current folder rather than a volume's free space.
    if (volumeRoot.empty() || volumeRoot.front() != '/') {
        return std::nullopt;
    }
    FileItem item;
    item.name = FormatDriveSpec(volumeRoot);
    item.findData.name = item.name;
    return item;
}

}  // namespace tolvane
