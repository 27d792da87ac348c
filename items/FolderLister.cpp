#include "items/FolderLister.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <thread>

#include "items/NameOrder.h"
#include "platform/Directory.h"
#include "platform/Wildcard.h"

namespace tolvane {

namespace {
constexpr std::string_view kAllNames = "*.*";
// Below this many entries a listing is examined on the calling thread alone.
constexpr std::size_t kParallelThreshold = 4096;
constexpr std::size_t kMaxThreads = 4;

std::string_view TrimSpaces(std::string_view text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// The entries "." and ".." as a listing on Windows reports them: stat data of the folder and
// its parent, named as the entries.
FindData SynthesisedEntry(int dirFd, const char* name) {
    FindData data;
    if (!StatEntry(dirFd, name, data)) {
        data = FindData{};
        data.name = name;
        data.attributes = kAttrDirectory | kAttrHidden;
    }
    return data;
}
}  // namespace

std::string CanonicalFolderPath(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.empty()) {
        return {};
    }
    const bool absolute = text.front() == '/';
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view part = text.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string path = absolute ? "/" : "";
    for (std::string_view part : parts) {
        path += part;
        path += '/';
    }
    return path;
}

FolderLister::FolderLister() {
    SetPath();
    SetPatterns(kAllNames);
}

bool FolderLister::SetPath(std::string_view text) {
    std::string path = CanonicalFolderPath(text);
    if (path.size() > kMaxFolderPathLength) {
        return false;
    }
    m_path = std::move(path);
    return true;
}

bool FolderLister::SetPath() {
    std::string current = CurrentDirectory();
    return SetPath(current.empty() ? std::string_view("/") : std::string_view(current));
}

void FolderLister::SetPatterns(std::string_view text) {
    m_patterns.clear();
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(';', start);
        m_patterns.emplace_back(
            TrimSpaces(text.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
}

bool FolderLister::Step(std::string_view name, std::string* removed) {
    if (removed) {
        removed->clear();
    }
    if (name == "..") {
        // The separator before the last component; the trailing one does not count.
        if (m_path.size() < 2) {
            return true;
        }
        std::size_t slash = m_path.rfind('/', m_path.size() - 2);
        if (slash == std::string::npos) {
            return true;
        }
        if (removed) {
            removed->assign(m_path, slash + 1);
        }
        m_path.resize(slash + 1);
        return true;
    }
    if (name == ".") {
        return true;
    }
    std::string path = m_path;
    path += name;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    if (path.size() > kMaxFolderPathLength) {
        return false;
    }
    m_path = std::move(path);
    return true;
}

const std::vector<FolderEntry>& FolderLister::Navigate(std::string_view name,
                                                       std::string* removed) {
    Step(name, removed);
    Refresh();
    // A stopped listing is being abandoned: climbing further would only start new ones.
    while (m_total == 0 && !m_stopped && !StopRequested() && m_path != "/") {
        std::string before = m_path;
        Step("..");
        if (m_path == before) {
            break;
        }
        Refresh();
    }
    return m_entries;
}

void FolderLister::Refresh() {
    m_stop.store(false, std::memory_order_relaxed);
    m_entries.clear();
    m_folderCount = 0;
    m_fileCount = 0;
    m_stopped = false;
    UniqueFd dir = OpenDirectory(AT_FDCWD, m_path);
    if (dir.Valid()) {
        m_stopped = !List(dir.Get());
    }
    m_total = m_folderCount + m_fileCount;
    if (!m_stopped) {
        Sort();
    }
}

bool FolderLister::Accepts(const FindData& data, bool directoryPass) const {
    const bool directory = data.IsDirectory();
    if ((data.attributes & kAttrVolumeLabel) && !(m_flags & kListVolumeLabels)) {
        return false;
    }
    if (data.name == "." && !(m_flags & kListDot)) {
        return false;
    }
    if (data.name == ".." && !(m_flags & kListDotDot)) {
        return false;
    }
    if (!(m_flags & (directory ? kListDirectories : kListFiles))) {
        return false;
    }
    return directory == directoryPass;
}

bool FolderLister::List(int dirFd) {
    auto acceptFolder = [this](FindData&& data) {
        if (Accepts(data, true)) {
            m_entries.push_back(FolderEntry{std::move(data), 0});
            ++m_folderCount;
        }
    };
    // The directory pass. Linux reports neither "." nor ".."; "/" has no parent, like a
    // drive root elsewhere, so it gets neither.
    if (m_path != "/") {
        acceptFolder(SynthesisedEntry(dirFd, "."));
        acceptFolder(SynthesisedEntry(dirFd, ".."));
    }
    // The folder is read once; the other entries wait for the pattern passes. Examining
    // each entry costs a system call that dominates a large listing, so large folders are
    // examined by several threads, each over its own stretch of names.
    std::vector<std::string> names;
    if (!ReadNames(dirFd, names, m_stop)) {
        return !StopRequested();
    }
    std::vector<FindData> found(names.size());
    std::vector<unsigned char> present(names.size(), 0);
    auto examine = [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            if (StopRequested()) {
                return;
            }
            // An entry gone since the names were read is not an entry any more.
            present[i] = StatEntry(dirFd, names[i], found[i]) ? 1 : 0;
        }
    };
    const std::size_t threads =
        names.size() < kParallelThreshold
            ? 1
            : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMaxThreads);
    std::vector<std::thread> helpers;
    const std::size_t stretch = (names.size() + threads - 1) / threads;
    for (std::size_t t = 1; t < threads; ++t) {
        helpers.emplace_back(examine, std::min(t * stretch, names.size()),
                             std::min((t + 1) * stretch, names.size()));
    }
    examine(0, std::min(stretch, names.size()));
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (StopRequested()) {
        return false;
    }
    std::vector<FindData> others;
    others.reserve(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!present[i]) {
            continue;
        }
        if (found[i].IsDirectory()) {
            acceptFolder(std::move(found[i]));
            if (StopRequested()) {
                return false;
            }
        } else {
            others.push_back(std::move(found[i]));
        }
    }
    // One pass per pattern over the other entries, in pattern order.
    for (std::size_t p = 0; p < m_patterns.size(); ++p) {
        const std::string& pattern = m_patterns[p];
        const bool lastPass = p + 1 == m_patterns.size();
        for (FindData& other : others) {
            if (!MatchWildcard(pattern, other.name) || !Accepts(other, false)) {
                continue;
            }
            m_entries.push_back(FolderEntry{lastPass ? std::move(other) : other, 0});
            ++m_fileCount;
            if (StopRequested()) {
                return false;
            }
        }
    }
    return true;
}

void FolderLister::Sort() {
    // Keys are built once per entry into one buffer, so comparisons neither decode UTF-8 nor
    // allocate; entries are moved once, into their final places.
    struct SortItem {
        std::uint32_t offset;
        std::uint32_t length;
        std::uint32_t index;
        std::uint32_t rank;
    };
    std::vector<SortItem> items;
    items.reserve(m_entries.size());
    std::string keys;
    std::size_t nameBytes = 0;
    for (const FolderEntry& entry : m_entries) {
        nameBytes += entry.findData.name.size();
    }
    keys.reserve(nameBytes + nameBytes / 4);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const FindData& data = m_entries[i].findData;
        std::uint32_t rank = 3;
        if (data.attributes & kAttrVolumeLabel) {
            rank = 0;
        } else if (data.name == "..") {
            rank = 1;
        } else if (data.IsDirectory()) {
            rank = 2;
        }
        const std::size_t offset = keys.size();
        AppendNameSortKey(data.name, keys);
        items.push_back({static_cast<std::uint32_t>(offset),
                         static_cast<std::uint32_t>(keys.size() - offset),
                         static_cast<std::uint32_t>(i), rank});
    }
    const char* base = keys.data();
    // The index as the last criterion makes the order stable at the price of an ordinary sort.
    std::sort(items.begin(), items.end(), [base](const SortItem& a, const SortItem& b) {
        if (a.rank != b.rank) {
            return a.rank < b.rank;
        }
        int order = std::string_view(base + a.offset, a.length)
                        .compare(std::string_view(base + b.offset, b.length));
        if (order != 0) {
            return order < 0;
        }
        return a.index < b.index;
    });
    std::vector<FolderEntry> sorted;
    sorted.reserve(m_entries.size());
    for (const SortItem& item : items) {
        sorted.push_back(std::move(m_entries[item.index]));
    }
    m_entries.swap(sorted);
}

}  // namespace tolvane
