#include "panes/LastFolderByDrive.h"

#include <algorithm>

#include "items/PaneState.h"
#include "items/Utf16.h"

namespace tolvane {
namespace {

// What SavePaneState writes for one entry: the key, then the folder up to its first NUL in
// UTF-16 with a terminating unit.
std::size_t EntryRecordBytes(std::string_view folder) {
    const std::size_t units = Utf8ToUtf16(folder.substr(0, folder.find('\0'))).size();
    return units < kPaneStateStringUnits ? 4 + 2 * (units + 1) : 0;
}

}  // namespace

void LastFolderByDrive::Remember(std::string_view volumeRoot, std::string_view folder) {
    if (volumeRoot.empty()) {
        return;
    }
    Store(DriveKeyOf(volumeRoot), folder);
}

std::string LastFolderByDrive::Recall(std::string_view volumeRoot) const {
    if (volumeRoot.empty()) {
        return std::string();
    }
    const std::uint32_t key = DriveKeyOf(volumeRoot);
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [key](const Entry& entry) { return entry.key == key; });
    return found != m_entries.end() ? found->folder : std::string(volumeRoot);
}

void LastFolderByDrive::Load(const std::map<std::uint32_t, std::string>& saved) {
    m_entries.clear();
    m_recordBytes = 0;
    for (const auto& [key, folder] : saved) {
        Store(key, folder);
    }
}

std::map<std::uint32_t, std::string> LastFolderByDrive::ToMap() const {
    std::map<std::uint32_t, std::string> table;
    for (const Entry& entry : m_entries) {
        table.emplace(entry.key, entry.folder);
    }
    return table;
}

void LastFolderByDrive::Store(std::uint32_t key, std::string_view folder) {
    Erase(key);
    const std::size_t bytes = EntryRecordBytes(folder);
    // An empty folder would only send the user to nowhere; one the record cannot hold
    // would be dropped on saving anyway.
    if (folder.empty() || bytes == 0) {
        return;
    }
    m_entries.push_back(Entry{key, std::string(folder), bytes});
    m_recordBytes += bytes;
    while (m_entries.size() > kMaxEntries || m_recordBytes > kMaxRecordBytes) {
        m_recordBytes -= m_entries.front().recordBytes;
        m_entries.pop_front();
    }
}

void LastFolderByDrive::Erase(std::uint32_t key) {
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [key](const Entry& entry) { return entry.key == key; });
    if (found != m_entries.end()) {
        m_recordBytes -= found->recordBytes;
        m_entries.erase(found);
    }
}

}  // namespace tolvane
