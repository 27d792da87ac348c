#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <string_view>

namespace tolvane {

// The folder last shown on each volume, keyed by DriveKeyOf(volume root), so that choosing a
// volume returns to where the user was on it.
//
// Every mount point a stick was ever mounted at would otherwise stay in the table for good,
// and the table is saved in the pane-state record, which must stay under 32 KiB or the whole
// record is lost. So looking up never adds an entry, and the table keeps only the most
// recently stored entries that fit kMaxEntries and kMaxRecordBytes: storing drops the oldest.
//
// Threads: owned by the GUI thread; a worker hands its folders over, it never touches this.
class LastFolderByDrive {
public:
    static constexpr std::size_t kMaxEntries = 128;
    // Bytes the table may take in the record (4-byte key, UTF-16 folder and terminator per
    // entry). The record's other fields take at most 20 bytes plus 9 strings of 2 KiB (two
    // side folders and seven recent folders): 18,452 bytes, so the record stays under 32 KiB.
    static constexpr std::size_t kMaxRecordBytes = 12 * 1024;

    // Files folder as the newest entry of its volume, replacing an older one. A folder too
    // long for the record (1024 UTF-16 units or more) is not kept; an empty one removes the
    // entry.
    void Remember(std::string_view volumeRoot, std::string_view folder);

    // The folder stored for the volume, or the root itself when there is none; an empty
    // root gives the empty text. Never changes the table.
    std::string Recall(std::string_view volumeRoot) const;

    // Replaces the table with a saved one (key order counts as age, the first oldest),
    // applying the same limits.
    void Load(const std::map<std::uint32_t, std::string>& saved);
    std::map<std::uint32_t, std::string> ToMap() const;

    std::size_t Size() const { return m_entries.size(); }
    // The bytes the table takes in the record.
    std::size_t RecordBytes() const { return m_recordBytes; }

private:
    struct Entry {
        std::uint32_t key;
        std::string folder;
        std::size_t recordBytes;
    };

    void Store(std::uint32_t key, std::string_view folder);
    void Erase(std::uint32_t key);

    std::list<Entry> m_entries;  // oldest first
    std::size_t m_recordBytes = 0;
};

}  // namespace tolvane
