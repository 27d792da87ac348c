#include "panes/ListingThread.h"

#include <errno.h>
#include <fcntl.h>

#include <QFontMetrics>
#include <QItemSelectionModel>
#include <algorithm>
#include <memory>
#include <span>
#include <unordered_set>
#include <utility>

#include "panes/EraseList.h"
#include "panes/PathEdit.h"
#include "platform/Directory.h"

namespace tolvane {
namespace {

// The erase list takes a list entry's name from where the listing keeps it.
static_assert(kNameRole == kRawNameRole);

// The names of the selected items in item order.
std::vector<std::string> SelectedNames(const QListWidget& list) {
    QModelIndexList rows = list.selectionModel()->selectedIndexes();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(rows.size()));
    for (const QModelIndex& row : rows) {
        names.push_back(ItemName(*list.item(row.row())));
    }
    return names;
}

bool Holds(const QTreeWidgetItem* ancestor, const QTreeWidgetItem* item) {
    for (; item != nullptr; item = item->parent()) {
        if (item == ancestor) {
            return true;
        }
    }
    return false;
}

}  // namespace

EntryRow MakeEntryRow(const std::string& folder, const FolderEntry& entry) {
    EntryRow row;
    const FindData& data = entry.findData;
    row.name = data.name;
    row.link = data.IsSymlink();
    row.folder = data.IsDirectory() || data.name == "..";
    if (row.link) {
        FindData target;
        row.folder = StatFollowingLinks(folder + data.name, target) && target.IsDirectory();
    }
    row.iconName = IconNameForEntry(row.name, row.folder);
    return row;
}

ListingThread::ListingThread(Views views, IconCache& icons, const std::vector<Location>& locations,
                             Hooks hooks)
    : m_views(std::move(views)),
      m_icons(icons),
      m_locations(locations),
      m_hooks(std::move(hooks)) {}

ListingThread::~ListingThread() = default;

WorkerThread::Pass ListingThread::Pass() {
    return [this](WorkerThread& worker, int woken) { RunPass(worker, woken); };
}

std::vector<int> ListingThread::WatchFds() const {
    return {m_watch[0].Fd(), m_watch[1].Fd()};
}

// ---------------------------------------------------------------- GUI thread: requests

void ListingThread::ShowFolder(std::size_t side, const std::string& folder,
                               const std::string& selectName) {
    CancelReads();
    m_folder[side] = folder;
    m_selectAfter[side] = selectName;
    const std::uint64_t generation = ++m_generation[side];
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_request[side].folder = folder;
        m_request[side].generation = generation;
    }
    if (m_worker != nullptr) {
        m_worker->Wake();
    }
}

void ListingThread::RereadLists() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (SideRequest& request : m_request) {
            request.reread = true;
        }
    }
    if (m_worker != nullptr) {
        m_worker->Wake();
    }
}

void ListingThread::CancelReads() {
    if (m_worker != nullptr) {
        m_worker->Cancel();
    }
    for (FolderLister& reader : m_reader) {
        reader.Stop();
    }
}

void ListingThread::RequestProbe(std::vector<Volume> volumes) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_probe = std::move(volumes);
    }
    if (m_worker != nullptr) {
        m_worker->Wake();
    }
}

bool ListingThread::SkippedAsSlow(const TreeAddress& address, const QTreeWidget& tree,
                                  const QTreeWidgetItem* item) const {
    const std::optional<TreePathMatch> match = MatchTreePath(m_locations, address.Path());
    if (!match || !m_locations[match->rootIndex].slow) {
        return false;
    }
    // Slow volumes are read only where the user is.
    return !Holds(item, tree.currentItem());
}

void ListingThread::RefreshTree(std::size_t side, QTreeWidgetItem* from) {
    QTreeWidget* tree = m_views.trees[side];
    if (tree == nullptr) {
        return;
    }
    std::vector<TreeAddress> addresses;
    // Pre-order over what is visible: an item's children only when it is expanded.
    std::function<void(QTreeWidgetItem*)> visit = [&](QTreeWidgetItem* item) {
        std::optional<TreeAddress> address = AddressOf(*tree, item, m_locations);
        if (address && !SkippedAsSlow(*address, *tree, item)) {
            addresses.push_back(std::move(*address));
        }
        if (item->isExpanded()) {
            for (int i = 0; i < item->childCount(); ++i) {
                visit(item->child(i));
            }
        }
    };
    if (from != nullptr) {
        visit(from);
    } else {
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            visit(tree->topLevelItem(i));
        }
    }
    QueueBranches(side, addresses);
}

std::uint64_t ListingThread::RootGeneration(std::size_t root) const {
    return root < m_rootGeneration.size() ? m_rootGeneration[root] : 0;
}

void ListingThread::RootsChanged(const RootOrigins& origins) {
    std::vector<std::uint64_t> generations(origins.size(), 0);
    for (std::size_t i = 0; i < origins.size(); ++i) {
        generations[i] = origins[i] ? RootGeneration(*origins[i]) : ++m_rootsMade;
    }
    m_rootGeneration = std::move(generations);
    // A selection under way looks its root up again: the roots may have moved.
    for (std::size_t side = 0; side < 2; ++side) {
        if (m_select[side]) {
            const std::string path = m_select[side]->path;
            SelectPathInTree(side, path);
        }
    }
}

std::optional<std::size_t> ListingThread::RootPosition(std::uint64_t generation) const {
    const auto found = std::find(m_rootGeneration.begin(), m_rootGeneration.end(), generation);
    if (found == m_rootGeneration.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - m_rootGeneration.begin());
}

void ListingThread::QueueBranches(std::size_t side, const std::vector<TreeAddress>& addresses) {
    if (addresses.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        std::vector<BranchRequest>& queue = m_branches[side];
        for (const TreeAddress& address : addresses) {
            const std::uint64_t generation = RootGeneration(address.root);
            const bool queued = std::any_of(queue.begin(), queue.end(), [&](const auto& request) {
                return request.address == address && request.rootsGeneration == generation;
            });
            if (!queued) {
                queue.push_back(BranchRequest{address, generation});
            }
        }
    }
    if (m_worker != nullptr) {
        m_worker->Wake();
    }
}

void ListingThread::SelectPathInTree(std::size_t side, const std::string& path) {
    QTreeWidget* tree = m_views.trees[side];
    const std::optional<TreePathMatch> match = MatchTreePath(m_locations, path);
    if (tree == nullptr || !match) {
        return;
    }
    PendingSelect pending;
    pending.path = path;
    pending.address.root = match->rootIndex;
    pending.address.rootPath = m_locations[match->rootIndex].path;
    // Each folder on the way is read, the last one too, so it shows its expand button.
    std::vector<TreeAddress> chain;
    TreeAddress step = pending.address;
    chain.push_back(step);
    for (const std::string& name : match->children) {
        step.names.push_back(name);
        chain.push_back(step);
    }
    // A path without a closing separator names a file: the item in the last folder read.
    if (const std::size_t slash = path.rfind('/'); slash + 1 < path.size()) {
        step.names.push_back(path.substr(slash + 1));
    }
    pending.address = step;
    m_select[side] = std::move(pending);
    QueueBranches(side, chain);
    AdvanceSelect(side);
}

void ListingThread::AdvanceSelect(std::size_t side) {
    QTreeWidget* tree = m_views.trees[side];
    if (tree == nullptr || !m_select[side]) {
        return;
    }
    const TreeAddress& target = m_select[side]->address;
    TreeAddress top = target;
    top.names.clear();
    QTreeWidgetItem* item = Resolve(*tree, top, m_locations);
    if (item == nullptr) {
        m_select[side].reset();  // the root went away
        return;
    }
    for (const std::string& name : target.names) {
        QTreeWidgetItem* child = FindChild(*item, name);
        if (child == nullptr) {
            if (item->data(0, kFilledRole).toBool()) {
                m_select[side].reset();  // read, and the name is not there: nothing selected
            }
            return;  // else its branch has not been read yet
        }
        item->setExpanded(true);
        item = child;
    }
    m_select[side].reset();
    tree->setCurrentItem(item);
    tree->scrollToItem(item);
}

// ---------------------------------------------------------------- worker thread

template <typename Call>
bool ListingThread::OnGui(Call call) {
    if (m_stopping.load()) {
        return false;
    }
    // Never called with m_lock held: the GUI thread may be waiting for it.
    bool result = false;
    return m_gate.Run([&] { result = call(); }) && result;
}

void ListingThread::Stop() {
    m_stopping.store(true);
    m_gate.Close();
}

void ListingThread::RunPass(WorkerThread& worker, int woken) {
    if (woken == 1 || woken == 2) {
        const std::size_t side = static_cast<std::size_t>(woken - 1);
        SettleAfterChange(worker, side);
        m_watch[side].Drain();
        m_changed[side] = true;
    }
    worker.ClearCancel();
    ProbeIfAsked();
    for (std::size_t side = 0; side < 2 && !worker.CancelRequested(); ++side) {
        ListSide(worker, side);
    }
    for (std::size_t side = 0; side < 2 && !worker.CancelRequested(); ++side) {
        FillBranches(worker, side);
    }
}

// A folder that keeps changing (an erase or a copy going on in it) is read again at most
// every so often, and the bigger it is the longer the pause: the reading and the refill then
// take a small share of the time however fast the changes come, and leave the disk and the
// cores to the work that changes the folder. A request (another folder, a refresh) cuts the
// pause short.
void ListingThread::SettleAfterChange(WorkerThread& worker, std::size_t side) {
    constexpr auto kMinPause = std::chrono::milliseconds(250);
    constexpr int kCostShare = 4;  // pause at least this many times the last read's cost
    const auto pause = std::max<Clock::duration>(kMinPause, m_readCost[side] * kCostShare);
    const auto since = Clock::now() - m_readEnd[side];
    if (since < pause) {
        worker.Nap(std::chrono::ceil<std::chrono::milliseconds>(pause - since));
    }
}

void ListingThread::ProbeIfAsked() {
    std::optional<std::vector<Volume>> volumes;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        volumes.swap(m_probe);
    }
    if (!volumes) {
        return;
    }
    ProbedFolders probed = ProbeFolders(*volumes);
    OnGui([this, &probed] {
        if (m_hooks.probed) {
            m_hooks.probed(std::move(probed));
        }
        return true;
    });
}

bool ListingThread::Stale(std::size_t side, std::uint64_t generation) {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_request[side].generation != generation;
}

void ListingThread::ListSide(WorkerThread& worker, std::size_t side) {
    SideRequest request;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        request = m_request[side];
        m_request[side].reread = false;
    }
    const bool due = request.generation != m_listed[side] || m_changed[side] || request.reread;
    if (request.generation == 0 || !due) {
        return;
    }
    m_changed[side] = false;
    FolderLister& lister = m_reader[side];
    lister.SetPath(request.folder);
    // Watched before it is read, so a change during the read brings another pass.
    if (m_watched[side] != lister.Path()) {
        m_watched[side] = m_watch[side].Watch(lister.Path()) ? lister.Path() : std::string();
    }
    m_watch[side].Drain();
    const auto readStart = Clock::now();
    // No lock is held while reading: a read hung on a network volume leaves the window free.
    lister.Reload();
    if (worker.CancelRequested() || lister.WasStopped() || Stale(side, request.generation)) {
        m_shown[side].valid = false;
        if (!worker.StopRequested() && !Stale(side, request.generation)) {
            worker.Wake();  // cancelled without a new request: read it again
        }
        return;
    }
    if (m_watched[side] != lister.Path()) {  // fell back to a readable parent
        m_watched[side] = m_watch[side].Watch(lister.Path()) ? lister.Path() : std::string();
    }
    if (FillList(worker, side, request.generation, lister)) {
        m_listed[side] = request.generation;
    }
    m_readEnd[side] = Clock::now();
    m_readCost[side] = m_readEnd[side] - readStart;
}

bool ListingThread::FillList(WorkerThread& worker, std::size_t side, std::uint64_t generation,
                             const FolderLister& lister) {
    const std::string folder = lister.Path();
    const std::vector<FolderEntry>& entries = lister.Entries();
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const FolderEntry& entry : entries) {
        names.push_back(entry.findData.name);
    }
    ShownList& shown = m_shown[side];
    if (shown.valid && shown.folder == folder) {
        if (shown.names == names) {
            return OnGui(
                [this, side, generation, &folder] { return KeepList(side, generation, folder); });
        }
        if (std::optional<ListChange> change = ChangeBetween(shown.names, names, kMaxInserted)) {
            shown.valid = false;  // until every step is in
            if (!UpdateList(worker, side, generation, lister, *change)) {
                return false;
            }
            shown = ShownList{true, folder, std::move(names)};
            return true;
        }
    }
    shown.valid = false;
    if (!OnGui([this, side, generation, &folder] { return BeginFill(side, generation, folder); })) {
        return false;
    }
    std::vector<EntryRow> rows;
    for (std::size_t first = 0; first < entries.size(); first += kRowsPerCall) {
        if (worker.CancelRequested()) {
            if (!worker.StopRequested() && !Stale(side, generation)) {
                worker.Wake();
            }
            return false;
        }
        rows.clear();
        const std::size_t last = std::min(entries.size(), first + kRowsPerCall);
        for (std::size_t i = first; i < last; ++i) {
            rows.push_back(MakeEntryRow(folder, entries[i]));
        }
        if (!OnGui([this, side, generation, &rows] { return AddRows(side, generation, rows); })) {
            return false;
        }
    }
    OnGui([this, side, generation] {
        EndFill(side, generation);
        return true;
    });
    shown = ShownList{true, folder, std::move(names)};
    return true;
}

// The shown list brought to the folder as read, a few steps a call: runs of rows out, then
// the new rows in at their places. A request that replaces this one stops it between steps,
// and the next read fills the list anew.
bool ListingThread::UpdateList(WorkerThread& worker, std::size_t side, std::uint64_t generation,
                               const FolderLister& lister, const ListChange& change) {
    for (std::size_t first = 0; first < change.removed.size(); first += kRunsPerCall) {
        const std::size_t last = std::min(change.removed.size(), first + kRunsPerCall);
        const std::span<const ListChange::Range> runs(&change.removed[first], last - first);
        if (worker.CancelRequested() ||
            !OnGui([this, side, generation, runs] { return TakeRows(side, generation, runs); })) {
            return false;
        }
    }
    std::vector<std::pair<std::size_t, EntryRow>> rows;
    for (std::size_t first = 0; first < change.inserted.size(); first += kRowsPerCall) {
        rows.clear();
        const std::size_t last = std::min(change.inserted.size(), first + kRowsPerCall);
        for (std::size_t i = first; i < last; ++i) {
            const std::size_t position = change.inserted[i];
            rows.emplace_back(position, MakeEntryRow(lister.Path(), lister.Entries()[position]));
        }
        if (worker.CancelRequested() ||
            !OnGui([this, side, generation, &rows] { return PutRows(side, generation, rows); })) {
            return false;
        }
    }
    const std::string& folder = lister.Path();
    return OnGui([this, side, generation, &folder] { return KeepList(side, generation, folder); });
}

ListingThread::BranchResult ListingThread::ReadBranch(const std::string& path) {
    BranchResult result;
    // The item itself is looked at, not "its folder": asked as "alpha.bin/", a file answers
    // ENOTDIR, which is not the same as being gone.
    std::string entry = path;
    if (entry.size() > 1 && entry.back() == '/') {
        entry.pop_back();
    }
    FindData data;
    int error = 0;
    if (!StatEntry(AT_FDCWD, entry, data, &error)) {
        // ENOENT: gone. ENOTDIR: a folder on the way became a file, so it is gone too.
        // Anything else (a parent without search permission, a dead network volume) says
        // nothing about whether it is there: its branch stays as shown.
        result.state =
            error == ENOENT || error == ENOTDIR ? BranchState::Missing : BranchState::Unreadable;
        return result;
    }
    FindData target;
    if (data.IsSymlink() && !StatFollowingLinks(entry, target)) {
        return result;  // a link that leads nowhere: there, with no children
    }
    if (!(data.IsSymlink() ? target : data).IsDirectory()) {
        return result;  // a file: no children
    }
    FolderLister lister;
    lister.SetPath(path);
    lister.Refresh();
    // Every readable folder but "/" lists at least "..": nothing means it cannot be read,
    // and then its branch stays as it is.
    if (lister.Total() == 0 && path != "/") {
        result.state = BranchState::Unreadable;
        return result;
    }
    for (const FolderEntry& entry : lister.Entries()) {
        if (entry.findData.name != "..") {
            result.rows.push_back(MakeEntryRow(lister.Path(), entry));
        }
    }
    return result;
}

void ListingThread::FillBranches(WorkerThread& worker, std::size_t side) {
    std::vector<BranchRequest> queue;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        queue.swap(m_branches[side]);
    }
    for (std::size_t i = 0; i < queue.size(); ++i) {
        if (worker.CancelRequested()) {
            // Put back what was not read, before anything queued meanwhile.
            std::lock_guard<std::mutex> hold(m_lock);
            std::vector<BranchRequest>& pending = m_branches[side];
            pending.insert(pending.begin(), queue.begin() + static_cast<std::ptrdiff_t>(i),
                           queue.end());
            if (!worker.StopRequested()) {
                worker.Wake();
            }
            return;
        }
        const BranchResult result = ReadBranch(queue[i].address.Path());
        const BranchRequest& request = queue[i];
        if (!OnGui(
                [this, side, &request, &result] { return ApplyBranch(side, request, result); })) {
            if (m_stopping.load()) {
                return;
            }
        }
    }
}

// ---------------------------------------------------------------- GUI thread: results

bool ListingThread::Current(std::size_t side, std::uint64_t generation) const {
    return !m_stopping.load() && generation == m_generation[side] && m_views.lists[side] != nullptr;
}

void ListingThread::Shown(std::size_t side, std::uint64_t generation, const std::string& folder) {
    // A folder that could not be read was replaced by its nearest readable parent: from here
    // on the side is there, for the user's next move and for the next read.
    m_folder[side] = folder;
    m_listedFolder[side] = folder;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_request[side].generation == generation) {
            m_request[side].folder = folder;
        }
    }
    SetPathText(m_views.edits[side], QString::fromStdString(folder));
    if (m_hooks.folderShown) {
        m_hooks.folderShown(side, folder);
    }
}

bool ListingThread::KeepList(std::size_t side, std::uint64_t generation,
                             const std::string& folder) {
    if (!Current(side, generation)) {
        return false;
    }
    Shown(side, generation, folder);
    // The rows stay as they are, but a selection asked with the request (the first entry, a
    // typed file) is made as a fill would make it.
    const std::string& asked = m_selectAfter[side];
    QListWidget& list = *m_views.lists[side];
    FillState fill;
    if (asked == kFirstEntry) {
        fill.selectFirst = true;
        SelectFirst(list, fill, true);
    } else if (!asked.empty()) {
        list.clearSelection();
        fill.wanted = {asked};
        fill.selectName = true;
        fill.pending = true;
        ApplyWanted(list, fill);
    }
    m_selectAfter[side].clear();
    return true;
}

bool ListingThread::BeginFill(std::size_t side, std::uint64_t generation,
                              const std::string& folder) {
    if (!Current(side, generation)) {
        return false;
    }
    QListWidget& list = *m_views.lists[side];
    Shown(side, generation, folder);
    FillState& fill = m_fill[side];
    fill = FillState{};
    if (m_selectAfter[side] == kFirstEntry) {
        fill.selectFirst = true;
    } else if (!m_selectAfter[side].empty()) {
        fill.wanted = {m_selectAfter[side]};
        fill.selectName = true;
    } else {
        fill.wanted = SelectedNames(list);
    }
    fill.pending = !fill.wanted.empty();
    list.clear();
    return true;
}

bool ListingThread::AddRows(std::size_t side, std::uint64_t generation,
                            const std::vector<EntryRow>& rows) {
    if (!Current(side, generation)) {
        return false;
    }
    QListWidget& list = *m_views.lists[side];
    for (const EntryRow& row : rows) {
        list.addItem(MakeItem(row));
    }
    WidenColumns(list, m_fill[side]);
    ApplyWanted(list, m_fill[side]);
    SelectFirst(list, m_fill[side], false);
    return true;
}

QListWidgetItem* ListingThread::MakeItem(const EntryRow& row) {
    auto* item = new QListWidgetItem(RowIcon(row), DisplayText(row.name));
    item->setData(kNameRole, QByteArray::fromStdString(row.name));
    item->setData(kFolderRole, row.folder);
    item->setData(kLinkRole, row.link);
    return item;
}

bool ListingThread::TakeRows(std::size_t side, std::uint64_t generation,
                             std::span<const ListChange::Range> runs) {
    if (!Current(side, generation)) {
        return false;
    }
    QListWidget& list = *m_views.lists[side];
    QAbstractItemModel& model = *list.model();
    for (const ListChange::Range& run : runs) {
        const int first = static_cast<int>(run.first);
        const int count = static_cast<int>(run.count);
        // The list takes rows out one at a time, each moving every row below it, except at
        // the very top, where nothing moves. A run nearer the top than the bottom (the files
        // under ".." that an erase takes in order) is moved up first: the move costs the rows
        // above it, which are few. A whole run goes in one removal, so the view catches up
        // once for it.
        if (first > 0 && first < model.rowCount() - first - count &&
            model.moveRows(QModelIndex(), first, count, QModelIndex(), 0)) {
            model.removeRows(0, count);
        } else {
            model.removeRows(first, count);
        }
    }
    m_fill[side].widthRow = list.count();  // the widths stay: a column never narrows in place
    return true;
}

bool ListingThread::PutRows(std::size_t side, std::uint64_t generation,
                            const std::vector<std::pair<std::size_t, EntryRow>>& rows) {
    if (!Current(side, generation)) {
        return false;
    }
    QListWidget& list = *m_views.lists[side];
    for (const auto& [position, row] : rows) {
        list.insertItem(static_cast<int>(position), MakeItem(row));
        WidenColumns(list, m_fill[side], static_cast<int>(position));
    }
    m_fill[side].widthRow = list.count();
    return true;
}

void ListingThread::SelectFirst(QListWidget& list, FillState& fill, bool last) {
    if (!fill.selectFirst || list.count() == 0) {
        return;
    }
    const int row = ItemName(*list.item(0)) == ".." ? 1 : 0;
    if (row >= list.count() && !last) {
        return;  // only ".." so far: the folder's own entries may follow
    }
    fill.selectFirst = false;
    QListWidgetItem* item = list.item(std::min(row, list.count() - 1));
    list.setCurrentItem(item);
    list.scrollToItem(item);
}

// Rows all have one size so that a folder of 100,000 entries lays out quickly, and that size
// would be the first row's (".."): in the List kind the columns are made as wide as the
// longest name shown so far instead, in steps, so the layout is redone only a few times.
void ListingThread::WidenColumns(QListWidget& list, FillState& fill, int onlyRow) {
    constexpr int kStep = 32;
    constexpr int kMinWidth = 96;
    constexpr int kMaxWidth = 384;
    if (list.viewMode() != QListView::ListMode) {
        return;
    }
    const QFontMetrics metrics = list.fontMetrics();
    int widest = fill.columnWidth;
    const int first = onlyRow >= 0 ? onlyRow : std::max(fill.widthRow, 0);
    const int end = onlyRow >= 0 ? onlyRow + 1 : list.count();
    for (int row = first; row < end; ++row) {
        const int text = metrics.horizontalAdvance(list.item(row)->text());
        widest = std::max(widest, text + list.iconSize().width() + 16);
    }
    if (onlyRow < 0) {
        fill.widthRow = list.count();
    }
    widest = std::clamp((widest + kStep - 1) / kStep * kStep, kMinWidth, kMaxWidth);
    if (widest != fill.columnWidth) {
        fill.columnWidth = widest;
        list.setGridSize(QSize(widest, std::max(metrics.height(), list.iconSize().height()) + 4));
    }
}

void ListingThread::EndFill(std::size_t side, std::uint64_t generation) {
    if (!Current(side, generation)) {
        return;
    }
    ApplyWanted(*m_views.lists[side], m_fill[side]);
    SelectFirst(*m_views.lists[side], m_fill[side], true);
    m_fill[side].pending = false;
    // The name to select belongs to the move that asked for it; later refills of the same
    // folder keep whatever is selected then.
    m_selectAfter[side].clear();
}

void ListingThread::ApplyWanted(QListWidget& list, FillState& fill) {
    if (!fill.pending) {
        return;
    }
    if (SelectedNames(list) != fill.before) {
        fill.pending = false;  // the user chose something else meanwhile
        return;
    }
    for (; fill.nextRow < list.count() && fill.cursor < fill.wanted.size(); ++fill.nextRow) {
        QListWidgetItem* item = list.item(fill.nextRow);
        if (ItemName(*item) != fill.wanted[fill.cursor]) {
            continue;
        }
        item->setSelected(true);
        if (fill.cursor == 0 && fill.selectName) {
            list.scrollToItem(item);
        }
        if (++fill.cursor == fill.wanted.size()) {
            list.setCurrentItem(item, QItemSelectionModel::NoUpdate);
        }
    }
    fill.before = SelectedNames(list);
    if (fill.cursor == fill.wanted.size()) {
        fill.pending = false;
    }
}

QIcon ListingThread::RowIcon(const EntryRow& row) {
    return row.link ? m_icons.LinkIcon(row.iconName) : m_icons.Icon(row.iconName);
}

bool ListingThread::ApplyBranch(std::size_t side, const BranchRequest& request,
                                const BranchResult& result) {
    QTreeWidget* tree = m_views.trees[side];
    if (m_stopping.load() || tree == nullptr) {
        return false;
    }
    // Its root may have moved since (another root came or went before it); one made anew
    // since is read on its own.
    const std::optional<std::size_t> root = RootPosition(request.rootsGeneration);
    if (!root) {
        return true;
    }
    TreeAddress address = request.address;
    address.root = *root;
    QTreeWidgetItem* item = Resolve(*tree, address, m_locations);
    if (item == nullptr) {
        return true;  // gone meanwhile
    }
    switch (result.state) {
        case BranchState::Unreadable:
            break;
        case BranchState::Missing:
            if (Holds(item, tree->currentItem())) {
                SelectParentOf(side, *tree, item->parent());
            }
            MergeChildren(side, *tree, *item, {});
            break;
        case BranchState::Listed:
            MergeChildren(side, *tree, *item, result.rows);
            item->setData(0, kFilledRole, true);
            break;
    }
    AdvanceSelect(side);
    return true;
}

void ListingThread::SelectParentOf(std::size_t side, QTreeWidget& tree, QTreeWidgetItem* parent) {
    // The selection was in an item that is gone. It goes up to the nearest parent shown,
    // whose branch is read again (if that went too, the selection climbs on), but never to a
    // volume's root: that item stands for the volume's free space, which nobody picked. Then
    // nothing stays selected.
    const Location* root = RootLocation(tree, parent, m_locations);
    if (parent == nullptr || (root != nullptr && root->kind == LocationKind::Volume)) {
        tree.setCurrentItem(nullptr);
        tree.clearSelection();
        return;
    }
    tree.setCurrentItem(parent);
    RefreshTree(side, parent);
}

void ListingThread::MergeChildren(std::size_t side, QTreeWidget& tree, QTreeWidgetItem& item,
                                  const std::vector<EntryRow>& rows) {
    std::unordered_set<std::string> wanted;
    for (const EntryRow& row : rows) {
        wanted.insert(row.name);
    }
    // Both are in the item order: children that stay keep their branches and expansion,
    // gone ones are removed, new ones inserted in place.
    auto remove = [&](int index) {
        QTreeWidgetItem* child = item.child(index);
        if (Holds(child, tree.currentItem())) {
            SelectParentOf(side, tree, &item);
        }
        delete item.takeChild(index);
    };
    std::vector<QTreeWidgetItem*> fresh;
    int i = 0;
    for (const EntryRow& row : rows) {
        while (i < item.childCount() && ItemName(*item.child(i)) != row.name &&
               wanted.count(ItemName(*item.child(i))) == 0) {
            remove(i);
        }
        if (i < item.childCount() && ItemName(*item.child(i)) == row.name) {
            QTreeWidgetItem* child = item.child(i);
            if (child->data(0, kFolderRole).toBool() != row.folder ||
                child->data(0, kLinkRole).toBool() != row.link) {
                child->setData(0, kFolderRole, row.folder);
                child->setData(0, kLinkRole, row.link);
                child->setIcon(0, RowIcon(row));
            }
        } else {
            QTreeWidgetItem* child = MakeEntryItem(row.name, RowIcon(row), row.folder);
            child->setData(0, kLinkRole, row.link);
            item.insertChild(i, child);
            fresh.push_back(child);
        }
        ++i;
    }
    while (item.childCount() > i) {
        remove(item.childCount() - 1);
    }
    // A folder that came in an open branch is shown: it is read at once, as every shown item
    // is, so that it gets its expand button when it holds something.
    if (item.isExpanded()) {
        std::vector<TreeAddress> addresses;
        for (QTreeWidgetItem* child : fresh) {
            std::optional<TreeAddress> address = AddressOf(tree, child, m_locations);
            if (child->data(0, kFolderRole).toBool() && address &&
                !SkippedAsSlow(*address, tree, child)) {
                addresses.push_back(std::move(*address));
            }
        }
        QueueBranches(side, addresses);
    }
}

}  // namespace tolvane
