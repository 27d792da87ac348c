#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTreeWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "items/FileItem.h"
#include "items/PaneState.h"
#include "panes/EraseList.h"
#include "panes/IconCache.h"
#include "panes/ListingThread.h"
#include "panes/LocationSync.h"
#include "panes/Locations.h"
#include "panes/Navigator.h"
#include "panes/PaneWorkers.h"
#include "panes/SizePass.h"
#include "panes/SizeWorker.h"
#include "platform/DesktopOpener.h"
#include "platform/GuiCallGate.h"

namespace Data {
class Reader;
class Writer;
}  // namespace Data

class QAbstractItemView;
class QMimeData;

namespace tolvane {

class FileDropTarget;

// Drives the browsing controls of the main window: the folder list or tree of each side, the
// location boxes and path edits of the bar above the panes, and the erase list, with two
// background workers (PaneWorkers). The window uses side 1 only; an empty (null) slot is
// skipped everywhere.
//
// Lifecycle: construct, configure (the setters, LoadPaneState), Start, then any number of
// routed calls; Shutdown; PanesClosed; delete. The controls belong to the window and are
// only borrowed; a control deleted under the controller is skipped (QPointer).
//
// Threads: everything on the window's thread. The workers reach the controls only through
// queued calls (later), so the window's thread must keep running its event loop between
// Shutdown and PanesClosed.
class PaneController : public QObject {
    Q_OBJECT

public:
    // What the two workers do each time they are woken; empty: the folder listing for the
    // listing worker (ListingThread) and the erase list's sizing for the size worker. Tests
    // give stand-ins; with a stand-in listing pass nothing is listed.
    struct WorkerPasses {
        WorkerThread::Pass listing;
        WorkerThread::Pass sizing;
    };

    // The erase list's columns: name, size, path, and the hidden size in bytes.
    static constexpr int kEraseListColumns = 4;
    static constexpr std::array<int, 3> kDefaultColumnWidth{150, 75, 225};

    explicit PaneController(WorkerPasses passes = {});
    // Normally deleted after PanesClosed. Deleted earlier (a window destroyed without being
    // closed), it stops the workers and waits for them here, answering no more of their calls
    // to this thread, and PanesClosed is not emitted.
    ~PaneController() override;

    void SetListViews(QListWidget* list1, QTreeWidget* eraseList, QListWidget* list2,
                      bool bigIcons);
    void SetTreeViews(QTreeWidget* tree1, QTreeWidget* tree2);
    void AttachPathEdits(QLineEdit* edit1, QLineEdit* edit2);
    void AttachLocationBoxes(QComboBox* box1, QComboBox* box2);
    void SetShowSpecialFolders(bool show) { m_showSpecialFolders = show; }
    // Before Start: where the volumes come from (the mount table when not set).
    void SetVolumeSource(LocationSource::VolumeReader readVolumes);
    // How files are opened (the desktop's program when not set).
    void SetOpenFile(OpenFileFunction openFile) { m_navigator.SetOpenFile(std::move(openFile)); }
    // Told when a folder the user opens cannot be read.
    void SetFolderRefused(Navigator::RefusedFunction refused) {
        m_navigator.SetRefused(std::move(refused));
    }
    bool ShowSpecialFolders() const { return m_showSpecialFolders; }
    bool BigIcons() const { return m_bigIcons; }

    // The pane-state record: read never fails (a damaged record applies what it could);
    // writing takes the erase list's column widths first and throws what the writer throws.
    void LoadPaneState(Data::Reader& reader);
    void SavePaneState(Data::Writer& writer);
    const PaneState& State() const { return m_state; }

    // Prepares the controls and starts the workers. False when a worker could not start
    // (descriptor limit); the controller then works without it and still shuts down.
    bool Start();
    // Returns at once; PanesClosed follows once both workers have ended. Only the first
    // call does anything (true). Afterwards the owner calls nothing but the destructor.
    bool Shutdown();
    bool ShuttingDown() const { return m_workers.ShuttingDown(); }

    // Routed from the window.
    // The location box or tree roots follow the volumes, special, trash and recent folders
    // (the window's one-second timer). Reads the mount table and the environment only.
    virtual void RefreshLocations();
    // The location box's entry `index` was chosen.
    virtual void OnLocationSelected(int index);
    // Double-click or Enter in the left pane: enters a folder, opens a file.
    virtual void OpenSelection();
    // A new tree item is selected: its branch is read again and becomes the side's folder.
    virtual void OnTreeSelectionChanged(QTreeWidgetItem* item);
    // Backspace, Alt+Up: the parent folder, with the folder left selected (in a tree: the
    // parent item). Alt+Left, Alt+Right: the folders shown before and after. False when
    // there is nowhere to go.
    bool GoUp();
    bool GoBack();
    bool GoForward();
    // A path typed into the path edit: true when it named a folder, which is then shown.
    bool GoToTypedPath(const std::string& typed);

    // The erase list. Insert: adds the selection of the browser control that has the focus
    // (side 1; the erase list itself or nothing focused adds nothing) and remembers its
    // folder as a recent one. Delete: removes the selected rows. Both, and AddItems (drops),
    // change nothing while editing is disabled (an erase run is going).
    virtual void AddFocusedSelection();
    virtual void RemoveSelectedRows();
    // Appends the items not listed yet; the number of rows added.
    int AddItems(const std::vector<FileItem>& items);
    // The rows top to bottom (see EraseList::Collect), for an erase run.
    std::vector<FileItem> CollectEraseList() const;
    // The rows' paths top to bottom, without looking at the files: what an erase run erases.
    std::vector<std::string> CollectErasePaths() const;
    // The side-1 list's selection, then the side-1 tree's current item: what a run erases
    // when the window shows no erase list.
    std::vector<FileItem> CollectFirstPaneSelection() const;
    // The selected entries of a browser list (for drags); ".." is left out.
    std::vector<FileItem> CollectListSelection(QListWidget* list) const;
    // The item of one tree entry (for drags and Insert): a volume entry's root gives the
    // volume's drive row, any other item the entry at its path (looked up exactly); none
    // for the separator or an item of another tree.
    std::vector<FileItem> CollectTreeItem(QTreeWidget* tree, QTreeWidgetItem* item) const;
    // For the erase run: the first `count` rows are done. Like RemoveRows, it works whatever
    // the editing state (drags out of the list do not start while editing is disabled).
    void RemoveLeadingRows(int count);
    // Rows dragged out of the list, or erased, by position (any order).
    void RemoveRows(std::vector<int> rows);
    // A row whose item could not be erased stays, marked, with the reason as its tooltip.
    void MarkRowFailed(int row, const QString& reason);
    void ClearFailedMarks();
    const tolvane::EraseList& EraseRows() const { return m_eraseRows; }
    // The erase list's size worker, for tests that watch a count (hooks only before Start).
    SizeWorker& Sizes() { return m_sizeWorker; }

    // Drag and drop. Start puts a FileDropTarget on every control and Shutdown takes them
    // away. A drag that begins in a side list or the erase list runs BeginListDrag, one in a
    // side tree BeginTreeDrag with the item the button went down on; each does nothing for a
    // control that is not this controller's or while editing is disabled, and returns once
    // the drag has ended. Rows dragged out of the erase list and dropped where they are
    // taken are removed; files dropped from other programs on the erase list are added.
    //
    // The runner runs one drag of `data` (which it takes over) from `source` and says how it
    // ended; empty: the platform's drag loop. Tests give their own.
    using DragRunner = std::function<Qt::DropAction(QWidget* source, QMimeData* data)>;
    void SetDragRunner(DragRunner runner) { m_dragRunner = std::move(runner); }
    void CreateDropTargets();
    void DestroyDropTargets();
    void BeginListDrag(QAbstractItemView* source);
    void BeginTreeDrag(QTreeWidget* source, QTreeWidgetItem* pressed = nullptr);
    // The target of slot 0 (side 1), 1 (the erase list) or 2 (side 2); null when none.
    FileDropTarget* DropTarget(std::size_t slot) const { return m_dropTarget[slot].get(); }

    // Both trees refresh from the top at the listing worker's next pass.
    void RefreshAll();
    void RefreshTreeFrom(QTreeWidgetItem* item1, QTreeWidgetItem* item2);
    void CancelListing();
    void SetEditingEnabled(bool enabled) { m_editingEnabled = enabled; }
    bool EditingEnabled() const { return m_editingEnabled; }

    // Which control has the keyboard focus: side-1 tree or list 1, erase list 2, side-2 tree
    // or list 3, location box 4 (side 1) or 5 (side 2); 0 for anything else.
    int FocusedSide() const;

    QTreeWidget* EraseList() const { return m_eraseList; }

    // Tree items and paths (GUI thread; no volume is touched). Item null: the tree's
    // selected item. A folder's path ends with '/', a file's does not.
    std::string ItemPath(QTreeWidget* tree, QTreeWidgetItem* item) const;
    // The folder holding the item; empty for a volume's root item, whose row stands for the
    // volume's free space (Location::freeSpaceItem).
    std::string ItemFolder(QTreeWidget* tree, QTreeWidgetItem* item) const;
    // The location a root item of either tree stands for; null for any other item. A root
    // is a volume entry when its kind is LocationKind::Volume, whatever its path.
    const Location* TreeRootLocation(QTreeWidgetItem* item) const;
    // Expands the tree along the path as its branches are read and selects the item of its
    // last folder (the text after the last '/' is no component). The root is the deepest
    // volume holding the path; children match by exact name.
    void SelectPathInTree(QTreeWidget* tree, const std::string& path);
    // Puts the side's location box on the volume of the folder and lists the folder.
    void ShowDriveOfFolder(std::size_t side, const std::string& folder);
    // Lists the folder in the side's list, with ".." selected.
    void NavigateTo(std::size_t side, const std::string& folder);
    std::string RecallFolder(const std::string& volumeRoot) const;
    // The location list as the box or the tree roots show it.
    const std::vector<Location>& Locations() const { return m_locations; }
    // The folder the side's list was last asked to show.
    std::string SideFolder(std::size_t side) const;
    // What the first side's path edit shows when it is not being typed in: the list's folder,
    // or the path of the tree's current item.
    std::string ShownPath() const;
    // The icons of every control the controller fills (GUI thread only).
    IconCache& Icons() { return m_icons; }

signals:
    // Emitted on the teardown thread once both workers have ended: receivers on the
    // window's thread get it queued (the automatic connection does that).
    void PanesClosed();

private:
    void PrepareLists();
    bool GoToHistoryStep(const std::optional<std::string>& folder);
    // The rows the side-1 list's selection and the side-1 tree's item give, with their icons.
    std::vector<tolvane::EraseList::NewRow> SelectionRows(QTreeWidgetItem* treeItem);
    // Records the focused side's folder among the recent folders (sides 1 and 3 only).
    void RememberSourceFolder(int focusCode);
    // The icon of an erase-list row made from an item (by its name: nothing is read).
    QIcon ItemIcon(const FileItem& item);
    // The folder whose entries a side's list holds now.
    std::string ListFolder(const QListWidget* list) const;
    void PrepareEraseList();
    void ShowFolders();
    void ResetDropEffects();
    void SetDropEffectFor(std::size_t slot, bool isSource, Qt::DropAction effect);
    Qt::DropAction RunDrag(QAbstractItemView* source, int sourceSide,
                           std::vector<tolvane::EraseList::NewRow> rows);
    void OnOwnDragDropped();
    void OnFilesDropped(const std::vector<FileItem>& items);
    void StartListing();
    void SyncLocations();
    std::size_t SideOf(const QTreeWidget* tree) const;

    WorkerPasses m_passes;
    std::array<QPointer<QComboBox>, 2> m_locationBox;
    std::array<QPointer<QLineEdit>, 2> m_pathEdit;
    std::array<QPointer<QListWidget>, 2> m_listView;
    QPointer<QTreeWidget> m_eraseList;
    std::array<QPointer<QTreeWidget>, 2> m_treeView;
    bool m_bigIcons = false;
    bool m_showSpecialFolders = false;
    bool m_editingEnabled = true;
    PaneState m_state;
    IconCache m_icons;
    GuiCallGate m_gui;  // the workers' calls to this thread
    SizePass m_sizePass;
    tolvane::EraseList m_eraseRows;
    SizeWorker m_sizeWorker;
    std::array<std::unique_ptr<FileDropTarget>, 3> m_dropTarget;
    DragRunner m_dragRunner;
    const QMimeData* m_dragData = nullptr;  // the data of the drag running now, if any
    // What that drag carries and the side it began in (a FocusedSide code), taken when it
    // began: at the drop the keyboard focus may be anywhere (a Wayland compositor takes it
    // for the drag), and the selection may have changed under the pointer.
    std::vector<tolvane::EraseList::NewRow> m_dragRows;
    int m_dragSide = 0;
    std::atomic<bool> m_destroying{false};
    LocationSource m_locationSource;
    std::vector<Location> m_locations;  // as the box or the tree roots show them
    Navigator m_navigator{m_locations};
    int m_refreshTicks = 0;
    // Before the workers: it must outlive the worker that runs its pass.
    std::unique_ptr<ListingThread> m_listing;
    // Last: its destructor joins the teardown thread, which still reads the workers.
    PaneWorkers m_workers;
};

}  // namespace tolvane
