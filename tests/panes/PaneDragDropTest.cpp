// Drags from and drops onto the pane controller's real controls. The platform's drag loop
// is played by a runner that drops the drag's data on a chosen control, as the loop would
// on release; RealDragTest does the same with the real loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <functional>
#include <memory>

#include "DropEvents.h"
#include "PaneTestControls.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "items/DropFilesBlock.h"
#include "items/FileUriList.h"
#include "panes/FileDropTarget.h"
#include "panes/PaneController.h"
#include "views/DragListWidget.h"
#include "views/DragTreeWidget.h"

namespace tolvane {
namespace {

using Names = std::vector<std::string>;

// Plays the platform's drag loop: the drag's data goes over `target` and is dropped there
// (no target: released where nothing takes it), and the drag ends with what was answered.
struct DropRunner {
    struct State {
        QAbstractItemView* target = nullptr;
        std::unique_ptr<QMimeData> data;
        QTreeWidgetItem* currentAtDrag = nullptr;
        int runs = 0;
        // Runs while the pointer is on its way, before the drop.
        std::function<void()> onTheWay;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    PaneController::DragRunner Runner() const {
        return [state = state](QWidget* source, QMimeData* data) {
            ++state->runs;
            state->data.reset(data);
            if (auto* tree = qobject_cast<QTreeWidget*>(source)) {
                state->currentAtDrag = tree->currentItem();
            }
            if (state->onTheWay) {
                state->onTheWay();
            }
            if (state->target == nullptr) {
                return Qt::IgnoreAction;
            }
            // This program's drags offer Copy only.
            return test::DragAndDrop(*state->target, data, Qt::CopyAction).dropAction;
        };
    }
    // The names the last drag carried in its block, and in its text/uri-list.
    Names BlockNames() const {
        Names names;
        const QByteArray block = state->data->data(kDropFilesMimeType);
        EXPECT_TRUE(ReadDropFilesBlock(block.toStdString(), names));
        return names;
    }
    Names UriPaths() const {
        return LocalPathsOfUriList(state->data->data("text/uri-list").toStdString());
    }
};

// The window's side 1 as a list, and the erase list, with a controller on a folder of files.
struct Window {
    test::TempDir temp;
    QWidget window;
    DragListWidget* list = new DragListWidget(&window);
    DragTreeWidget* eraseList = new DragTreeWidget(&window);
    // The test fills the list itself: a listing pass that lists nothing.
    PaneController controller{PaneController::WorkerPasses{[](WorkerThread&, int) {}, {}}};
    DropRunner drop;

    explicit Window(std::initializer_list<const char*> files = {"a.txt", "b.txt", "c.txt"}) {
        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(list);
        layout->addWidget(eraseList);
        test::LoadFolder(controller, temp.Path() + "/");
        controller.SetListViews(list, eraseList, nullptr, false);
        controller.SetDragRunner(drop.Runner());
        for (const char* name : files) {
            EXPECT_TRUE(test::WriteFile(temp / name, name));
            list->addItem(name);
        }
        EXPECT_TRUE(controller.Start());
        window.show();
        window.activateWindow();
    }
    ~Window() { test::ShutDownAndWait(controller); }

    void SelectInList(std::initializer_list<int> rows) {
        list->clearSelection();
        for (int row : rows) {
            list->item(row)->setSelected(true);
        }
        list->setFocus();
        QCoreApplication::processEvents();
    }
    Names Rows() const { return test::ErasePaths(controller); }
};

TEST(PaneDragDropTest, SelectedFilesDraggedOntoTheEraseListAreAddedAndNotTakenBackByTheList) {
    Window w;
    w.SelectInList({0, 2});
    w.drop.state->target = w.eraseList;
    w.controller.BeginListDrag(w.list);
    const Names both = {w.temp / "a.txt", w.temp / "c.txt"};
    EXPECT_EQ(w.Rows(), both);
    EXPECT_EQ(w.drop.BlockNames(), both);
    EXPECT_EQ(w.drop.UriPaths(), both);

    // Back onto the list it came from: refused, and nothing changes.
    w.SelectInList({1});
    w.drop.state->target = w.list;
    w.controller.BeginListDrag(w.list);
    EXPECT_EQ(w.drop.state->runs, 2);
    EXPECT_EQ(w.Rows(), both);
    // Each drag gives every target the effect it had.
    EXPECT_EQ(w.controller.DropTarget(0)->DropEffect(), Qt::MoveAction);
    EXPECT_EQ(w.controller.DropTarget(1)->DropEffect(), Qt::CopyAction);
    EXPECT_EQ(w.controller.DropTarget(2), nullptr);
}

// At the drop the keyboard focus may be anywhere (a Wayland compositor takes it for the
// drag) and the selection may have changed: the drop adds what the drag carries, and the
// side it began in becomes the recent folder.
TEST(PaneDragDropTest, TheDropAddsWhatTheDragCarriedWhereverTheFocusIsThen) {
    Window w;
    w.SelectInList({0, 1});
    w.drop.state->target = w.eraseList;
    w.drop.state->onTheWay = [&w] {
        w.list->clearSelection();
        w.list->item(2)->setSelected(true);
        w.list->clearFocus();
        w.eraseList->setFocus();
        QCoreApplication::processEvents();
    };
    w.controller.BeginListDrag(w.list);
    EXPECT_EQ(w.Rows(), (Names{w.temp / "a.txt", w.temp / "b.txt"}));
    EXPECT_EQ(w.controller.State().recentFolders, Names{w.temp.Path() + "/"});
}

TEST(PaneDragDropTest, RowsDraggedOutOfTheEraseListAreRemovedWhereTheDropIsTaken) {
    Window w;
    w.SelectInList({0, 1, 2});
    w.controller.AddFocusedSelection();
    ASSERT_EQ(w.Rows().size(), 3u);
    const Names middle = {w.temp / "b.txt"};

    struct Case {
        QAbstractItemView* target;
        std::size_t rowsLeft;
    };
    // Released over nothing, dropped on the erase list itself: both refused.
    for (const Case& c : {Case{nullptr, 3}, Case{w.eraseList, 3}, Case{w.list, 1}}) {
        w.eraseList->clearSelection();
        w.eraseList->topLevelItem(0)->setSelected(true);
        w.eraseList->topLevelItem(2)->setSelected(true);
        w.drop.state->target = c.target;
        w.controller.BeginListDrag(w.eraseList);
        EXPECT_EQ(w.Rows().size(), c.rowsLeft);
        // The rows carry no names: another program gets nothing to act on.
        EXPECT_EQ(w.drop.BlockNames(), Names{});
        EXPECT_FALSE(w.drop.state->data->hasFormat("text/uri-list"));
    }
    EXPECT_EQ(w.Rows(), middle);
}

// The pointer may have reached a neighbour by the time it has moved far enough to start a
// drag: the item pressed is the one dragged.
TEST(PaneDragDropTest, ATreeDragTakesThePressedItemNotTheOneUnderThePointer) {
    test::TempDir temp;
    QWidget window;
    auto* tree = new DragTreeWidget(&window);
    auto* layout = new QHBoxLayout(&window);
    layout->addWidget(tree);
    auto* first = new QTreeWidgetItem(tree, {"first"});
    auto* second = new QTreeWidgetItem(tree, {"second"});
    // The test makes the tree's items itself: a listing pass that lists nothing.
    PaneController controller{PaneController::WorkerPasses{[](WorkerThread&, int) {}, {}}};
    DropRunner drop;
    controller.SetTreeViews(tree, nullptr);
    controller.SetDragRunner(drop.Runner());
    ASSERT_TRUE(controller.Start());
    QObject::connect(tree, &DragTreeWidget::BeginDrag,
                     [&] { controller.BeginTreeDrag(tree, tree->PressedItem()); });
    window.show();
    tree->setCurrentItem(second);

    QWidget* viewport = tree->viewport();
    const QPoint press = tree->visualItemRect(first).center();
    const QPoint over = tree->visualItemRect(second).center();
    ASSERT_GT((over - press).manhattanLength(), QApplication::startDragDistance());
    QMouseEvent down(QEvent::MouseButtonPress, press, viewport->mapToGlobal(press), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &down);
    // Qt waits for a first move before it can start a drag; the second one is far enough.
    for (QPoint point : {press + QPoint(1, 0), over}) {
        QMouseEvent move(QEvent::MouseMove, point, viewport->mapToGlobal(point), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    ASSERT_EQ(drop.state->runs, 1);
    EXPECT_EQ(tree->PressedItem(), first);
    EXPECT_EQ(drop.state->currentAtDrag, first);
    test::ShutDownAndWait(controller);
}

// Files dropped from another program onto the erase list are added once each with their
// folder; onto the browser list, or during a run, nothing is taken. No drag starts in a run.
// What other programs' data the erase list refuses is in FileDropTargetTest.
TEST(PaneDragDropTest, FilesFromOtherProgramsGoOntoTheEraseListOnly) {
    Window w({"a.txt", "bad\xff.txt", "50% #1 x.txt"});
    auto uris = std::make_unique<QMimeData>();
    const QByteArray folder = "file://" + QByteArray::fromStdString(w.temp.Path()) + "/";
    uris->setData("text/uri-list", folder + "a.txt\r\n" + folder + "bad%FF.txt\r\n" + folder +
                                       "50%25%20%231%20x.txt\r\n");
    test::BoxAnswerer boxes;
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;

    EXPECT_FALSE(test::DragAndDrop(*w.list, uris.get(), offered).dropped);
    EXPECT_EQ(w.Rows(), Names{});

    w.controller.SetEditingEnabled(false);
    EXPECT_FALSE(test::DragAndDrop(*w.eraseList, uris.get(), offered).entered);
    w.SelectInList({0});
    w.drop.state->target = w.eraseList;
    w.controller.BeginListDrag(w.list);
    EXPECT_EQ(w.drop.state->runs, 0);
    EXPECT_EQ(w.Rows(), Names{});
    w.controller.SetEditingEnabled(true);

    const Names all = {w.temp / "a.txt", w.temp / "bad\xff.txt", w.temp / "50% #1 x.txt"};
    for (int round = 0; round < 2; ++round) {
        test::DropOutcome outcome = test::DragAndDrop(*w.eraseList, uris.get(), offered);
        EXPECT_EQ(outcome.dropAction, Qt::CopyAction);
        EXPECT_EQ(w.Rows(), all);
    }
    for (const FileItem& item : w.controller.CollectEraseList()) {
        EXPECT_EQ(item.folder, w.temp.Path() + "/");
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes.Seen().empty());
}

}  // namespace
}  // namespace tolvane
