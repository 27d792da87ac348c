// The private file-list block another copy of the program (or anything else) drops on us.
#include <fcntl.h>

#include "FuzzChecks.h"
#include "items/DropFilesBlock.h"
#include "items/DroppedItem.h"
#include "items/FileItem.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

const std::vector<MountEntry>& Mounts() {
    static const std::vector<MountEntry> mounts = [] {
        MountEntry home;
        home.mountPoint = "/home";
        home.fsType = "ext4";
        MountEntry usb;
        usb.mountPoint = "/media/me/USB";
        usb.fsType = "vfat";
        usb.minor = 1;
        return std::vector<MountEntry>{home, usb};
    }();
    return mounts;
}

// A name the way a pane selection would carry it: folder and name split at the last '/'.
FileItem SelectedItem(const std::string& path) {
    FileItem item;
    const std::size_t slash = path.rfind('/');
    item.folder = path.substr(0, slash + 1);
    item.name = path.substr(slash + 1);
    item.findData.name = item.name;
    return item;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> names;
    if (!ReadDropFilesBlock(AsText(data, size), names)) {
        return 0;
    }
    std::vector<FileItem> items;
    for (const std::string& name : names) {
        Require(!name.empty(), "a block yields no empty name");
        Require(name.find('\0') == std::string::npos, "a block's name holds no zero byte");
        if (std::optional<FileItem> item = DroppedBlockItem(name, Mounts())) {
            if (item->IsDriveRow()) {
                continue;
            }
            Require(item->FullPath() == name, "a dropped item is the path it came from");
            Require(IsPlainAbsolute(item->folder + "x") && item->folder.back() == '/',
                    "a dropped item's folder is absolute and plain");
            Require(!item->name.empty() && item->name != "." && item->name != ".." &&
                        item->name.find('/') == std::string::npos,
                    "a dropped item's name is one plain component");
        }
        if (name.front() == '/' && name.back() != '/') {
            items.push_back(SelectedItem(name));
        }
    }
    // What we read, written out again as a block, reads back as the same names.
    std::vector<std::string> again;
    Require(ReadDropFilesBlock(BuildDropFilesBlock(items), again), "our own block reads");
    Require(again.size() == items.size(), "our own block keeps every name");
    for (std::size_t i = 0; i < items.size(); ++i) {
        Require(again[i] == items[i].FullPath(), "our own block keeps every byte of a name");
    }
    return 0;
}
