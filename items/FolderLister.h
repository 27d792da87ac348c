#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "items/FolderEntry.h"

namespace tolvane {

// The longest folder path the browser accepts, in bytes.
constexpr std::size_t kMaxFolderPathLength = PATH_MAX - 1;

// The canonical form of a folder path as the browser keeps it: surrounding double quotes
// removed, empty components and "." dropped, each ".." taking away the component before it
// (never above the start, so "/.." is "/"), and a trailing '/' (except for an empty text,
// which stays empty). Purely textual: links are not resolved, nothing is looked up.
// "/a/b/../c" gives "/a/c/"; "\"/My Files\"" gives "/My Files/".
std::string CanonicalFolderPath(std::string_view text);

// Filter flags of a listing: an entry is accepted only if the bit of each of its
// properties is set.
enum ListFlag : std::uint32_t {
    kListVolumeLabels = 1,
    kListDot = 2,          // the entry "."
    kListDotDot = 4,       // the entry ".."
    kListDirectories = 8,  // also applies to "." and ".."
    kListFiles = 16,       // everything that is not a directory
};
constexpr std::uint32_t kDefaultListFlags = kListDotDot | kListDirectories | kListFiles;

// Keeps a current folder and lists it, sorted in the item order:
//   1. volume labels first (never on Linux);
//   2. ".." next;
//   3. directories before everything else;
//   4. by name, case-insensitively (NameOrder.h); entries equal so far keep listing order.
//
// A listing is one pass for the directories (all of them) followed by one pass per wildcard
// pattern over the other entries, so a file that matches two patterns is listed twice.
// Every folder that can be opened, except "/", has a ".." entry (Linux directories do not
// report one, so it is added), which is how an empty folder is told from an unreadable one.
//
// Threads: one thread uses the lister; Stop() may be called from any other thread while
// Refresh or Navigate runs.
class FolderLister {
public:
    // Starts in the process's current directory with the pattern "*.*" and the default flags.
    FolderLister();
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // Sets the current folder to the canonical form of text (see CanonicalFolderPath), or
    // without text to the process's current directory ("/" if it cannot be read). A path
    // longer than kMaxFolderPathLength is refused: false, and the folder stays as it was.
    bool SetPath(std::string_view text);
    bool SetPath();
    // The current folder; ends with '/' unless empty.
    const std::string& Path() const { return m_path; }

    // Splits text at ';' into patterns, each trimmed of surrounding spaces; empty pieces are
    // kept (an empty pattern matches nothing).
    void SetPatterns(std::string_view text);
    const std::vector<std::string>& Patterns() const { return m_patterns; }

    void SetFlags(std::uint32_t flags) { m_flags = flags; }
    std::uint32_t Flags() const { return m_flags; }

    // One move of the current folder, without touching the disk:
    //   ".."  the parent: removed gets the name left with its '/' ("b/" from "/a/b/");
    //         at "/" or in a path without a parent nothing changes and removed is empty;
    //   "."   nothing changes, removed is empty;
    //   name  name and a '/' are appended, removed is empty.
    // False only when the new path would be longer than kMaxFolderPathLength; the path then
    // stays as it was.
    bool Step(std::string_view name, std::string* removed = nullptr);

    // Step, then Refresh; while the listing is empty (the folder vanished or cannot be
    // opened), climbs to the parent and lists it again. The climb ends at "/", when ".."
    // changes nothing, or when the listing was stopped. Returns the entries kept.
    const std::vector<FolderEntry>& Navigate(std::string_view name, std::string* removed = nullptr);
    const std::vector<FolderEntry>& Reload() { return Navigate("."); }

    // Lists the current folder into Entries(). A folder that cannot be opened gives no
    // entries at all. Clears an earlier stop request when it starts.
    void Refresh();
    // Asks a running Refresh to end after the entry it is at. The entries found so far are
    // kept unsorted, with counts that match them, and WasStopped() turns true.
    void Stop() { m_stop.store(true, std::memory_order_relaxed); }
    bool WasStopped() const { return m_stopped; }

    const std::vector<FolderEntry>& Entries() const { return m_entries; }
    std::uint32_t FolderCount() const { return m_folderCount; }
    std::uint32_t FileCount() const { return m_fileCount; }
    std::uint32_t Total() const { return m_total; }

private:
    bool Accepts(const FindData& data, bool directoryPass) const;
    bool StopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    // Reads the open folder into m_entries; false when a stop request ended it.
    bool List(int dirFd);
    void Sort();

    std::string m_path;
    std::vector<std::string> m_patterns;
    std::vector<FolderEntry> m_entries;
    std::uint32_t m_flags = kDefaultListFlags;
    std::uint32_t m_folderCount = 0;
    std::uint32_t m_fileCount = 0;
    std::uint32_t m_total = 0;
    bool m_stopped = false;
    std::atomic<bool> m_stop{false};
};

}  // namespace tolvane
