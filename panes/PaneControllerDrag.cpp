// Drag and drop of the pane controller: the drop targets on its controls, and the drags that
// start in them.
#include <QDrag>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QTreeWidget>

#include "panes/FileDataSource.h"
#include "panes/FileDropTarget.h"
#include "panes/PaneController.h"

namespace tolvane {
namespace {

// The slots of the drop targets: side 1, the erase list, side 2.
constexpr std::size_t kEraseSlot = 1;
constexpr std::size_t SideSlot(std::size_t side) {
    return side == 0 ? 0 : 2;
}

// The platform's drag loop. Other programs are offered Copy only: they must never move
// what the user meant to destroy out from under the program, nor delete it themselves.
Qt::DropAction RunPlatformDrag(QWidget* source, QMimeData* data) {
    auto* drag = new QDrag(source);  // Qt deletes it once the drag has ended
    drag->setMimeData(data);
    return drag->exec(Qt::CopyAction, Qt::CopyAction);
}

}  // namespace

void PaneController::CreateDropTargets() {
    DestroyDropTargets();
    FileDropTarget::Context context{[this] { return m_editingEnabled; },
                                    [this] { return m_dragData; }};
    auto make = [&](QAbstractItemView* control, std::size_t slot, Qt::DropAction effect,
                    FileDropTarget::Sources sources) {
        if (control == nullptr) {
            return;
        }
        // With drags enabled a press on one of several selected items keeps them all
        // selected for the drag, and the control reports where a drag begins.
        control->setDragEnabled(true);
        auto target = std::make_unique<FileDropTarget>(effect, sources, context);
        target->Register(control);
        connect(target.get(), &FileDropTarget::OwnDragDropped, this,
                &PaneController::OnOwnDragDropped);
        connect(target.get(), &FileDropTarget::FilesDropped, this, &PaneController::OnFilesDropped);
        m_dropTarget[slot] = std::move(target);
    };
    // Files from other programs go to the erase list only: on a browser side a drop has no
    // meaning, and the selection the window would add is unrelated to it.
    for (std::size_t side = 0; side < 2; ++side) {
        make(m_listView[side], SideSlot(side), Qt::MoveAction,
             FileDropTarget::Sources::OwnDragsOnly);
        make(m_treeView[side], SideSlot(side), Qt::MoveAction,
             FileDropTarget::Sources::OwnDragsOnly);
        if (side == 0) {
            make(m_eraseList, kEraseSlot, Qt::CopyAction, FileDropTarget::Sources::Any);
        }
    }
}

void PaneController::DestroyDropTargets() {
    for (std::unique_ptr<FileDropTarget>& target : m_dropTarget) {
        target.reset();  // revokes itself
    }
}

void PaneController::ResetDropEffects() {
    const Qt::DropAction effects[] = {Qt::MoveAction, Qt::CopyAction, Qt::MoveAction};
    for (std::size_t slot = 0; slot < m_dropTarget.size(); ++slot) {
        if (m_dropTarget[slot]) {
            m_dropTarget[slot]->SetDropEffect(effects[slot]);
        }
    }
}

void PaneController::SetDropEffectFor(std::size_t slot, bool isSource, Qt::DropAction effect) {
    if (m_dropTarget[slot]) {
        m_dropTarget[slot]->SetDropEffect(isSource ? Qt::IgnoreAction : effect);
    }
}

void PaneController::BeginListDrag(QAbstractItemView* source) {
    if (source == nullptr || !m_editingEnabled) {
        return;
    }
    const bool fromEraseList = source == m_eraseList;
    auto* list = qobject_cast<QListWidget*>(source);
    const bool fromSideList = list != nullptr && (list == m_listView[0] || list == m_listView[1]);
    if (!fromEraseList && !fromSideList) {
        return;  // not a list of this controller's (a hidden one, say)
    }
    // A control never takes a drag that started in itself.
    SetDropEffectFor(kEraseSlot, fromEraseList, Qt::CopyAction);
    for (std::size_t side = 0; side < 2; ++side) {
        if (m_listView[side]) {
            SetDropEffectFor(SideSlot(side), source == m_listView[side], Qt::MoveAction);
        }
    }
    // Rows dragged out of the erase list carry no names: they are only taken away.
    std::vector<int> rows = fromEraseList ? m_eraseRows.SelectedRows() : std::vector<int>{};
    std::vector<tolvane::EraseList::NewRow> dragged;
    if (fromSideList) {
        dragged = list == m_listView[0] ? SelectionRows(nullptr)
                                        : ListSelectionRows(list, ListFolder(list), m_locations);
    }
    const int side = fromEraseList ? 2 : (list == m_listView[0] ? 1 : 3);
    QPointer<PaneController> alive(this);
    const Qt::DropAction result = RunDrag(source, side, std::move(dragged));
    if (!alive) {
        return;  // the window went during the drag
    }
    if (result != Qt::IgnoreAction && fromEraseList) {
        RemoveRows(std::move(rows));
    }
    ResetDropEffects();
}

void PaneController::BeginTreeDrag(QTreeWidget* source, QTreeWidgetItem* pressed) {
    if (source == nullptr || !m_editingEnabled) {
        return;
    }
    if (source != m_treeView[0] && source != m_treeView[1]) {
        return;
    }
    // The item the button went down on, not the one under the pointer now, which may be a
    // neighbour by the time the pointer has moved far enough to start a drag.
    QTreeWidgetItem* item = pressed != nullptr ? pressed : source->currentItem();
    if (item == nullptr || item->treeWidget() != source) {
        return;
    }
    // It becomes the caret, which is what a drop on the erase list adds.
    source->setCurrentItem(item);
    for (std::size_t side = 0; side < 2; ++side) {
        if (m_treeView[side]) {
            SetDropEffectFor(SideSlot(side), source == m_treeView[side], Qt::MoveAction);
        }
    }
    std::vector<tolvane::EraseList::NewRow> dragged;
    for (FileItem& entry : CollectTreeItem(source, item)) {
        dragged.push_back({std::move(entry), item->icon(0)});
    }
    QPointer<PaneController> alive(this);
    (void)RunDrag(source, source == m_treeView[0] ? 1 : 3, std::move(dragged));
    if (alive) {
        ResetDropEffects();
    }
}

Qt::DropAction PaneController::RunDrag(QAbstractItemView* source, int sourceSide,
                                       std::vector<tolvane::EraseList::NewRow> rows) {
    std::vector<FileItem> items;
    items.reserve(rows.size());
    for (const tolvane::EraseList::NewRow& row : rows) {
        items.push_back(row.item);
    }
    QMimeData* data = CreateFileDataSource(items);
    m_dragData = data;
    m_dragRows = std::move(rows);
    m_dragSide = sourceSide;
    // A copy: the controller may be gone when the drag loop returns.
    DragRunner runner = m_dragRunner ? m_dragRunner : DragRunner(RunPlatformDrag);
    QPointer<PaneController> alive(this);
    const Qt::DropAction result = runner(source, data);
    if (alive) {
        m_dragData = nullptr;
        m_dragRows.clear();
        m_dragSide = 0;
    }
    return result;
}

void PaneController::OnOwnDragDropped() {
    // Exactly what the drag carries, from the side it began in, whatever has the focus now.
    if (!m_editingEnabled) {
        return;
    }
    RememberSourceFolder(m_dragSide);
    m_eraseRows.AddRows(m_dragRows);
}

void PaneController::OnFilesDropped(const std::vector<FileItem>& items) {
    if (m_editingEnabled) {
        AddItems(items);
    }
}

}  // namespace tolvane
