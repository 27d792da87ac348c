#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/EraseItem.h"
#include "platform/FileSystem.h"
#include "platform/FindData.h"
#include "platform/UniqueFd.h"

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
//   - an item the walk never touches: OnItemRefused with the reason (below);
// then OnItemEnd unless the walk was cancelled. OnFinish comes once at the end, also after a
// cancel. Empty paths are skipped without any call.
//
// Refused items: the system root "/" as a folder, a path whose last component is "." or ".."
// (it would name a folder other than the one the user read), a volume's trash folder whose
// shared .Trash is a symbolic link (anyone may have made it), anything on a kernel file system
// (procfs, sysfs, ...: their files are controls of the running system), and a path ending in
// ':' that names neither an entry nor a volume of user data.
//
// Failures are never silent: an entry a listing names but that cannot be examined, and a
// folder that cannot be listed completely, come to OnWalkFailure. Such a folder gets no
// OnLeaveFolder: it is left exactly as it is, and its parents keep a child.
//
// Trace folders (item kinds other than Ordinary) belong partly to others: in a shared folder
// (world-writable and sticky, like /tmp) only the user's own entries are part of the
// selection, and sockets are never part of it (they belong to running programs). A trace
// folder that is a symbolic link keeps its link: the folder it names is walked instead, and
// KeepsItemFolder() tells the handlers not to remove the item's own folder. A shared trace
// folder itself is kept too.
//
// What the walk promises never to do: follow a symbolic link below an item (a link is a file
// entry, described by its own data), enter a folder on another mount than its folder item's.
// A folder's entries are read completely before any of them is handed out, so handlers may
// rename and delete them; they are handed out by inode number, which is where the file system
// keeps them, not in the listing's order. Folders are opened relative to their parent's descriptor,
// so trees of any depth work.
//
// Handlers get the path buffer, which they may change from the current entry's name on (the
// walk writes every next name at the folder's prefix again); the entry itself can be reached
// as EntryName() relative to ParentFd().
//
// Threads: one walking thread; RequestCancel may be called from any thread.
class ItemWalker {
public:
    // fileSystem: where entries are examined and folders opened and listed.
    explicit ItemWalker(FileSystem& fileSystem = RealFileSystem()) : m_walkFs(fileSystem) {}
    virtual ~ItemWalker() = default;
    ItemWalker(const ItemWalker&) = delete;
    ItemWalker& operator=(const ItemWalker&) = delete;

    // The items to walk; not owned, they must outlive the walk.
    void SetItems(const EraseItemList* items) { m_items = items; }
    void Walk();

    // The user's own trace folders (not a volume's trash) may have been moved elsewhere and
    // linked back: such a link is followed, and kept.
    static bool FollowsItsLink(const EraseItem& item);

    // Where the walk examines and lists what it visits (and a handler changes it).
    FileSystem& Files() const { return m_walkFs; }

    void RequestCancel() { m_cancel.Set(); }
    bool IsCancelled() const { return m_cancel.IsSet(); }
    // True when a stop left something of the selection undone (an item, an entry, a file
    // not completely overwritten). A stop that came after the last piece of work leaves
    // nothing undone: the run is complete. Read after Walk().
    bool CutShort() const { return m_cutShort; }

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
    // An item that is not walked at all; `reason` says why, in words for the user.
    virtual void OnItemRefused(const EraseItem& item, const std::string& reason);
    // An entry that could not be examined (kExamine; path: the entry) or a folder that could
    // not be listed completely (kList; path: the folder with a trailing '/'). `error` is the
    // errno, 0 when the folder changed under the walk.
    enum class WalkFailure { kExamine, kList };
    virtual void OnWalkFailure(std::string& path, WalkFailure what, int error);
    // The process ran out of descriptors: a handler that holds some open for later work
    // finishes that work now and lets them go.
    virtual void OnDescriptorsShort();

    // The folder that holds the entry being visited (OnFile, OnEnterFolder, OnLeaveFolder).
    int ParentFd() const { return m_parentFd; }
    // The entry's name within ParentFd(), as the walk found it.
    const std::string& EntryName() const { return m_entryName; }
    // Length of the path buffer up to and including the separator before the entry's name.
    std::size_t PrefixLength() const { return m_prefixLength; }
    // True while the entry being visited is the item itself (not something inside it).
    bool AtItemRoot() const { return m_depth == 0; }
    // The item's own folder must stay (a trace folder reached through a link, or shared).
    bool KeepsItemFolder() const { return m_keepItemFolder; }
    // A handler left something undone because of the stop.
    void NoteCutShort() { m_cutShort = true; }

private:
    void VisitItem(const EraseItem& item);
    void VisitPath(const EraseItem& item, const std::string& path);
    bool RefusesPath(const EraseItem& item, const std::string& path, const FindData* entry);
    void VisitFileItem(const std::string& path, const FindData& entry);
    void VisitFolderItem(const std::string& path, const FindData& entry);
    void VisitPattern(const std::string& path);
    // A folder being walked: read completely when it was entered, its entries handed out in
    // turn.
    struct OpenFolderState {
        UniqueFd self;
        int parentFd = -1;
        std::size_t prefix = 0;       // where its name starts in the path buffer
        std::size_t childPrefix = 0;  // where its entries' names start
        std::string name;
        FindData entry;
        std::vector<FindData> entries;
        std::size_t next = 0;
        bool complete = false;  // listed to the end
        int listError = 0;
        bool examined = false;  // every entry listed could be examined
    };
    void VisitFolder(int parentFd, std::size_t prefix, const std::string& name, UniqueFd self,
                     int openError, const FindData& entry);
    void EnterFolder(std::vector<OpenFolderState>& open, int parentFd, std::size_t prefix,
                     const std::string& name, UniqueFd self, int openError, const FindData& entry);
    void LeaveFolder(std::vector<OpenFolderState>& open);
    UniqueFd OpenChildFolder(int folderFd, const std::string& name, int& error);
    // A folder below an item, through the file system the walk was given.
    UniqueFd OpenWalkedFolder(int folderFd, const std::string& name, int& error);
    // An item's folder reached through its link.
    UniqueFd OpenLinkedFolder(const std::string& path, int& error);
    bool IsSelected(const FindData& entry, const FindData& folder) const;
    void SetContext(int parentFd, std::size_t prefixLength, const std::string& name);

    FileSystem& m_walkFs;
    CancelFlag m_cancel;
    const EraseItemList* m_items = nullptr;
    std::string m_path;
    std::size_t m_prefixLength = 0;
    int m_parentFd = -1;
    std::string m_entryName;
    int m_depth = 0;
    bool m_traceItem = false;
    bool m_keepItemFolder = false;
    bool m_cutShort = false;
};

}  // namespace tolvane
