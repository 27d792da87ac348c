#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Volumes.h"

namespace tolvane {

// The folders the browser offers as special folders, in the order it shows them.
enum class SpecialFolderKind {
    Documents,      // XDG_DOCUMENTS_DIR
    Desktop,        // XDG_DESKTOP_DIR
    Favorites,      // the home folder itself
    Temp,           // $TMPDIR, else /tmp/
    Recent,         // $XDG_DATA_HOME/RecentDocuments/
    Templates,      // XDG_TEMPLATES_DIR
    AppData,        // $XDG_CONFIG_HOME
    InternetCache,  // $XDG_CACHE_HOME
};

struct SpecialFolder {
    SpecialFolderKind kind = SpecialFolderKind::Favorites;
    std::string path;  // absolute, ends with '/'
};

// The value of XDG_<name>_DIR ("DOCUMENTS", "DESKTOP", ...) in user-dirs.dirs text, with
// "$HOME" expanded to `home` (which need not end with '/'); the result ends with '/'. Only the
// two forms the file may hold count: "$HOME/..." (or "$HOME" alone) and "/...", in double
// quotes, with backslash escapes inside, and with no "." or ".." component or zero byte. Comments,
// other names and malformed lines are ignored; when a name appears twice the last line wins. Empty
// when the name is not set.
std::string ParseUserDir(std::string_view text, std::string_view name, std::string_view home);

// An XDG user folder as the desktop resolves it: the value in
// $XDG_CONFIG_HOME/user-dirs.dirs (else $HOME/.config/user-dirs.dirs), else $HOME/Desktop for
// "DESKTOP" and $HOME for any other. Reads that one file and the environment only; empty when
// HOME is not an absolute path.
std::string UserDir(std::string_view name);

// The special folders that exist as folders (links to folders count), in the order of
// SpecialFolderKind. A folder that is missing, or that resolves to the home folder itself
// (XDG's fallback for an unset folder) other than Favorites, is left out; nothing is created.
// Checks each folder's existence with stat: on a home folder on a network volume that may
// block, so call it off the GUI thread or cache the result.
std::vector<SpecialFolder> ListSpecialFolders();

struct TrashFolder {
    std::string path;        // the trash folder, ending with '/'
    std::string volumeRoot;  // the mount point of the volume it serves, ending with '/'
};

// The user's trash folders that exist, in freedesktop's layout: $XDG_DATA_HOME/Trash/ first
// (served by the deepest of `volumes` that holds it), then per volume in order
// $topdir/.Trash/$uid/ (only when .Trash is a sticky folder, not a link) and
// $topdir/.Trash-$uid/. A trash folder on a volume must be a folder owned by uid, not a link:
// one planted by another user is not offered as the user's own. Slow volumes are not probed.
std::vector<TrashFolder> ListTrashFolders(const std::vector<Volume>& volumes, unsigned uid);

// The label of the volume whose device is `source` (a mount table's source field): the name
// of the link in `byLabelFolder` that resolves to the same file as `source`, with udev's
// "\xHH" escapes decoded ("My\x20Stick" gives "My Stick"). Empty when the source is not an
// absolute path (network and pseudo file systems), cannot be resolved, or has no label.
// Reads only the device folder, never the volume.
std::string VolumeLabel(const std::string& source,
                        const std::string& byLabelFolder = "/dev/disk/by-label/");

// A label as the name of its link in /dev/disk/by-label: udev's "\xHH" escapes decoded, any
// other backslash (and "\x00", which udev never writes) kept as itself.
std::string DecodeUdevLabel(std::string_view name);

}  // namespace tolvane
