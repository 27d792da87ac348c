#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UserDirs.h"
#include "platform/Volumes.h"

namespace tolvane {

// The entry between the fixed locations and the recent folders. It names no folder.
constexpr std::string_view kSeparatorText = "------------------------";
// The location box entry that goes to the root of the current folder's volume.
constexpr std::string_view kRootFolderText = "Root folder";
// Recent folders are shortened to this many characters in the location box.
constexpr std::size_t kRecentDisplayLength = 26;

enum class LocationKind { Volume, SpecialFolder, Trash, RootFolder, Separator, Recent };

// One entry of the location box or one root of the folder tree.
struct Location {
    LocationKind kind = LocationKind::Separator;
    // The folder, ending with '/' (a volume's mount point for volumes); empty for the
    // separator and "Root folder", which name no folder.
    std::string path;
    // The text shown for the entry; the controls compare entries by it.
    std::string displayName;
    // Volumes only: the drive spec ("/home:") of the row that stands for the volume's free
    // space. A row is that row because it is a volume entry, whatever its path.
    std::string freeSpaceItem;
    // Volumes only: a network or removable volume, never read unless the user is at it.
    bool slow = false;
    // Volumes only: a network file system (shown with a network icon).
    bool network = false;
    // Special folders only: which one, for its icon.
    SpecialFolderKind specialKind = SpecialFolderKind::Favorites;

    bool operator==(const Location&) const = default;
};

enum class LocationListKind { Box, Tree };

struct LabeledVolume {
    Volume volume;
    std::string label;  // empty: shown by its mount point
};

// What the list is built from, gathered by the caller (mount table, environment): building
// touches no file system.
struct LocationInputs {
    std::vector<LabeledVolume> volumes;         // ordered by mount point
    std::vector<SpecialFolder> specialFolders;  // as ListSpecialFolders gives them
    std::vector<TrashFolder> trashFolders;      // the user's trash folders that exist
    std::vector<std::string> recentFolders;     // most recent first
    bool showSpecialFolders = true;             // the tree's extra special folders
};

// The location list in the order the panes show it: the volumes; Documents, Desktop and the
// home folder; in a tree and with showSpecialFolders the other special folders; then in a
// box "Root folder", in a tree the trash folders as "Trash (mount point)"; then, when there
// are recent folders, the separator and the recent folders.
std::vector<Location> BuildLocationList(LocationListKind kind, const LocationInputs& inputs);

// The text unchanged when it has at most n characters (code points, so a name is never cut
// inside a character) or n < 3; otherwise "..." followed by its last n - 3 characters.
std::string AbbreviatePath(std::string_view text, std::size_t n);

// How a path lies in the tree: under the root at rootIndex, then down through the child
// names in order (the text after the path's last '/' is not a component).
struct TreePathMatch {
    std::size_t rootIndex = 0;
    std::vector<std::string> children;
};

// The tree position of a path: the volume entry whose mount point is the longest prefix of
// the path component by component ("/home/" holds "/home/me/" but not "/homework/"), so
// nested volumes ("/", "/home/", "/home/me/usb/") give the deepest. Only volume entries are
// candidates, as a volume's tree holds every folder on it. Children are to be matched by
// exact, case-sensitive name. Nothing when no volume holds the path or it is not absolute.
std::optional<TreePathMatch> MatchTreePath(const std::vector<Location>& locations,
                                           std::string_view path);

// The position of the first entry with this path; nothing when none has it.
std::optional<std::size_t> FindLocation(const std::vector<Location>& locations,
                                        std::string_view path);

}  // namespace tolvane
