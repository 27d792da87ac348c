#pragma once

#include <string>

namespace tolvane {

// Folders of the desktop's conventions, read from the environment only: nothing is created
// by asking. Each result ends with '/', or is empty when the folder is not defined.

// The path with a '/' appended unless it ends with one already; empty stays empty.
std::string WithSeparator(std::string path);

// $TMPDIR, else "/tmp/".
std::string TempFolder();
// $XDG_CACHE_HOME, else $HOME/.cache/: where programs keep caches (the web cache among them).
std::string CacheFolder();
// $XDG_DATA_HOME, else $HOME/.local/share/.
std::string DataFolder();
// The recent-documents folder: DataFolder() + "RecentDocuments/".
std::string RecentFolder();
// The home trash: DataFolder() + "Trash/".
std::string HomeTrashFolder();

}  // namespace tolvane
