#include "panes/EraseList.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QTreeWidget>
#include <array>
#include <atomic>
#include <memory>

#include "FaultyFileSystem.h"
#include "LoopImage.h"
#include "PaneTestControls.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "Waiting.h"
#include "engine/FormatSize.h"
#include "panes/PaneController.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

using test::Controls;
using test::CountGate;
using test::MakeDirs;
using test::TempDir;
using test::WriteFileOfSize;

// A started controller whose side-1 list shows `folder` with the given entries.
class EraseListTest : public testing::Test {
protected:
    void StartIn(const std::string& folder, const std::vector<std::string>& entries,
                 const FolderSizer::FolderHook& hook = {}) {
        controls.Configure(controller);
        test::LoadFolder(controller, folder);
        if (hook) {
            controller.Sizes().SetFolderHook(hook);
        }
        controller.Sizes().SetFileSystem(fileSystem);
        ASSERT_TRUE(controller.Start());
        controller.RefreshLocations();  // the volumes, as the window's timer reads them
        for (const std::string& name : entries) {
            controls.list->addItem(QString::fromStdString(name));
        }
        controls.window.show();
        controls.window.activateWindow();
    }
    void TearDown() override { test::ShutDownAndWait(controller); }

    // Selects the list entries with these names and presses Insert with the list focused.
    void Insert(const std::vector<std::string>& names) {
        controls.list->clearSelection();
        for (const std::string& name : names) {
            for (QListWidgetItem* item :
                 controls.list->findItems(QString::fromStdString(name), Qt::MatchExactly)) {
                item->setSelected(true);
            }
        }
        controls.list->setFocus();
        QApplication::processEvents();
        controller.AddFocusedSelection();
    }
    void SelectRows(const std::vector<int>& rows) {
        controls.eraseList->clearSelection();
        for (int row : rows) {
            controls.eraseList->topLevelItem(row)->setSelected(true);
        }
    }
    std::vector<std::string> Paths() const { return test::ErasePaths(controller); }
    QTreeWidgetItem* Row(const std::string& name) const {
        for (int index = 0; index < controls.eraseList->topLevelItemCount(); ++index) {
            QTreeWidgetItem* row = controls.eraseList->topLevelItem(index);
            if (EraseList::RowName(*row) == name) {
                return row;
            }
        }
        return nullptr;
    }
    // Runs the window's events until every row has a size.
    bool AllSized() {
        return test::EventuallyOnLoop([&] {
            for (int index = 0; index < controls.eraseList->topLevelItemCount(); ++index) {
                if (controls.eraseList->topLevelItem(index)->text(1).isEmpty()) {
                    return false;
                }
            }
            return true;
        });
    }

    Controls controls;
    // Where the size worker lists folders (the real ones unless a test fails some); it
    // outlives the worker.
    test::FaultyFileSystem fileSystem;
    // The test fills the list itself: a listing pass that lists nothing.
    PaneController controller{PaneController::WorkerPasses{[](WorkerThread&, int) {}, {}}};
};

// Insert adds each entry once, never "..", a name with '*' or '?' as exactly that entry; Delete
// removes the selected rows; with the erase list focused Insert adds nothing.
TEST_F(EraseListTest, InsertDeleteAndCollect) {
    TempDir dir;
    for (const char* name : {"a", "b*", "c?", "d", "e"}) {
        ASSERT_TRUE(WriteFileOfSize(dir / name, 10));
    }
    ASSERT_TRUE(WriteFileOfSize(dir / "bb", 10));  // "b*" as a pattern would take it too
    ASSERT_TRUE(MakeDirs(dir / "sub"));
    const std::string folder = dir.Path() + "/";
    StartIn(folder, {"..", "sub", "a", "b*", "bb", "c?", "d", "e"});

    Insert({"..", "sub", "a", "b*", "c?"});
    Insert({"a", "c?", "d", "e"});
    const std::vector<std::string> inserted{folder + "sub", folder + "a", folder + "b*",
                                            folder + "c?",  folder + "d", folder + "e"};
    EXPECT_EQ(Paths(), inserted);
    const std::vector<FileItem> items = controller.CollectEraseList();
    EXPECT_TRUE(items[0].findData.IsDirectory());
    EXPECT_EQ(items[2].findData.name, "b*");  // looked up as itself, not as a pattern
    EXPECT_EQ(controls.eraseList->topLevelItem(0)->text(2), QString::fromStdString(folder));
    EXPECT_EQ(controller.State().recentFolders, std::vector<std::string>{folder});

    SelectRows({1, 4});
    controller.RemoveSelectedRows();
    EXPECT_EQ(Paths(), (std::vector<std::string>{folder + "sub", folder + "b*", folder + "c?",
                                                 folder + "e"}));
    Insert({"a"});
    EXPECT_EQ(Paths().back(), folder + "a");

    controls.eraseList->setFocus();
    QApplication::processEvents();
    controls.list->item(7)->setSelected(true);  // "e" is listed; "d" is not
    controls.list->item(6)->setSelected(true);
    controller.AddFocusedSelection();
    EXPECT_EQ(Paths().size(), 5u);
}

// While a run goes, the user's edits change nothing; the run's own removal and marks work.
TEST_F(EraseListTest, EditsWaitForTheRunWhileItsRowsAndMarksChange) {
    TempDir dir;
    const std::string folder = dir.Path() + "/";
    StartIn(folder, {"x", "y", "z"});
    for (const char* name : {"x", "y", "z"}) {
        ASSERT_TRUE(WriteFileOfSize(dir / name, 1));
    }
    Insert({"x", "y", "z"});
    controller.SetEditingEnabled(false);

    Insert({"x", "y", "z"});
    SelectRows({0, 1, 2});
    controller.RemoveSelectedRows();
    FileItem dropped;
    dropped.folder = folder;
    dropped.name = "w";
    EXPECT_EQ(controller.AddItems({dropped}), 0);
    EXPECT_EQ(Paths(), (std::vector<std::string>{folder + "x", folder + "y", folder + "z"}));

    controller.RemoveLeadingRows(1);
    controller.MarkRowFailed(1, "Operation not permitted");
    controller.MarkRowFailed(7, "no such row");
    EXPECT_EQ(Paths(), (std::vector<std::string>{folder + "y", folder + "z"}));
    EXPECT_FALSE(controller.EraseRows().RowFailed(0));
    EXPECT_TRUE(controller.EraseRows().RowFailed(1));
    EXPECT_EQ(controls.eraseList->topLevelItem(1)->toolTip(0), "Operation not permitted");
    EXPECT_NE(controls.eraseList->topLevelItem(1)->foreground(0),
              controls.eraseList->topLevelItem(0)->foreground(0));

    controller.ClearFailedMarks();
    EXPECT_FALSE(controller.EraseRows().RowFailed(1));
    // Unmarked, the row's tooltip is its whole path again.
    EXPECT_EQ(controls.eraseList->topLevelItem(1)->toolTip(0).toStdString(), folder + "z");
    EXPECT_EQ(controls.eraseList->topLevelItem(0)->toolTip(2).toStdString(), folder + "y");
    controller.SetEditingEnabled(true);
    EXPECT_EQ(controller.AddItems({dropped, dropped}), 1);
    EXPECT_FALSE(controls.eraseList->topLevelItem(2)->icon(0).isNull());
}

// Rows get the size the run will overwrite (what counts is FolderSizerTest's): a folder the
// total below it, a file beyond 4 GiB its whole length in the hidden column, which the
// collection hands on.
TEST_F(EraseListTest, RowsGetTheirSizesInTheBackground) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "folder/deeper"));
    ASSERT_TRUE(WriteFileOfSize(dir / "folder/deeper/one", 1000));
    ASSERT_TRUE(WriteFileOfSize(dir / "huge", 0));
    ASSERT_EQ(::truncate((dir / "huge").c_str(), 5LL << 30), 0);
    ASSERT_TRUE(MakeDirs(dir / "locked"));
    ASSERT_TRUE(WriteFileOfSize(dir / "locked/inside", 1000));
    fileSystem.failListName = "locked";  // root reads every folder: its listing fails here
    const std::string folder = dir.Path() + "/";
    StartIn(folder, {"folder", "huge", "gone", "locked"});
    Insert({"folder", "huge", "gone", "locked"});
    ASSERT_TRUE(AllSized());

    const struct {
        const char* name;
        std::uint64_t bytes;
        const char* shown;
    } expected[] = {
        {"folder", 1000, nullptr},
        {"huge", 5ULL << 30, nullptr},
        {"gone", 0, nullptr},
        {"locked", 0, "cannot be read"},
    };
    const std::vector<FileItem> items = controller.CollectEraseList();
    for (std::size_t index = 0; index < std::size(expected); ++index) {
        const QTreeWidgetItem& row = *controls.eraseList->topLevelItem(static_cast<int>(index));
        EXPECT_EQ(row.text(1).toStdString(),
                  expected[index].shown != nullptr
                      ? expected[index].shown
                      : FormatSize(static_cast<std::int64_t>(expected[index].bytes)));
        EXPECT_EQ(row.text(3).toStdString(), std::to_string(expected[index].bytes));
        EXPECT_EQ(items[index].size, expected[index].bytes);
    }
}

// A volume's mount point in the list is its drive row: named by its drive spec, shown as free
// space, collected as the drive spec, sized as the volume's free space, listed once. The folder
// that holds it is sized without it.
TEST_F(EraseListTest, AListedVolumeIsItsDriveRow) {
    TempDir dir;
    TempDir imageDir;
    test::LoopImageOptions options;
    options.imageFolder = imageDir.Path();  // the folder holds the mount and its own file
    test::LoopImage image(dir.Path(), "ext4", 16, options);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    ASSERT_TRUE(WriteFileOfSize(dir / "own", 10));
    ASSERT_TRUE(WriteFileOfSize(image.MountPoint() + "/inside", 1 << 20));
    const std::string folder = dir.Path() + "/";
    const std::string name = image.MountPoint().substr(folder.size());
    StartIn(folder, {name});
    Insert({name});
    const std::string spec = image.MountPoint() + ":";
    EXPECT_EQ(controller.AddItems({*DriveItem(image.MountPoint())}), 0);
    const std::size_t slash = dir.Path().rfind('/');  // and the folder itself, from its parent
    ASSERT_EQ(controller.AddItems(
                  {EntryItem(dir.Path().substr(0, slash + 1), dir.Path().substr(slash + 1))}),
              1);
    ASSERT_TRUE(AllSized());

    ASSERT_EQ(controls.eraseList->topLevelItemCount(), 2);
    EXPECT_EQ(controls.eraseList->topLevelItem(1)->text(3), "10");
    const QTreeWidgetItem& row = *controls.eraseList->topLevelItem(0);
    EXPECT_FALSE(row.icon(0).isNull());
    EXPECT_EQ(row.text(0).toStdString(), spec);
    EXPECT_EQ(row.text(2), "free space");
    EXPECT_EQ(row.text(3).toStdString(),
              std::to_string(AvailableBytes(RealFileSystem(), image.MountPoint() + "/")));
    const std::vector<FileItem> items = controller.CollectEraseList();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].IsDriveRow());
    EXPECT_EQ(items[0].FullPath(), spec);
}

// While a big folder is counted, the row in front of it goes and rows are added: its total
// lands in its own row wherever it moved. Removing the counted row stops its count, and no
// row gets a partial total, not even the same row added again meanwhile (counted afresh).
TEST_F(EraseListTest, CountsFollowTheirRowsAndStopWithThem) {
    TempDir dir;
    for (int index = 0; index < 30; ++index) {
        const std::string sub = dir / ("big/" + std::to_string(index));
        ASSERT_TRUE(MakeDirs(sub));
        ASSERT_TRUE(WriteFileOfSize(sub + "/data", 100));
    }
    for (const char* name : {"a", "d", "e"}) {
        ASSERT_TRUE(WriteFileOfSize(dir / name, 5));
    }
    // The big folder is counted twice; each count waits at its own gate.
    auto gates = std::make_shared<std::array<CountGate, 2>>();
    auto counts = std::make_shared<std::atomic<int>>(0);
    const std::string folder = dir.Path() + "/";
    StartIn(folder, {"a", "big", "d", "e"}, [gates, counts](std::size_t folders) {
        if (folders == 2 && *counts < 2) {
            (*gates)[(*counts)++].Arrive();
        }
    });
    // A failed expectation must not leave the worker waiting, or the shutdown would wait too.
    struct OpenGates {
        std::array<CountGate, 2>& gates;
        ~OpenGates() {
            for (CountGate& gate : gates) {
                gate.Release();
            }
        }
    } openGates{*gates};
    auto waitForGate = [&](int count) {
        return test::EventuallyOnLoop([&] { return (*gates)[count].Arrived(); });
    };
    Insert({"a", "big"});
    ASSERT_TRUE(waitForGate(0));
    controller.RemoveRows({0});
    Insert({"d", "e"});
    (*gates)[0].Release();
    ASSERT_TRUE(AllSized());
    EXPECT_EQ(Row("big")->text(3), "3000");
    EXPECT_EQ(Row("d")->text(3), "5");
    EXPECT_EQ(controller.Sizes().Pass().StoppedCounts(), 0u);

    controller.RemoveRows({0, 1, 2});
    Insert({"big", "e"});
    ASSERT_TRUE(waitForGate(1));
    controller.RemoveRows({0});
    Insert({"big"});  // the same row again, counted afresh
    (*gates)[1].Release();
    ASSERT_TRUE(AllSized());
    EXPECT_EQ(controller.Sizes().Pass().StoppedCounts(), 1u);
    EXPECT_EQ(Row("big")->text(3), "3000");
    EXPECT_EQ(Row("e")->text(3), "5");
}

// The recent folders: most recent first, at most seven, moved rather than repeated; volume
// roots and folders on slow volumes are never remembered.
TEST(RememberFolderTest, KeepsSevenRecentFoldersButNoRootsOrSlowVolumes) {
    const std::vector<Location> volumes{
        {LocationKind::Volume, "/", "/", "/:"},
        {LocationKind::Volume, "/home/", "/home", "/home:"},
        {LocationKind::Volume, "/media/me/USB/", "USB", "/media/me/USB:", true}};
    std::vector<std::string> recent;
    for (const char* folder : {"1", "2", "3", "4", "5", "6", "7", "8", "5"}) {
        EXPECT_TRUE(RememberFolder(recent, "/home/f" + std::string(folder) + "/", volumes));
    }
    // f1, the oldest, went; f5 moved to the front.
    EXPECT_EQ(recent, (std::vector<std::string>{"/home/f5/", "/home/f8/", "/home/f7/", "/home/f6/",
                                                "/home/f4/", "/home/f3/", "/home/f2/"}));

    const std::vector<std::string> before = recent;
    for (const char* refused : {"/", "/home/", "/media/me/USB/", "/media/me/USB/photos/", ""}) {
        EXPECT_FALSE(RememberFolder(recent, refused, volumes)) << refused;
    }
    EXPECT_EQ(recent, before);
}

}  // namespace
}  // namespace tolvane
