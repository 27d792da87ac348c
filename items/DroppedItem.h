#pragma once

#include <optional>
#include <string>
#include <vector>

#include "items/FileItem.h"
#include "platform/Volumes.h"

namespace tolvane {

// The item for an absolute path received by a drop: folder and name split at the last '/',
// the entry's own data (a symbolic link as itself) with the name set even when the path
// names nothing, tag -1 and size 0.
FileItem DroppedFileItem(const std::string& path);

// The item for a name of a DROPFILES block, which may also be a drive spec: the drive spec
// of a volume in `mounts` becomes that volume's drive row (tag -1), another absolute path
// below the root in plain form (IsPlainAbsolutePath) is DroppedFileItem, and anything else
// (a relative name, the root, a name with an empty, "." or ".." component) none.
// Drive specs come only from this block, never from text/uri-list, where a name ending in
// ':' is always a file's.
std::optional<FileItem> DroppedBlockItem(const std::string& name,
                                         const std::vector<MountEntry>& mounts);

}  // namespace tolvane
