#include "items/DroppedItem.h"

#include <fcntl.h>

#include "platform/Directory.h"

namespace tolvane {

FileItem DroppedFileItem(const std::string& path) {
    FileItem item;
    SplitPath(path, item.folder, item.name);
    // A path that names nothing still reaches the erase list, which reports it when it
    // runs; its data stays empty but for the name.
    if (!StatEntry(AT_FDCWD, path, item.findData)) {
        item.findData = FindData{};
    }
    item.findData.name = item.name;
    item.tag = -1;
    return item;
}

std::optional<FileItem> DroppedBlockItem(const std::string& name,
                                         const std::vector<MountEntry>& mounts) {
    std::string volumeRoot;
    if (ParseDriveSpec(name, volumeRoot, mounts)) {
        if (std::optional<FileItem> drive = DriveItem(volumeRoot)) {
            drive->tag = -1;
            return *drive;
        }
    }
    // "/a/.." would list an item named ".." in /a/ and erase /; "/a/./b" or "//b" is no
    // name this program writes. As for URI lists, only plain paths are taken.
    if (!IsPlainAbsolutePath(name)) {
        return std::nullopt;
    }
    return DroppedFileItem(name);
}

}  // namespace tolvane
