#include "panes/Locations.h"

#include "items/Utf16.h"

namespace tolvane {
namespace {

// "/home/" shows as "/home"; the root keeps its only character.
std::string MountPointText(const std::string& root) {
    return root.size() > 1 && root.back() == '/' ? root.substr(0, root.size() - 1) : root;
}

// The last component of a folder path ("/home/me/Documents/" gives "Documents").
std::string FolderName(const std::string& path) {
    const std::string trimmed = MountPointText(path);
    const std::size_t slash = trimmed.rfind('/');
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    return name.empty() ? trimmed : name;
}

Location VolumeLocation(const LabeledVolume& entry) {
    Location location;
    location.kind = LocationKind::Volume;
    location.path = entry.volume.root;
    location.displayName = entry.label.empty() ? MountPointText(entry.volume.root) : entry.label;
    location.freeSpaceItem = FormatDriveSpec(entry.volume.root);
    location.slow = entry.volume.slow;
    location.network = IsNetworkFileSystem(entry.volume.fsType);
    return location;
}

Location SpecialLocation(const SpecialFolder& folder) {
    Location location;
    location.kind = LocationKind::SpecialFolder;
    location.path = folder.path;
    location.displayName =
        folder.kind == SpecialFolderKind::Favorites ? "Home" : FolderName(folder.path);
    location.specialKind = folder.kind;
    return location;
}

bool ShownInBox(SpecialFolderKind kind) {
    return kind == SpecialFolderKind::Documents || kind == SpecialFolderKind::Desktop ||
           kind == SpecialFolderKind::Favorites;
}

Location PlainLocation(LocationKind kind, std::string path, std::string displayName) {
    Location location;
    location.kind = kind;
    location.path = std::move(path);
    location.displayName = std::move(displayName);
    return location;
}

// Whether root holds path component by component; both end with '/'.
bool HoldsPath(std::string_view root, std::string_view path) {
    return !root.empty() && root.back() == '/' && path.substr(0, root.size()) == root;
}

}  // namespace

std::vector<Location> BuildLocationList(LocationListKind kind, const LocationInputs& inputs) {
    std::vector<Location> list;
    for (const LabeledVolume& volume : inputs.volumes) {
        list.push_back(VolumeLocation(volume));
    }
    for (const SpecialFolder& folder : inputs.specialFolders) {
        if (ShownInBox(folder.kind) ||
            (kind == LocationListKind::Tree && inputs.showSpecialFolders)) {
            list.push_back(SpecialLocation(folder));
        }
    }
    if (kind == LocationListKind::Box) {
        list.push_back(PlainLocation(LocationKind::RootFolder, "", std::string(kRootFolderText)));
    } else {
        for (const TrashFolder& trash : inputs.trashFolders) {
            list.push_back(PlainLocation(LocationKind::Trash, trash.path,
                                         "Trash (" + MountPointText(trash.volumeRoot) + ")"));
        }
    }
    if (!inputs.recentFolders.empty()) {
        list.push_back(PlainLocation(LocationKind::Separator, "", std::string(kSeparatorText)));
    }
    for (const std::string& folder : inputs.recentFolders) {
        list.push_back(PlainLocation(LocationKind::Recent, folder,
                                     kind == LocationListKind::Box
                                         ? AbbreviatePath(folder, kRecentDisplayLength)
                                         : FolderName(folder)));
    }
    return list;
}

std::string AbbreviatePath(std::string_view text, std::size_t n) {
    std::vector<std::size_t> starts;  // byte offset of every character
    std::size_t pos = 0;
    char32_t codePoint = 0;
    while (pos < text.size()) {
        starts.push_back(pos);
        DecodeUtf8(text, pos, codePoint);  // a bad byte counts as one character, as shown
    }
    if (starts.size() <= n || n < 3) {
        return std::string(text);
    }
    const std::size_t kept = n - 3;
    return "..." + std::string(text.substr(kept == 0 ? text.size() : starts[starts.size() - kept]));
}

std::optional<TreePathMatch> MatchTreePath(const std::vector<Location>& locations,
                                           std::string_view path) {
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < locations.size(); ++i) {
        const Location& location = locations[i];
        if (location.kind == LocationKind::Volume && HoldsPath(location.path, path) &&
            (!best || location.path.size() > locations[*best].path.size())) {
            best = i;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    TreePathMatch match;
    match.rootIndex = *best;
    std::string_view rest = path.substr(locations[*best].path.size());
    for (std::size_t slash = rest.find('/'); slash != std::string_view::npos;
         slash = rest.find('/')) {
        if (slash > 0) {  // "a//b" names the same folder as "a/b"
            match.children.emplace_back(rest.substr(0, slash));
        }
        rest.remove_prefix(slash + 1);
    }
    return match;
}

std::optional<std::size_t> FindLocation(const std::vector<Location>& locations,
                                        std::string_view path) {
    for (std::size_t i = 0; i < locations.size(); ++i) {
        if (!locations[i].path.empty() && locations[i].path == path) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace tolvane
