// Drags from and drops onto the pane controller's real controls. The platform's drag loop
// is played by a runner that drops the drag's data on a chosen control, as the loop would
// on release; RealDragTest does the same with the real loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <memory>

#include "DropEvents.h"
#include "PaneTestControls.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "panes/FileDropTarget.h"
#include "panes/PaneController.h"
#include "views/DragListWidget.h"
#include "views/DragTreeWidget.h"

namespace tolvane {
namespace {

using Names = std::vector<std::string>;

// The window's side 1 as a list, and the erase list, with a controller on a folder of files.
struct Window {
    test::TempDir temp;
    QWidget window;
    DragListWidget* list = new DragListWidget(&window);
    DragTreeWidget* eraseList = new DragTreeWidget(&window);
    // The test fills the list itself: a listing pass that lists nothing.
    PaneController controller{PaneController::WorkerPasses{[](WorkerThread&, int) {}, {}}};
    test::DropRunner drop;

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
    test::DropRunner drop;
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
// folder, whatever the file manager adds to its list; a proposed Move (GNOME Files with Shift)
// is answered as Copy, or the sender would delete what it sent. Onto the browser list, or
// during a run, nothing is taken, and no drag starts in a run. What other programs' data the
// erase list refuses is in FileDropTargetTest.
TEST(PaneDragDropTest, FilesFromOtherProgramsGoOntoTheEraseListOnlyAndAsCopies) {
    Window w({"a.txt", "bad\xff\xfe.txt", "50% #1 x.txt"});
    const QByteArray path = QByteArray::fromStdString(w.temp.Path());
    const QByteArray list = "file://" + path + "/a.txt\r\nfile://localhost" + path +
                            "/bad%FF%FE.txt\r\nfile://" + path + "/50%25%20%231%20x.txt\r\n";
    const struct {
        const char* name;
        const char* extraType;
        QByteArray extra;
        Qt::KeyboardModifiers keys;
    } senders[] = {
        {"Dolphin", "application/x-kde4-urilist", list, Qt::NoModifier},
        {"GNOME Files", "application/vnd.portal.filetransfer", "key", Qt::ShiftModifier},
        {"Nemo", "text/plain", list, Qt::NoModifier},
    };
    test::BoxAnswerer boxes;
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    auto uris = std::make_unique<QMimeData>();
    uris->setData("text/uri-list", list);

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

    const Names all = {w.temp / "a.txt", w.temp / "bad\xff\xfe.txt", w.temp / "50% #1 x.txt"};
    for (const auto& sender : senders) {
        SCOPED_TRACE(sender.name);
        auto data = std::make_unique<QMimeData>();
        data->setData(sender.extraType, sender.extra);
        data->setData("text/uri-list", list);
        test::DropOutcome outcome =
            test::DragAndDrop(*w.eraseList, data.get(), offered, sender.keys);
        EXPECT_EQ(outcome.enterAction, Qt::CopyAction);
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
