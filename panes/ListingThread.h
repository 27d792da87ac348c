#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QObject>
#include <QPointer>
#include <QTreeWidget>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "items/FolderLister.h"
#include "panes/IconCache.h"
#include "panes/ListChange.h"
#include "panes/LocationSync.h"
#include "panes/Locations.h"
#include "panes/TreePaths.h"
#include "panes/WorkerThread.h"
#include "platform/FolderWatch.h"
#include "platform/GuiCallGate.h"

namespace tolvane {

// One entry of a folder list or tree branch as the worker hands it over.
struct EntryRow {
    std::string name;
    std::string iconName;  // empty: no icon ("..")
    bool folder = false;   // entered as a folder: a folder, a link to one, or ".."
    bool link = false;     // a symbolic link (shown with an emblem)
};

// The row of one listed entry of `folder`. A link is looked through (on this, the worker's,
// thread) only to learn whether it leads to a folder; erasing it still removes the link.
EntryRow MakeEntryRow(const std::string& folder, const FolderEntry& entry);

// The listing worker's pass and its GUI side: reads the folder of each side's list, fills the
// list, reads the folders of tree branches and fills them, and probes the special and trash
// folders for the location list.
//
// Threads: the object lives on the GUI thread; RunPass runs on the listing worker. The
// worker never sees a widget, a tree item or the location list: it takes requests by path
// from under m_lock (held only to copy them), reads folders without any lock, and hands
// results back, keyed by path and by the generation of their request, through blocking
// queued calls onto the GUI thread (64 list rows a call), which Stop() ends. The GUI side drops a
// result whose request was replaced meanwhile, so navigating away stops a fill at its next call.
class ListingThread : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kRowsPerCall = 64;
    // Runs of vanished rows taken out in one call, and how many new entries a changed list
    // takes one by one before it is filled anew instead.
    static constexpr std::size_t kRunsPerCall = 256;
    static constexpr std::size_t kMaxInserted = 2048;

    struct Views {
        std::array<QPointer<QListWidget>, 2> lists;
        std::array<QPointer<QTreeWidget>, 2> trees;
        std::array<QPointer<QLineEdit>, 2> edits;
    };
    // Called on the GUI thread.
    struct Hooks {
        // A side's list now shows this folder (after falling back to a readable parent).
        std::function<void(std::size_t side, const std::string& folder)> folderShown;
        // The special and trash folders, freshly probed.
        std::function<void(ProbedFolders probed)> probed;
    };

    // `locations` is the location list the trees' roots stand for; it stays owned by the
    // caller, who keeps it current (GUI thread).
    ListingThread(Views views, IconCache& icons, const std::vector<Location>& locations,
                  Hooks hooks);
    ~ListingThread() override;

    // For the worker: its pass and the descriptors it must wait on besides its wake event.
    WorkerThread::Pass Pass();
    std::vector<int> WatchFds() const;
    // The worker that runs the pass; it is woken for every request.
    void Attach(WorkerThread* worker) { m_worker = worker; }

    // No name holds a '/': it asks for the first entry of the folder instead of a name.
    static inline const std::string kFirstEntry{"/"};

    // --- GUI thread ---
    // The side's list is to show `folder`; selectName is selected once it is listed (empty:
    // the selection the list has then is kept; kFirstEntry: the first entry after "..").
    // Replaces any earlier request of the side.
    void ShowFolder(std::size_t side, const std::string& folder, const std::string& selectName);
    // The folder last requested for the side (empty before any).
    const std::string& Folder(std::size_t side) const { return m_folder[side]; }
    // The folder whose entries the side's list holds now (empty before its first fill). It
    // lags behind Folder() until the requested folder's fill begins: the names in the list
    // belong to this one.
    const std::string& ListedFolder(std::size_t side) const { return m_listedFolder[side]; }
    // Both lists are read again (their folders may have changed unwatched).
    void RereadLists();
    // The tree's item and everything visible below it (null: every root and everything
    // visible) get their children read again. Branches on slow volumes are read only when
    // the selection is in them.
    void RefreshTree(std::size_t side, QTreeWidgetItem* from);
    // Expands the tree along the path as its branches are read and selects the deepest item
    // on it (a file where the path has no closing separator); gives up quietly when a
    // component does not exist.
    void SelectPathInTree(std::size_t side, const std::string& path);
    // The trees' roots changed: each came from the old position given, or was made anew.
    // Results read for roots that went are dropped; those of roots that moved still apply.
    void RootsChanged(const RootOrigins& origins);
    // The special and trash folders are to be probed (on the worker).
    void RequestProbe(std::vector<Volume> volumes);
    // Ends folder reads under way early (the reads are then done again if still wanted).
    void CancelReads();
    // From now on nothing more is shown: every result is dropped, and a worker waiting for
    // the GUI thread to take a result stops waiting.
    void Stop();

private:
    struct SideRequest {
        std::string folder;
        std::uint64_t generation = 0;
        bool reread = false;
    };
    struct BranchRequest {
        TreeAddress address;
        std::uint64_t rootsGeneration = 0;
    };
    enum class BranchState { Listed, Missing, Unreadable };
    struct BranchResult {
        BranchState state = BranchState::Listed;
        std::vector<EntryRow> rows;
    };
    // What the worker last put in a list, so an unchanged folder is not filled again.
    struct ShownList {
        bool valid = false;
        std::string folder;
        std::vector<std::string> names;
    };
    // The GUI side of a list fill: the wanted selection, applied as rows arrive while the
    // selection stays as the fill left it (a user's click ends it).
    struct FillState {
        std::vector<std::string> wanted;
        bool selectName = false;
        bool selectFirst = false;  // kFirstEntry, until a row past ".." came
        bool pending = false;
        std::vector<std::string> before;
        std::size_t cursor = 0;
        int nextRow = 0;
        int columnWidth = 0;  // List kind: the grid width the names shown so far need
        int widthRow = 0;     // the first row not yet measured for it
    };
    struct PendingSelect {
        std::string path;
        TreeAddress address;
    };

    // Worker side.
    void RunPass(WorkerThread& worker, int woken);
    void SettleAfterChange(WorkerThread& worker, std::size_t side);
    void ProbeIfAsked();
    void ListSide(WorkerThread& worker, std::size_t side);
    bool FillList(WorkerThread& worker, std::size_t side, std::uint64_t generation,
                  const FolderLister& lister);
    bool UpdateList(WorkerThread& worker, std::size_t side, std::uint64_t generation,
                    const FolderLister& lister, const ListChange& change);
    void FillBranches(WorkerThread& worker, std::size_t side);
    static BranchResult ReadBranch(const std::string& path);
    bool Stale(std::size_t side, std::uint64_t generation);
    template <typename Call>
    bool OnGui(Call call);

    // GUI side.
    bool Current(std::size_t side, std::uint64_t generation) const;
    void Shown(std::size_t side, std::uint64_t generation, const std::string& folder);
    bool KeepList(std::size_t side, std::uint64_t generation, const std::string& folder);
    bool BeginFill(std::size_t side, std::uint64_t generation, const std::string& folder);
    bool AddRows(std::size_t side, std::uint64_t generation, const std::vector<EntryRow>& rows);
    void EndFill(std::size_t side, std::uint64_t generation);
    QListWidgetItem* MakeItem(const EntryRow& row);
    bool TakeRows(std::size_t side, std::uint64_t generation,
                  std::span<const ListChange::Range> runs);
    bool PutRows(std::size_t side, std::uint64_t generation,
                 const std::vector<std::pair<std::size_t, EntryRow>>& rows);
    static void SelectFirst(QListWidget& list, FillState& fill, bool last);
    void ApplyWanted(QListWidget& list, FillState& fill);
    // Widens the columns for the rows added since the last call, or for `onlyRow` alone.
    static void WidenColumns(QListWidget& list, FillState& fill, int onlyRow = -1);
    bool ApplyBranch(std::size_t side, const BranchRequest& request, const BranchResult& result);
    void MergeChildren(std::size_t side, QTreeWidget& tree, QTreeWidgetItem& item,
                       const std::vector<EntryRow>& rows);
    void SelectParentOf(std::size_t side, QTreeWidget& tree, QTreeWidgetItem* parent);
    void AdvanceSelect(std::size_t side);
    void QueueBranches(std::size_t side, const std::vector<TreeAddress>& addresses);
    std::uint64_t RootGeneration(std::size_t root) const;
    std::optional<std::size_t> RootPosition(std::uint64_t generation) const;
    bool SkippedAsSlow(const TreeAddress& address, const QTreeWidget& tree,
                       const QTreeWidgetItem* item) const;
    QIcon RowIcon(const EntryRow& row);

    Views m_views;
    IconCache& m_icons;
    const std::vector<Location>& m_locations;
    Hooks m_hooks;
    WorkerThread* m_worker = nullptr;
    std::atomic<bool> m_stopping{false};
    // The hand-over of results to the GUI thread (OnGui), closed by Stop().
    GuiCallGate m_gate;

    // Requests: written by the GUI thread, taken by the worker, both under m_lock only.
    std::mutex m_lock;
    std::array<SideRequest, 2> m_request;                  // guarded by m_lock
    std::array<std::vector<BranchRequest>, 2> m_branches;  // guarded by m_lock
    std::optional<std::vector<Volume>> m_probe;            // guarded by m_lock

    // GUI thread only.
    std::array<std::string, 2> m_folder;
    std::array<std::string, 2> m_listedFolder;
    std::array<std::string, 2> m_selectAfter;
    std::array<std::uint64_t, 2> m_generation{0, 0};
    std::array<FillState, 2> m_fill;
    std::array<std::optional<PendingSelect>, 2> m_select;
    // The generation of each root position: a root made anew gets a new one.
    std::vector<std::uint64_t> m_rootGeneration;
    std::uint64_t m_rootsMade = 0;

    // Worker thread only (FolderLister::Stop excepted, which any thread may call).
    std::array<FolderLister, 2> m_reader;
    std::array<FolderWatch, 2> m_watch;
    std::array<std::string, 2> m_watched;
    std::array<bool, 2> m_changed{false, false};
    std::array<std::uint64_t, 2> m_listed{0, 0};
    std::array<ShownList, 2> m_shown;
    // When each side's last read ended and how long it took, reading and filling.
    using Clock = std::chrono::steady_clock;
    std::array<Clock::time_point, 2> m_readEnd{};
    std::array<Clock::duration, 2> m_readCost{};
};

}  // namespace tolvane
