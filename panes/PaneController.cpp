#include "panes/PaneController.h"

#include "panes/FileDropTarget.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

#include "items/DataReader.h"
#include "items/DataWriter.h"
#include "panes/PathEdit.h"
#include "panes/TreePaths.h"
#include "platform/Directory.h"

namespace tolvane {
namespace {

// The special and trash folders are probed again this often (in timer ticks) even when the
// volumes stay, so a folder made meanwhile shows up.
constexpr int kProbeEveryTicks = 10;

}  // namespace

PaneController::PaneController(WorkerPasses passes)
    : m_passes(std::move(passes)),
      m_eraseRows(m_sizePass, [this] { m_workers.Sizing().Wake(); }),
      m_sizeWorker(m_eraseRows, m_sizePass, m_gui) {
    if (!m_passes.sizing) {
        m_passes.sizing = m_sizeWorker.MakePass();
    }
}

PaneController::~PaneController() {
    // A worker may be waiting for this thread, which will not run its event loop again for
    // this controller: closing the gates answers it, so it ends and the workers are joined
    // below (m_workers) instead of waiting for each other forever.
    m_destroying = true;
    m_gui.Close();
    if (m_listing) {
        m_listing->Stop();
    }
    CancelListing();
}

void PaneController::SetListViews(QListWidget* list1, QTreeWidget* eraseList, QListWidget* list2,
                                  bool bigIcons) {
    m_listView = {list1, list2};
    m_eraseList = eraseList;
    m_eraseRows.SetControl(eraseList);
    m_bigIcons = bigIcons;
}

void PaneController::SetTreeViews(QTreeWidget* tree1, QTreeWidget* tree2) {
    m_treeView = {tree1, tree2};
}

void PaneController::AttachPathEdits(QLineEdit* edit1, QLineEdit* edit2) {
    m_pathEdit = {edit1, edit2};
}

void PaneController::AttachLocationBoxes(QComboBox* box1, QComboBox* box2) {
    m_locationBox = {box1, box2};
}

void PaneController::SetVolumeSource(LocationSource::VolumeReader readVolumes) {
    m_locationSource = LocationSource(std::move(readVolumes));
}

void PaneController::LoadPaneState(Data::Reader& reader) {
    tolvane::LoadPaneState(reader, m_state);
    m_navigator.LastFolders().Load(m_state.lastFolderByDrive);
}

void PaneController::SavePaneState(Data::Writer& writer) {
    if (m_eraseList) {
        for (int column = 0; column < 3; ++column) {
            m_state.columnWidth[column] = m_eraseList->columnWidth(column);
        }
    }
    m_state.lastFolderByDrive = m_navigator.LastFolders().ToMap();
    tolvane::SavePaneState(writer, m_state);
}

bool PaneController::Start() {
    PrepareLists();
    PrepareEraseList();
    CreateDropTargets();
    ShowFolders();
    if (m_passes.listing) {
        // A stand-in pass: nothing is listed.
        return m_workers.Start(m_passes.listing, m_passes.sizing);
    }
    StartListing();
    return m_workers.Start(m_listing->Pass(), m_passes.sizing);
}

void PaneController::StartListing() {
    ListingThread::Views views;
    for (std::size_t side = 0; side < 2; ++side) {
        views.lists[side] = m_listView[side];
        views.trees[side] = m_treeView[side];
        views.edits[side] = m_pathEdit[side];
    }
    ListingThread::Hooks hooks;
    hooks.folderShown = [this](std::size_t side, const std::string& folder) {
        m_state.folder[side] = folder;
        m_navigator.FolderShown(folder);
        m_navigator.ShowVolumeOf(m_locationBox[side], folder);
    };
    hooks.probed = [this](ProbedFolders probed) {
        m_locationSource.SetProbed(std::move(probed));
        SyncLocations();
    };
    m_listing = std::make_unique<ListingThread>(std::move(views), m_icons, m_locations, hooks);
    // Attached before the first request, so that request wakes the worker once it runs.
    m_workers.Listing().SetWatchFds(m_listing->WatchFds());
    m_listing->Attach(&m_workers.Listing());
    m_navigator.Attach(m_listing.get());
    RefreshLocations();
    for (std::size_t side = 0; side < 2; ++side) {
        if (m_listView[side]) {
            ShowDriveOfFolder(side, m_state.folder[side]);
        }
        if (m_treeView[side]) {
            m_listing->SelectPathInTree(side, m_state.folder[side]);
        }
    }
}

void PaneController::PrepareLists() {
    for (const QPointer<QListWidget>& list : m_listView) {
        if (!list) {
            continue;
        }
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // A folder of many thousand entries is laid out in steps between the rows arriving,
        // and every row has the same size, so the window keeps answering while it fills.
        list->setUniformItemSizes(true);
        list->setLayoutMode(QListView::Batched);
        list->setBatchSize(512);
        if (m_bigIcons) {
            list->setViewMode(QListView::IconMode);
            list->setIconSize(QSize(32, 32));
            list->setResizeMode(QListView::Adjust);  // arranged again as the pane changes
        } else {
            // Small icons in columns, as a file manager's compact list.
            list->setViewMode(QListView::ListMode);
            list->setIconSize(QSize(16, 16));
            list->setFlow(QListView::TopToBottom);
            list->setWrapping(true);
            list->setResizeMode(QListView::Adjust);
        }
    }
    for (const QPointer<QTreeWidget>& tree : m_treeView) {
        if (tree) {
            tree->setHeaderHidden(true);
            tree->setRootIsDecorated(true);
            tree->setIconSize(QSize(16, 16));
            // Every row is one line beside a small icon. Without this the view adds up the
            // heights of all rows above a row whenever one changes, which a branch of many
            // thousand entries pays for each row.
            tree->setUniformRowHeights(true);
        }
    }
}

void PaneController::PrepareEraseList() {
    if (!m_eraseList) {
        return;
    }
    m_eraseList->setColumnCount(kEraseListColumns);
    m_eraseList->setHeaderLabels({"name", "size", "path", "sz"});
    m_eraseList->setRootIsDecorated(false);
    m_eraseList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_eraseList->setIconSize(QSize(16, 16));
    // One line per row, as in the trees: a size arriving or rows leaving then costs the view
    // the rows on screen, not every row above them.
    m_eraseList->setUniformRowHeights(true);
    m_eraseList->header()->setMinimumSectionSize(0);
    // The path column keeps the width the user gave it instead of filling the rest.
    m_eraseList->header()->setStretchLastSection(false);
    for (int column = 0; column < 3; ++column) {
        // Only -1 means "the default": a stored 0 is a column the user closed.
        int stored = m_state.columnWidth[column];
        m_eraseList->setColumnWidth(column, stored == -1 ? kDefaultColumnWidth[column] : stored);
    }
    m_eraseList->setColumnHidden(3, true);  // the size in bytes, for sorting and totals
}

void PaneController::ShowFolders() {
    for (std::size_t side = 0; side < 2; ++side) {
        if (m_listView[side] || m_treeView[side]) {
            SetPathText(m_pathEdit[side], QString::fromUtf8(m_state.folder[side]));
        }
    }
}

bool PaneController::Shutdown() {
    if (ShuttingDown()) {
        return false;
    }
    CancelListing();
    DestroyDropTargets();
    if (m_listing) {
        m_listing->Stop();
    }
    return m_workers.Shutdown([this] {
        if (!m_destroying) {
            emit PanesClosed();
        }
    });
}

void PaneController::CancelListing() {
    m_workers.CancelListing();
    if (m_listing) {
        m_listing->CancelReads();
    }
}

void PaneController::RefreshAll() {
    if (m_listing) {
        m_listing->RereadLists();
    }
    RefreshTreeFrom(nullptr, nullptr);
}

void PaneController::RefreshTreeFrom(QTreeWidgetItem* item1, QTreeWidgetItem* item2) {
    if (!m_listing) {
        m_workers.Listing().Wake();
        return;
    }
    m_listing->RefreshTree(0, item1);
    m_listing->RefreshTree(1, item2);
}

void PaneController::RefreshLocations() {
    const bool volumesChanged = m_locationSource.ReadVolumes();
    if (m_listing && (volumesChanged || m_refreshTicks % kProbeEveryTicks == 0)) {
        m_listing->RequestProbe(m_locationSource.PlainVolumes());
    }
    ++m_refreshTicks;
    SyncLocations();
}

void PaneController::SyncLocations() {
    const bool boxes = m_locationBox[0] || m_locationBox[1];
    if (boxes) {
        const std::vector<Location> list =
            BuildLocationList(LocationListKind::Box,
                              m_locationSource.Inputs(m_state.recentFolders, m_showSpecialFolders));
        for (const QPointer<QComboBox>& box : m_locationBox) {
            if (box) {
                SyncLocationBox(*box, m_locations, list, m_icons);
            }
        }
        m_locations = list;
    }
    if (m_treeView[0] || m_treeView[1]) {
        const std::vector<Location> list =
            BuildLocationList(LocationListKind::Tree,
                              m_locationSource.Inputs(m_state.recentFolders, m_showSpecialFolders));
        std::optional<RootOrigins> origins;
        for (const QPointer<QTreeWidget>& tree : m_treeView) {
            if (tree) {
                std::optional<RootOrigins> changed =
                    SyncTreeRoots(*tree, m_locations, list, m_icons);
                if (!origins) {
                    origins = std::move(changed);
                }
            }
        }
        m_locations = list;
        if (origins && m_listing) {
            m_listing->RootsChanged(*origins);
            RefreshTreeFrom(nullptr, nullptr);
        }
    }
}

void PaneController::OnLocationSelected(int index) {
    m_navigator.OnLocationSelected(0, m_locationBox[0], m_pathEdit[0], index);
}

void PaneController::OpenSelection() {
    if (QListWidget* list = m_listView[0]) {
        QModelIndexList selected = list->selectionModel()->selectedIndexes();
        if (!selected.isEmpty()) {
            const auto first = std::min_element(
                selected.begin(), selected.end(),
                [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
            m_navigator.OpenListItem(0, m_pathEdit[0], *list->item(first->row()));
        }
    }
    if (QTreeWidget* tree = m_treeView[0]) {
        m_navigator.OpenTreeItem(ItemPath(tree, nullptr));
    }
}

bool PaneController::GoUp() {
    if (QTreeWidget* tree = m_treeView[0]) {
        QTreeWidgetItem* current = tree->currentItem();
        if (current == nullptr || current->parent() == nullptr) {
            return false;
        }
        tree->setCurrentItem(current->parent());
        return true;
    }
    return m_listView[0] && m_navigator.GoUp(0, m_pathEdit[0]);
}

bool PaneController::GoBack() {
    return GoToHistoryStep(m_navigator.History().Back());
}

bool PaneController::GoForward() {
    return GoToHistoryStep(m_navigator.History().Forward());
}

bool PaneController::GoToHistoryStep(const std::optional<std::string>& folder) {
    if (!folder) {
        return false;
    }
    if (QTreeWidget* tree = m_treeView[0]) {
        SelectPathInTree(tree, *folder);
    } else {
        NavigateTo(0, *folder);
    }
    return true;
}

bool PaneController::GoToTypedPath(const std::string& typed) {
    if (QTreeWidget* tree = m_treeView[0]) {
        FindData found;
        if (typed.empty() || typed.front() != '/' || !StatFollowingLinks(typed, found)) {
            return false;
        }
        // Folders are named with a closing separator in the tree; a typed file is selected.
        const bool folder = found.IsDirectory() && typed.back() != '/';
        SelectPathInTree(tree, folder ? typed + "/" : typed);
        return true;
    }
    return m_navigator.GoToTyped(0, m_pathEdit[0], typed);
}

void PaneController::OnTreeSelectionChanged(QTreeWidgetItem* item) {
    QTreeWidget* tree = m_treeView[0];
    if (item == nullptr && tree != nullptr && tree->currentItem() == nullptr) {
        SetPathText(m_pathEdit[0], QString());  // nothing is selected: nothing is shown
        return;
    }
    if (item == nullptr || tree == nullptr || item->treeWidget() != tree) {
        return;
    }
    RefreshTreeFrom(item, nullptr);
    const std::string path = ItemPath(tree, item);
    SetPathText(m_pathEdit[0], QString::fromStdString(path));
    // Kept as the side's folder, so it is saved and selected again at the next start.
    if (!path.empty()) {
        m_state.folder[0] = path;
        if (path.back() == '/') {
            m_navigator.History().Visit(path);
        }
    }
}

std::string PaneController::ItemPath(QTreeWidget* tree, QTreeWidgetItem* item) const {
    if (tree == nullptr) {
        return std::string();
    }
    return tolvane::ItemPath(*tree, item != nullptr ? item : tree->currentItem(), m_locations);
}

std::string PaneController::ItemFolder(QTreeWidget* tree, QTreeWidgetItem* item) const {
    if (tree == nullptr) {
        return std::string();
    }
    return tolvane::ItemFolder(*tree, item != nullptr ? item : tree->currentItem(), m_locations);
}

const Location* PaneController::TreeRootLocation(QTreeWidgetItem* item) const {
    for (const QPointer<QTreeWidget>& tree : m_treeView) {
        if (tree) {
            if (const Location* location = RootLocation(*tree, item, m_locations)) {
                return location;
            }
        }
    }
    return nullptr;
}

std::size_t PaneController::SideOf(const QTreeWidget* tree) const {
    return tree != nullptr && tree == m_treeView[1] ? 1 : 0;
}

void PaneController::SelectPathInTree(QTreeWidget* tree, const std::string& path) {
    if (m_listing && tree != nullptr) {
        m_listing->SelectPathInTree(SideOf(tree), path);
    }
}

void PaneController::ShowDriveOfFolder(std::size_t side, const std::string& folder) {
    m_navigator.ShowDriveOfFolder(side, m_locationBox[side], folder);
}

void PaneController::NavigateTo(std::size_t side, const std::string& folder) {
    CancelListing();
    m_navigator.NavigateTo(side, m_pathEdit[side], folder);
}

std::string PaneController::RecallFolder(const std::string& volumeRoot) const {
    return m_navigator.RecallFolder(volumeRoot);
}

std::string PaneController::SideFolder(std::size_t side) const {
    return m_listing ? m_listing->Folder(side) : m_state.folder[side];
}

std::string PaneController::ShownPath() const {
    if (QTreeWidget* tree = m_treeView[0]) {
        return ItemPath(tree, nullptr);
    }
    return SideFolder(0);
}

int PaneController::FocusedSide() const {
    const QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr) {
        return 0;
    }
    const std::array<std::pair<const QWidget*, int>, 7> order{{
        {m_treeView[0], 1},
        {m_treeView[1], 3},
        {m_listView[0], 1},
        {m_eraseList, 2},
        {m_listView[1], 3},
        {m_locationBox[0], 4},
        {m_locationBox[1], 5},
    }};
    for (const auto& [control, side] : order) {
        if (control != nullptr && control == focus) {
            return side;
        }
    }
    return 0;
}

void PaneController::AddFocusedSelection() {
    if (!m_editingEnabled) {
        return;
    }
    const int side = FocusedSide();
    RememberSourceFolder(side);
    if (side != 1) {
        return;  // the erase list itself, or side 2, which this window leaves empty
    }
    m_eraseRows.AddRows(SelectionRows(m_treeView[0] ? m_treeView[0]->currentItem() : nullptr));
}

std::vector<tolvane::EraseList::NewRow> PaneController::SelectionRows(QTreeWidgetItem* treeItem) {
    std::vector<tolvane::EraseList::NewRow> rows =
        ListSelectionRows(m_listView[0], ListFolder(m_listView[0]), m_locations);
    for (tolvane::EraseList::NewRow& row : rows) {
        if (row.item.IsDriveRow()) {
            row.icon = ItemIcon(row.item);  // the list showed it as a folder
        }
    }
    if (QTreeWidget* tree = m_treeView[0]; tree != nullptr && treeItem != nullptr) {
        for (FileItem& item : CollectTreeItem(tree, treeItem)) {
            rows.push_back({std::move(item), treeItem->icon(0)});
        }
    }
    return rows;
}

void PaneController::RemoveSelectedRows() {
    if (m_editingEnabled) {
        m_eraseRows.RemoveRows(m_eraseRows.SelectedRows());
    }
}

int PaneController::AddItems(const std::vector<FileItem>& items) {
    if (!m_editingEnabled) {
        return 0;
    }
    std::vector<tolvane::EraseList::NewRow> rows;
    rows.reserve(items.size());
    for (const FileItem& item : items) {
        rows.push_back({item, ItemIcon(item)});
    }
    return m_eraseRows.AddRows(rows);
}

std::vector<FileItem> PaneController::CollectEraseList() const {
    return m_eraseRows.Collect();
}

std::vector<std::string> PaneController::CollectErasePaths() const {
    return m_eraseRows.CollectPaths();
}

std::vector<FileItem> PaneController::CollectFirstPaneSelection() const {
    std::vector<FileItem> items = CollectListSelection(m_listView[0]);
    for (FileItem& item :
         CollectTreeItem(m_treeView[0], m_treeView[0] ? m_treeView[0]->currentItem() : nullptr)) {
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<FileItem> PaneController::CollectListSelection(QListWidget* list) const {
    std::vector<FileItem> items;
    for (tolvane::EraseList::NewRow& row : ListSelectionRows(list, ListFolder(list), m_locations)) {
        items.push_back(std::move(row.item));
    }
    return items;
}

std::vector<FileItem> PaneController::CollectTreeItem(QTreeWidget* tree,
                                                      QTreeWidgetItem* item) const {
    if (tree == nullptr || item == nullptr || item->treeWidget() != tree) {
        return {};
    }
    // A root stands for a volume's free space because it is a volume entry of the location
    // list; a root that is only a mount point (the home folder on its own volume) is a folder.
    if (const Location* root = TreeRootLocation(item);
        root != nullptr && root->kind == LocationKind::Volume) {
        std::optional<FileItem> drive = DriveItem(root->path);
        return drive ? std::vector<FileItem>{*drive} : std::vector<FileItem>{};
    }
    std::string path = ItemPath(tree, item);  // empty for the separator
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        return {};
    }
    return {EntryItem(path.substr(0, slash + 1), path.substr(slash + 1))};
}

void PaneController::RemoveLeadingRows(int count) {
    m_eraseRows.RemoveLeadingRows(count);
}

void PaneController::RemoveRows(std::vector<int> rows) {
    m_eraseRows.RemoveRows(std::move(rows));
}

void PaneController::MarkRowFailed(int row, const QString& reason) {
    m_eraseRows.MarkRowFailed(row, reason);
}

void PaneController::ClearFailedMarks() {
    m_eraseRows.ClearFailedMarks();
}

QIcon PaneController::ItemIcon(const FileItem& item) {
    if (item.IsDriveRow()) {
        return m_icons.Icon("drive-harddisk");
    }
    const std::string name = IconNameForEntry(item.name, item.findData.IsDirectory());
    return item.findData.IsSymlink() ? m_icons.LinkIcon(name) : m_icons.Icon(name);
}

void PaneController::RememberSourceFolder(int focusCode) {
    if (focusCode != 1 && focusCode != 3) {
        return;
    }
    const std::size_t side = focusCode == 1 ? 0 : 1;
    std::string folder;
    if (m_listView[0] || m_listView[1]) {
        folder = ListFolder(m_listView[side]);
    }
    // A tree's source is the folder holding its selected item (none for a volume's root).
    if (m_treeView[0] || m_treeView[1]) {
        folder = ItemFolder(m_treeView[side], nullptr);
    }
    RememberFolder(m_state.recentFolders, folder, m_locations);
}

std::string PaneController::ListFolder(const QListWidget* list) const {
    if (list == nullptr) {
        return {};
    }
    const std::size_t side = list == m_listView[1] ? 1 : 0;
    // The folder the names in the list belong to: right after a move the list still holds
    // the entries of the folder before, until the new folder's fill begins. A stand-in
    // listing pass lists nothing: its tests fill the list from the side's stored folder.
    return m_listing ? m_listing->ListedFolder(side) : m_state.folder[side];
}

}  // namespace tolvane
