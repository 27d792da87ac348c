#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "items/FileItem.h"

namespace tolvane {

// The MIME type under which this program's drags carry their file names as a DROPFILES
// block (alongside text/uri-list for other programs).
inline constexpr char kDropFilesMimeType[] = "application/x-tolvane-dropfiles";

// A DROPFILES block: a 20-byte header (offset of the first name = 20, a zero point, a zero
// "non-client" flag and fWide = 0 for 8-bit names), then each name with a zero byte after
// it, then a 16-byte trailer whose first four zero bytes are the empty name that ends the
// list. The 32-bit fields are little-endian.
inline constexpr std::size_t kDropFilesHeaderSize = 20;
inline constexpr std::size_t kDropFilesTrailerSize = 16;

// The name an item contributes to a drag: folder + the name its lookup found. A drive row
// contributes its drive spec ("/media/me/USB:"), so it reaches another copy of this program
// as the volume's free space. An item whose lookup found nothing contributes nothing: an
// empty name would end the list early for every reader, and its folder alone would name
// the parent folder instead of the item.
std::string DragEntryOf(const FileItem& item);

// The block for the items in list order; entries that are empty (above) are left out.
// An empty list gives the 36-byte block with no names.
std::string BuildDropFilesBlock(const std::vector<FileItem>& items);

// The names of a block, in order, up to the empty name that ends the list. Names of a
// block with fWide set are UTF-16LE and come back as UTF-8 (ill-formed units as U+FFFD);
// 8-bit names come back as they are. A last name that runs off the end of the block is
// left out. False when the block is too short for its header or its names begin outside
// it.
bool ReadDropFilesBlock(std::string_view block, std::vector<std::string>& names);

}  // namespace tolvane
