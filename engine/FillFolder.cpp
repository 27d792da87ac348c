#include "engine/FillFolder.h"

#include <fcntl.h>

#include <vector>

#include "platform/Directory.h"
#include "platform/FileSystem.h"

namespace tolvane {
namespace {

// Eight lowercase letters, a dot and three: the names the fill files and their folder get.
bool HasFillName(const std::string& name) {
    if (name.size() != 12 || name[8] != '.') {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i != 8 && (name[i] < 'a' || name[i] > 'z')) {
            return false;
        }
    }
    return true;
}

// The fill files of a left-over folder; false when the folder holds anything else, or no
// mark (then it is not ours).
bool ListLeftover(FileSystem& fs, int folderFd, std::vector<FindData>& fills) {
    std::vector<FindData> entries;
    std::vector<UnreadableEntry> unreadable;
    if (fs.ListFolder(folderFd, entries, &unreadable).Failed() || !unreadable.empty()) {
        return false;
    }
    bool marked = false;
    for (FindData& entry : entries) {
        if (entry.name == FillFolder::MarkName() && entry.IsRegular() && entry.size == 0) {
            marked = true;
        } else if (HasFillName(entry.name) && entry.IsRegular() && entry.links == 1) {
            fills.push_back(std::move(entry));
        } else {
            return false;
        }
    }
    return marked;
}

}  // namespace

const std::string& FillFolder::MarkName() {
    static const std::string name = ".tolvane-fill-folder";
    return name;
}

SystemError FillFolder::Mark(int folderFd, FileSystem& fs) {
    return fs.CreateNewFile(folderFd, MarkName()).error;
}

void FillFolder::Unmark(int folderFd, FileSystem& fs) {
    (void)fs.RemoveFile(folderFd, MarkName());  // a mark left behind only keeps the folder
}

std::uint64_t FillFolder::ReleaseLeftovers(int rootFd, FileSystem& fs) {
    std::vector<FindData> entries;
    if (fs.ListFolder(rootFd, entries, nullptr).Failed()) {
        return 0;  // nothing found to release; the wipe goes on with the space it can get
    }
    std::uint64_t released = 0;
    for (const FindData& entry : entries) {
        if (!entry.IsDirectory() || !HasFillName(entry.name)) {
            continue;
        }
        UniqueFd folder = fs.OpenDirectory(rootFd, entry.name).fd;
        std::vector<FindData> fills;
        if (!folder.Valid() || !ListLeftover(fs, folder.Get(), fills)) {
            continue;
        }
        for (const FindData& fill : fills) {
            UniqueFd fd = fs.OpenForOverwrite(folder.Get(), fill.name, &fill).fd;
            if (fd.Valid() && !fs.Truncate(fd.Get()).Failed()) {
                released += fill.size;
            }
            (void)fs.RemoveFile(folder.Get(), fill.name);  // what stays is reported by size
        }
        Unmark(folder.Get(), fs);
        (void)fs.RemoveFolder(rootFd, entry.name);
    }
    return released;
}

}  // namespace tolvane
