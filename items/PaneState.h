#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "items/DataReader.h"
#include "items/DataWriter.h"

namespace tolvane {

// The view state of the browser panes that survives a rebuild of the panes and a restart.
struct PaneState {
    // Widths in pixels of the erase list's columns name, size and path; -1: the default.
    std::array<std::int32_t, 3> columnWidth{-1, -1, -1};
    // The current folders of the two browser sides, canonical and ending in '/'.
    std::array<std::string, 2> folder{"/", "/"};
    // The last folder shown per volume, by DriveKeyOf(volume root).
    std::map<std::uint32_t, std::string> lastFolderByDrive;
    // Recently used source folders, most recent first.
    std::vector<std::string> recentFolders;
};

// The key under which a volume's last folder is filed: the 32-bit FNV-1a hash of the bytes
// of the volume's mount point with a trailing '/' ("/home" and "/home/" give the same key).
// Stable across runs and builds, as the key is stored.
std::uint32_t DriveKeyOf(std::string_view volumeRoot);

// A string of the record is read into a buffer of this many UTF-16 units, terminator
// included; a longer one makes the record unreadable from there on.
constexpr std::size_t kPaneStateStringUnits = 1024;

// Record layout (integers 32-bit little-endian, strings UTF-16LE ended by one zero unit,
// no length prefix):
//   three column widths, N, M, folder of side 1, folder of side 2,
//   N times (drive key, folder) in ascending key order, M recent folders most recent first.
// There is no magic, version or checksum.
//
// Appends one record at the writer's position; throws what the writer's short writes throw
// (Data::EndOfBufferException). Strings stop at an embedded NUL. As nothing longer than
// kPaneStateStringUnits - 1 units could be read back, a side folder that long is stored as
// its longest ancestor that fits, and such table or list entries are left out.
void SavePaneState(Data::Writer& writer, const PaneState& state);

// Reads one record into state, field by field as it goes: a record that ends early, or a
// string that is too long, leaves every field read before it applied and the rest as they
// were. Side folders are canonicalised like FolderLister::SetPath (one that is not absolute
// or too long for the browser keeps the old value); table entries overwrite existing keys; recent
// folders are appended. Ill-formed UTF-16 becomes U+FFFD. Never throws.
void LoadPaneState(Data::Reader& reader, PaneState& state) noexcept;

}  // namespace tolvane
