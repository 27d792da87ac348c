#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "engine/EraseItem.h"
#include "platform/FindData.h"

namespace tolvane {

// Carries a run's stop request. Set from the window's thread, read by the worker.
class CancelFlag {
public:
    void Set() { m_set.store(true, std::memory_order_relaxed); }
    bool IsSet() const { return m_set.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_set{false};
};

// The traversal shared by counting and erasing. Walk() visits the items in list order and
// calls the On... operations; the base implementations do nothing.
//
// Per item: OnItemBegin, then
//   - a drive spec ("<mount point>:"): OnDrive;
//   - a folder: OnEnterFolder, its whole subtree depth first, OnLeaveFolder;
//   - an existing non-folder entry: OnFile for it alone (a name is never read as a pattern);
//   - a path naming nothing: its last component as a pattern ('*', '?') over the files of
//     that one folder;
// then OnItemEnd unless the walk was cancelled. OnFinish comes once at the end, also after a
// cancel. Empty paths are skipped without any call.
//
// What the walk promises never to do: follow a symbolic link (a link is a file entry,
// described by its own data), enter a folder on another mount than its folder item's, or walk
// the system root "/" as a folder (OnRootRefused instead). A folder's entries are read
// completely before any of them is handed out, so handlers may rename and delete them.
// Folders are opened relative to their parent's descriptor, so trees of any depth work.
//
// Handlers get the path buffer, which they may change from the current entry's name on (the
// walk writes every next name at the folder's prefix again); the entry itself can be reached
// as EntryName() relative to ParentFd().
//
// Threads: one walking thread; RequestCancel may be called from any thread.
class ItemWalker {
public:
    ItemWalker() = default;
    virtual ~ItemWalker() = default;
    ItemWalker(const ItemWalker&) = delete;
    ItemWalker& operator=(const ItemWalker&) = delete;

    // The items to walk; not owned, they must outlive the walk.
    void SetItems(const EraseItemList* items) { m_items = items; }
    void Walk();

    void RequestCancel() { m_cancel.Set(); }
    bool IsCancelled() const { return m_cancel.IsSet(); }

protected:
    virtual void OnFile(std::string& path, const FindData& entry);
    // path: the folder with a trailing '/'.
    virtual void OnEnterFolder(std::string& path, const FindData& entry);
    virtual void OnLeaveFolder(std::string& path, const FindData& entry);
    // path holds the item's drive spec; volumeRoot is its mount point with a trailing '/'.
    virtual void OnDrive(std::string& path, const std::string& volumeRoot);
    virtual void OnItemBegin(const EraseItem& item);
    virtual void OnItemEnd(const EraseItem& item);
    virtual void OnFinish();
    // A folder item that is the system root: not walked at all.
    virtual void OnRootRefused(const EraseItem& item);

    // The folder that holds the entry being visited (OnFile, OnEnterFolder, OnLeaveFolder).
    int ParentFd() const { return m_parentFd; }
    // The entry's name within ParentFd(), as the walk found it.
    const std::string& EntryName() const { return m_entryName; }
    // Length of the path buffer up to and including the separator before the entry's name.
    std::size_t PrefixLength() const { return m_prefixLength; }

private:
    void VisitItem(const EraseItem& item);
    void VisitFolderItem(const std::string& path, const FindData& entry);
    void VisitPattern(const std::string& path);
    void WalkFolder(int folderFd, const FindData& folder);
    void SetContext(int parentFd, std::size_t prefixLength, const std::string& name);

    CancelFlag m_cancel;
    const EraseItemList* m_items = nullptr;
    std::string m_path;
    std::size_t m_prefixLength = 0;
    int m_parentFd = -1;
    std::string m_entryName;
};

}  // namespace tolvane
