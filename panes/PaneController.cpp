#include "panes/PaneController.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

#include "items/DataReader.h"
#include "items/DataWriter.h"

namespace tolvane {

PaneController::PaneController(WorkerPasses passes) : m_passes(std::move(passes)) {}

PaneController::~PaneController() = default;

void PaneController::SetListViews(QListWidget* list1, QTreeWidget* eraseList, QListWidget* list2,
                                  bool bigIcons) {
    m_listView = {list1, list2};
    m_eraseList = eraseList;
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

void PaneController::LoadPaneState(Data::Reader& reader) {
    tolvane::LoadPaneState(reader, m_state);
}

void PaneController::SavePaneState(Data::Writer& writer) {
    if (m_eraseList) {
        for (int column = 0; column < 3; ++column) {
            m_state.columnWidth[column] = m_eraseList->columnWidth(column);
        }
    }
    tolvane::SavePaneState(writer, m_state);
}

bool PaneController::Start() {
    PrepareLists();
    PrepareEraseList();
    ShowFolders();
    return m_workers.Start(m_passes.listing, m_passes.sizing);
}

void PaneController::PrepareLists() {
    for (const QPointer<QListWidget>& list : m_listView) {
        if (!list) {
            continue;
        }
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
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
    return m_workers.Shutdown([this] { emit PanesClosed(); });
}

void PaneController::RefreshAll() {
    RefreshTreeFrom(nullptr, nullptr);
}

void PaneController::RefreshTreeFrom(QTreeWidgetItem* item1, QTreeWidgetItem* item2) {
    m_treeRefreshFrom = {item1, item2};
    m_workers.Listing().Wake();
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

void PaneController::SetPathText(QLineEdit* edit, const QString& text) {
    if (edit == nullptr) {
        return;
    }
    edit->setText(text);
    edit->setCursorPosition(static_cast<int>(text.size()));  // the end of a long path in view
}

}  // namespace tolvane
