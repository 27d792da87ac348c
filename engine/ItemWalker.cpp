#include "engine/ItemWalker.h"

#include <fcntl.h>

#include <vector>

#include "platform/Directory.h"
#include "platform/Volumes.h"
#include "platform/Wildcard.h"

namespace tolvane {
namespace {

// "a/b//" and "a/b" name the same entry; "/" stays "/".
std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The folder part of a split path ("" for the current folder), following links in it: only
// the last component of a chosen path is never followed.
UniqueFd OpenContainingFolder(const std::string& folder) {
    return UniqueFd(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool IsSystemRoot(const FindData& folder) {
    FindData root;
    return StatEntry(AT_FDCWD, "/", root) && root.device == folder.device &&
           root.inode == folder.inode;
}

// A folder below the walked tree that lies on another mount (a mounted volume, a bind or
// loop mount) is not part of the selection.
bool OnOtherMount(const FindData& entry, const FindData& folder) {
    return entry.device != folder.device || entry.mountId != folder.mountId;
}

bool SameEntry(int fd, const FindData& entry) {
    FindData opened;
    return StatDescriptor(fd, opened) && opened.device == entry.device &&
           opened.inode == entry.inode;
}

}  // namespace

void ItemWalker::Walk() {
    if (m_items != nullptr) {
        for (const EraseItem& item : *m_items) {
            VisitItem(item);
            if (IsCancelled()) {
                break;
            }
        }
    }
    OnFinish();
}

void ItemWalker::VisitItem(const EraseItem& item) {
    if (item.path.empty()) {
        return;
    }
    OnItemBegin(item);
    std::string volumeRoot;
    if (ParseDriveSpec(item.path, volumeRoot)) {
        m_path = item.path;
        m_parentFd = -1;
        OnDrive(m_path, volumeRoot);
    } else {
        std::string path = WithoutTrailingSeparators(item.path);
        FindData entry;
        if (!StatEntry(AT_FDCWD, path, entry)) {
            VisitPattern(path);
        } else if (!entry.IsDirectory()) {
            // An existing name is that entry alone, even when it holds '*' or '?'.
            std::string folder;
            SplitPath(path, folder, entry.name);
            UniqueFd parent = OpenContainingFolder(folder);
            if (parent.Valid()) {
                m_path = path;
                SetContext(parent.Get(), folder.size(), entry.name);
                OnFile(m_path, entry);
            }
        } else if (IsSystemRoot(entry)) {
            OnRootRefused(item);
        } else {
            VisitFolderItem(path, entry);
        }
    }
    m_parentFd = -1;
    if (!IsCancelled()) {
        OnItemEnd(item);
    }
}

void ItemWalker::VisitFolderItem(const std::string& path, const FindData& entry) {
    std::string folder, name;
    SplitPath(path, folder, name);
    UniqueFd parent = OpenContainingFolder(folder);
    if (!parent.Valid()) {
        return;
    }
    UniqueFd self = OpenDirectory(parent.Get(), name);
    m_path = path + "/";
    SetContext(parent.Get(), folder.size(), name);
    OnEnterFolder(m_path, entry);
    if (self.Valid() && SameEntry(self.Get(), entry)) {
        WalkFolder(self.Get(), entry);
    }
    m_path.resize(path.size() + 1);
    SetContext(parent.Get(), folder.size(), name);
    OnLeaveFolder(m_path, entry);
}

void ItemWalker::VisitPattern(const std::string& path) {
    std::string folder, pattern;
    SplitPath(path, folder, pattern);
    if (!HasWildcard(pattern)) {
        return;  // a plain name that names nothing
    }
    UniqueFd dir = OpenContainingFolder(folder);
    std::vector<FindData> entries;
    if (!dir.Valid() || !ReadDirectory(dir.Get(), entries)) {
        return;
    }
    for (const FindData& entry : entries) {
        if (entry.IsDirectory() || !MatchWildcard(pattern, entry.name)) {
            continue;
        }
        m_path = folder + entry.name;
        SetContext(dir.Get(), folder.size(), entry.name);
        OnFile(m_path, entry);
        if (IsCancelled()) {
            break;
        }
    }
}

void ItemWalker::WalkFolder(int folderFd, const FindData& folder) {
    std::vector<FindData> entries;
    if (!ReadDirectory(folderFd, entries)) {
        return;
    }
    const std::size_t prefix = m_path.size();
    for (const FindData& entry : entries) {
        m_path.resize(prefix);
        m_path += entry.name;
        SetContext(folderFd, prefix, entry.name);
        if (!entry.IsDirectory()) {
            OnFile(m_path, entry);
        } else if (!OnOtherMount(entry, folder)) {
            m_path += '/';
            OnEnterFolder(m_path, entry);
            UniqueFd child = OpenDirectory(folderFd, entry.name);
            if (child.Valid() && SameEntry(child.Get(), entry)) {
                WalkFolder(child.Get(), entry);
            }
            m_path.resize(prefix);
            m_path += entry.name;
            m_path += '/';
            SetContext(folderFd, prefix, entry.name);
            OnLeaveFolder(m_path, entry);
        }
        if (IsCancelled()) {
            break;
        }
    }
    m_path.resize(prefix);
}

void ItemWalker::SetContext(int parentFd, std::size_t prefixLength, const std::string& name) {
    m_parentFd = parentFd;
    m_prefixLength = prefixLength;
    m_entryName = name;
}

void ItemWalker::OnFile(std::string&, const FindData&) {}
void ItemWalker::OnEnterFolder(std::string&, const FindData&) {}
void ItemWalker::OnLeaveFolder(std::string&, const FindData&) {}
void ItemWalker::OnDrive(std::string&, const std::string&) {}
void ItemWalker::OnItemBegin(const EraseItem&) {}
void ItemWalker::OnItemEnd(const EraseItem&) {}
void ItemWalker::OnFinish() {}
void ItemWalker::OnRootRefused(const EraseItem&) {}

}  // namespace tolvane
