#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "items/FileItem.h"

namespace tolvane {

// text/uri-list, the form in which Linux file managers exchange dragged files: one URI a
// line, lines ending in CR LF, lines starting with '#' being comments.
//
// Paths are byte strings: a name that is not valid UTF-8 is carried byte for byte through
// percent-escapes, never through a text conversion that would replace its bytes.

// "file://" and the path with every byte outside the unreserved set and '/' written as %XX.
std::string FileUri(std::string_view path);

// One line per item that names a file or folder: folder + the name its lookup found (as
// DragEntryOf). Drive rows are left out, so no other program is ever handed a volume's
// mount point to act on; so is an item whose lookup found nothing.
std::string BuildUriList(const std::vector<FileItem>& items);

// The local path a URI names: only "file:" URIs whose host is empty or "localhost" (the
// scheme and host in any case), with or without the "//" of an authority. The query and
// fragment are cut off, percent-escapes become raw bytes (a '%' that starts no escape stays
// as it is), and trailing separators are dropped. False for any other URI, for a zero byte
// (escaped or raw), and for a path that is not in plain form: relative, the root itself, or with
// empty, "." or ".." components.
bool LocalPathOfUri(std::string_view uri, std::string& path);

// The local paths of a text/uri-list in order; lines that name no local path (above) are
// skipped. Lines may end in LF or CR LF; blanks and zero bytes around a line are ignored.
std::vector<std::string> LocalPathsOfUriList(std::string_view text);

}  // namespace tolvane
