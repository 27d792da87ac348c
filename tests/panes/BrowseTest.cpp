// The browser panes on real folders: the list follows its folder and the user's moves, the
// tree follows its branches, the locations follow the volumes, files open through the shell.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <QApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <cstdio>
#include <filesystem>
#include <set>

#include "DropEvents.h"
#include "PaneTestControls.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "panes/PaneController.h"
#include "panes/TreePaths.h"

namespace tolvane {
namespace {

using test::ErasePaths;
using test::EventuallyOnLoop;
using test::LoadFolder;
using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

using Names = std::vector<std::string>;

// The names of the list's rows, or of its selected rows only.
Names Listed(const QListWidget& list, bool selectedOnly = false) {
    Names names;
    for (int row = 0; row < list.count(); ++row) {
        if (!selectedOnly || list.item(row)->isSelected()) {
            names.push_back(ItemName(*list.item(row)));
        }
    }
    return names;
}

void Select(QListWidget& list, const std::set<std::string>& names) {
    list.clearSelection();
    for (int row = 0; row < list.count(); ++row) {
        list.item(row)->setSelected(names.count(ItemName(*list.item(row))) > 0);
    }
}

// Puts the focus on a control of the shown window, as a click would.
void Focus(QWidget& control) {
    control.window()->activateWindow();
    control.setFocus();
    QApplication::processEvents();
}

// A volume source that reports these folders as the volumes.
LocationSource::VolumeReader FolderVolumes(const Names& roots) {
    return [roots] {
        std::vector<Volume> volumes;
        for (const std::string& root : roots) {
            volumes.emplace_back().root = root;
            volumes.back().fsType = "ext4";
        }
        return volumes;
    };
}

// A list-kind window side on a folder the test made.
class ListBrowseTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirs(dir / "sub/deeper"));
        ASSERT_TRUE(MakeDirs(dir / "empty"));
        for (const char* name : {"a", "b", "c.txt"}) {
            ASSERT_TRUE(WriteFile(dir / name, "x"));
        }
        ASSERT_EQ(::symlink("sub", (dir / "linked").c_str()), 0);
    }
    void TearDown() override { test::ShutDownAndWait(controller); }

    void Start(LocationSource::VolumeReader volumes = {}) {
        controls.Configure(controller);
        if (volumes) {
            controller.SetVolumeSource(std::move(volumes));
        }
        controller.SetOpenFile([this](const QString& file, const QString& folder) {
            opened.emplace_back(file.toStdString(), folder.toStdString());
            return true;
        });
        LoadFolder(controller, folder);
        controls.window.show();
        ASSERT_TRUE(controller.Start());
        ASSERT_TRUE(ShowsFolder(folder));
    }
    // The edit and the side show the folder; its rows may still be on their way.
    bool ShowsFolder(const std::string& shown) {
        return EventuallyOnLoop([&] {
            return controls.path->text().toStdString() == shown && controls.list->count() > 0 &&
                   controller.SideFolder(0) == shown;
        });
    }
    bool Lists(const Names& names) {
        return EventuallyOnLoop([&] { return Listed(*controls.list) == names; });
    }
    void Open(const std::string& name) {
        Select(*controls.list, {name});
        controller.OpenSelection();
    }
    // Opens `name` and waits for the list to show `shown` with these rows.
    bool Enters(const std::string& name, const std::string& shown, const Names& names) {
        Open(name);
        return ShowsFolder(shown) && Lists(names);
    }

    TempDir dir;
    const std::string folder = dir.Path() + "/";
    test::Controls controls;
    PaneController controller;
    std::vector<std::pair<std::string, std::string>> opened;
};

// A file opens through the shell in its own folder and the list stays; changes reach the list
// keeping the selection; ".." selects the folder left; an empty folder shows only "..".
TEST_F(ListBrowseTest, TheListFollowsTheFolderAndTheMovesInIt) {
    Start();
    ASSERT_TRUE(Lists({"..", "empty", "sub", "a", "b", "c.txt", "linked"}));
    Open("c.txt");
    const std::vector<std::pair<std::string, std::string>> openedFile{{folder + "c.txt", folder}};
    EXPECT_EQ(opened, openedFile);
    EXPECT_EQ(controller.SideFolder(0), folder);
    Select(*controls.list, {"a", "c.txt"});

    constexpr int kMark = Qt::UserRole + 99;
    controls.list->item(3)->setData(kMark, true);  // "a"
    ASSERT_TRUE(WriteFile(dir / "ab", "x"));
    ASSERT_TRUE(Lists({"..", "empty", "sub", "a", "ab", "b", "c.txt", "linked"}));
    EXPECT_EQ(Listed(*controls.list, true), (Names{"a", "c.txt"}));
    // Only the rows that changed were touched: a folder that changes all the time (an erase
    // going on in it) must not cost a refill of every row each time.
    EXPECT_TRUE(controls.list->item(3)->data(kMark).toBool());
    ASSERT_EQ(std::rename((dir / "b").c_str(), (dir / "bz").c_str()), 0);
    const Names all{"..", "empty", "sub", "a", "ab", "bz", "c.txt", "linked"};
    ASSERT_TRUE(Lists(all));
    EXPECT_EQ(Listed(*controls.list, true), (Names{"a", "c.txt"}));

    // Entering a folder makes its first entry (past "..") the selected, current one.
    ASSERT_TRUE(Enters("sub", folder + "sub/", {"..", "deeper"}));
    ASSERT_TRUE(EventuallyOnLoop([&] { return Listed(*controls.list, true) == Names{"deeper"}; }));
    EXPECT_EQ(ItemName(*controls.list->currentItem()), "deeper");
    ASSERT_TRUE(Enters("..", folder, all));
    ASSERT_TRUE(EventuallyOnLoop([&] { return Listed(*controls.list, true) == Names{"sub"}; }));
    EXPECT_EQ(ItemName(*controls.list->currentItem()), "sub");
    ASSERT_TRUE(Enters("empty", folder + "empty/", {".."}));
    EXPECT_TRUE(controls.list->item(0)->icon().isNull());

    // A link to a folder is entered where it stands, as file managers do; it is marked.
    ASSERT_TRUE(Enters("..", folder, all));
    EXPECT_TRUE(controls.list->item(7)->data(kLinkRole).toBool());
    EXPECT_FALSE(controls.list->item(2)->data(kLinkRole).toBool());
    ASSERT_TRUE(Enters("linked", folder + "linked/", {"..", "deeper"}));
    EXPECT_EQ(opened, openedFile);

    // An entry near the top goes (rows are moved up before they leave there): ".." stays
    // first and the rows below keep their selection.
    ASSERT_TRUE(Enters("..", folder, all));
    Select(*controls.list, {"bz", "linked"});
    ASSERT_EQ(::rmdir((dir / "empty").c_str()), 0);
    ASSERT_TRUE(Lists({"..", "sub", "a", "ab", "bz", "c.txt", "linked"}));
    EXPECT_EQ(Listed(*controls.list, true), (Names{"bz", "linked"}));
}

// Choosing a location lists it with ".." selected and puts the box on its volume; a volume
// returns to the folder last shown on it.
TEST_F(ListBrowseTest, ChoosingALocationSelectsDotDotAndVolumesReturnToTheirLastFolder) {
    const std::string home = std::string(std::getenv("HOME")) + "/";
    Start(FolderVolumes({folder, home}));
    const std::vector<Location>& locations = controller.Locations();
    auto homeEntry = [&] {
        const auto at = std::find_if(locations.begin(), locations.end(), [&](const Location& l) {
            return l.kind == LocationKind::SpecialFolder && l.path == home;
        });
        return at == locations.end() ? -1 : static_cast<int>(at - locations.begin());
    };
    ASSERT_TRUE(EventuallyOnLoop([&] { return homeEntry() >= 0; }));  // once the worker probed it
    EXPECT_EQ(controls.location->currentIndex(), 0);  // the volume of the folder shown
    ASSERT_TRUE(Enters("sub", folder + "sub/", {"..", "deeper"}));

    controls.location->setCurrentIndex(homeEntry());
    controller.OnLocationSelected(homeEntry());
    ASSERT_TRUE(ShowsFolder(home));
    ASSERT_TRUE(EventuallyOnLoop([&] { return Listed(*controls.list, true) == Names{".."}; }));
    EXPECT_EQ(controls.location->currentIndex(), 1);  // the home volume's entry

    controller.OnLocationSelected(0);
    ASSERT_TRUE(ShowsFolder(folder + "sub/"));
    EXPECT_EQ(controller.RecallFolder(folder), folder + "sub/");
    // A typed path onto the other volume moves the box there too.
    ASSERT_TRUE(controller.GoToTypedPath(home));
    EXPECT_TRUE(EventuallyOnLoop([&] { return controls.location->currentIndex() == 1; }));
    EXPECT_EQ(controller.RecallFolder("/never/shown/"), "/never/shown/");
}

// Insert and drags take names with the folder they were listed in: a name that is no UTF-8 as
// the disk's bytes, and right after a move the entries still shown with the folder before.
TEST_F(ListBrowseTest, InsertAndDragsTakeNamesAsListedInTheirFolder) {
    const std::string raw = "bad\xff name";
    ASSERT_TRUE(WriteFile(dir / raw, "x"));
    test::DropRunner drag;
    controller.SetDragRunner(drag.Runner());
    Start();
    ASSERT_TRUE(Lists({"..", "empty", "sub", "a", "b", raw, "c.txt", "linked"}));
    Select(*controls.list, {raw});
    Focus(*controls.list);
    controller.AddFocusedSelection();
    EXPECT_EQ(ErasePaths(controller), std::vector<std::string>{folder + raw});
    ASSERT_TRUE(
        EventuallyOnLoop([&] { return !controls.eraseList->topLevelItem(0)->text(1).isEmpty(); }));
    EXPECT_EQ(controller.CollectEraseList().at(0).size, 1u);  // sized as the file it names
    controller.BeginListDrag(controls.list);
    EXPECT_EQ(drag.BlockNames(), std::vector<std::string>{folder + raw});

    Select(*controls.list, {"a"});
    controller.NavigateTo(0, folder + "sub/");  // no events run: the list still shows `folder`
    controller.AddFocusedSelection();
    EXPECT_EQ(ErasePaths(controller), (std::vector<std::string>{folder + raw, folder + "a"}));
}

// A volume mounted while the window is open appears among the locations within two refreshes
// and goes again within two after it is unmounted; the entries before it stay.
TEST_F(ListBrowseTest, AVolumeComesAndGoesWithoutTouchingTheEntriesBeforeIt) {
    const std::string root = folder + "sub/";
    const Names without{folder, folder + "sub/deeper/"};
    auto volumes = std::make_shared<Names>(without);
    Start([volumes] { return FolderVolumes(*volumes)(); });
    std::vector<int> changedRows;
    QAbstractItemModel* model = controls.location->model();
    auto record = [&](const QModelIndex&, int first, int) { changedRows.push_back(first); };
    QObject::connect(model, &QAbstractItemModel::rowsInserted, record);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, record);
    for (bool mounted : {true, false}) {
        SCOPED_TRACE(mounted);
        const std::vector<Location> before = controller.Locations();
        changedRows.clear();
        *volumes = mounted ? Names{folder, root, folder + "sub/deeper/"} : without;
        for (int refresh = 0; refresh < 2; ++refresh) {
            controller.RefreshLocations();
            QApplication::processEvents();
        }
        const std::optional<std::size_t> entry = FindLocation(controller.Locations(), root);
        ASSERT_EQ(entry.has_value(), mounted);
        const std::size_t position = mounted ? *entry : *FindLocation(before, root);
        for (int row : changedRows) {
            EXPECT_GE(row, static_cast<int>(position));
        }
        EXPECT_FALSE(changedRows.empty());
    }
}

// Root passes every permission check, so the unreadable case runs in a child as nobody.
TEST_F(ListBrowseTest, AnUnreadableFolderShowsItsNearestReadableParent) {
    TempDir shared;
    ASSERT_TRUE(MakeDirs(shared / "tmp"));
    ASSERT_TRUE(MakeDirs(shared / "open/locked/inner"));
    ASSERT_EQ(::chmod((shared / "tmp").c_str(), 01777), 0);
    ASSERT_EQ(::chmod((shared / "open/locked").c_str(), 0700), 0);  // root's own
    test::OpenUpTo(shared.Path());
    ASSERT_EQ(test::RunCommand("setpriv --help"), 0) << "setpriv is needed";
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string output;
    const int status = test::RunCommand(
        "TMPDIR='" + shared.Path() + "/tmp' TOLVANE_UNREADABLE_TEST='" + shared.Path() +
            "/open' setpriv --reuid=65534 --regid=65534 --clear-groups '" + self +
            "' --gtest_also_run_disabled_tests --gtest_filter='*DISABLED_AsNobody*' 2>&1",
        &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// The child's half: started inside the locked folder, the list shows the folder above it;
// opening the locked folder stays there.
TEST_F(ListBrowseTest, DISABLED_AsNobodyUnreadableFolders) {
    const char* open = std::getenv("TOLVANE_UNREADABLE_TEST");
    ASSERT_NE(open, nullptr);
    ASSERT_NE(::getuid(), 0u);
    const std::string parent = std::string(open) + "/";
    controls.Configure(controller);
    LoadFolder(controller, parent + "locked/inner/");
    ASSERT_TRUE(controller.Start());
    ASSERT_TRUE(ShowsFolder(parent) && Lists({"..", "locked"}));
    // Opening it is refused with the reason, and the list stays where it is.
    std::vector<std::pair<std::string, int>> refused;
    controller.SetFolderRefused(
        [&](const std::string& folder, int error) { refused.emplace_back(folder, error); });
    Open("locked");
    const std::vector<std::pair<std::string, int>> expected{{parent + "locked/", EACCES}};
    EXPECT_EQ(refused, expected);
    EXPECT_EQ(controls.path->text().toStdString(), parent);
    EXPECT_TRUE(ShowsFolder(parent) && Lists({"..", "locked"}));
}

// A tree-kind window side whose volumes are folders the test made.
class TreeBrowseTest : public testing::Test {
protected:
    void TearDown() override { test::ShutDownAndWait(controller); }

    void Start(const Names& roots, const std::string& shown) { Start(FolderVolumes(roots), shown); }
    void Start(LocationSource::VolumeReader volumes, const std::string& shown) {
        controller.SetTreeViews(tree, nullptr);
        controller.SetListViews(nullptr, eraseList, nullptr, false);
        controller.AttachPathEdits(path, nullptr);
        controller.SetVolumeSource(std::move(volumes));
        controller.SetOpenFile([this](const QString& file, const QString& folder) {
            opened.emplace_back(file.toStdString(), folder.toStdString());
            return true;
        });
        // As the window routes them.
        QObject::connect(tree, &QTreeWidget::currentItemChanged, [this](QTreeWidgetItem* item) {
            controller.OnTreeSelectionChanged(item);
        });
        QObject::connect(tree, &QTreeWidget::itemExpanded, [this](QTreeWidgetItem* item) {
            controller.RefreshTreeFrom(item, nullptr);
        });
        LoadFolder(controller, shown);
        window.show();
        ASSERT_TRUE(controller.Start());
    }
    bool Selects(const std::string& itemPath) {
        return EventuallyOnLoop([&] { return controller.ItemPath(tree, nullptr) == itemPath; });
    }
    QTreeWidgetItem* At(std::size_t root, const std::vector<std::string>& names) {
        TreeAddress address{root, controller.Locations()[root].path, names};
        return Resolve(*tree, address, controller.Locations());
    }

    TempDir dir;
    const std::string base = dir.Path() + "/";
    QWidget window;
    QTreeWidget* tree = new QTreeWidget(&window);
    QLineEdit* path = new QLineEdit(&window);
    QTreeWidget* eraseList = new QTreeWidget(&window);
    PaneController controller;
    std::vector<std::pair<std::string, std::string>> opened;
};

// Roots nest on Linux: a path belongs to the deepest volume that holds it, component by
// component, and below it names match exactly (case counts).
TEST_F(TreeBrowseTest, SelectPathInTreeTakesTheDeepestVolumeAndExactNames) {
    ASSERT_TRUE(MakeDirs(dir / "home/me/usb/docs"));
    ASSERT_TRUE(MakeDirs(dir / "homework"));
    ASSERT_TRUE(MakeDirs(dir / "home/Me"));
    Start({base, base + "home/", base + "home/me/usb/"}, base);
    ASSERT_TRUE(Selects(base));
    const struct {
        std::string path;
        std::size_t root;
        std::vector<std::string> names;
    } cases[] = {
        {base + "home/me/usb/docs/", 2, {"docs"}},
        {base + "home/me/", 1, {"me"}},
        {base + "home/Me/", 1, {"Me"}},
        {base + "homework/", 0, {"homework"}},
        {base + "home/me/usb/", 2, {}},
    };
    for (const auto& c : cases) {
        controller.SelectPathInTree(tree, c.path);
        ASSERT_TRUE(Selects(c.path)) << c.path;
        EXPECT_EQ(tree->currentItem(), At(c.root, c.names)) << c.path;
    }
    // A name that differs only in case from the one there is not found: nothing changes.
    ASSERT_TRUE(MakeDirs(dir / "home/me/usb/docs/Inner"));
    controller.SelectPathInTree(tree, base + "home/me/usb/docs/inner/");
    controller.SelectPathInTree(tree, base + "home/me/usb/docs/");
    ASSERT_TRUE(Selects(base + "home/me/usb/docs/"));
}

// Expanding an item, or a refresh, gives its children their children (expand buttons). A
// selected folder deleted on disk moves the selection to its nearest parent, but never to a
// volume's root, which stands for its free space: then nothing is selected.
TEST_F(TreeBrowseTest, BranchesFillAsTheyOpenAndLoseWhatIsGone) {
    ASSERT_TRUE(MakeDirs(dir / "a/b/c"));
    ASSERT_TRUE(WriteFile(dir / "a/b/file.txt", "x"));
    Start({base}, base);
    ASSERT_TRUE(Selects(base));
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"a"}) != nullptr; }));
    tree->topLevelItem(0)->setExpanded(true);
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"a", "b"}) != nullptr; }));
    At(0, {"a"})->setExpanded(true);
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"a", "b", "c"}) != nullptr; }));
    EXPECT_NE(At(0, {"a", "b", "file.txt"}), nullptr);
    // A folder made since in an open branch comes with its children after one refresh, so
    // that it shows an expand button when it holds something.
    ASSERT_TRUE(MakeDirs(dir / "a/new/inner"));
    controller.RefreshAll();
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"a", "new", "inner"}) != nullptr; }));
    std::filesystem::remove_all(dir / "a/new");

    // A file in the tree opens through the shell in its folder.
    tree->setCurrentItem(At(0, {"a", "b", "file.txt"}));
    controller.OpenSelection();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], std::make_pair(base + "a/b/file.txt", base + "a/b/"));

    tree->setCurrentItem(At(0, {"a", "b", "c"}));
    ASSERT_TRUE(Selects(base + "a/b/c/"));
    std::filesystem::remove_all(dir / "a/b");
    controller.RefreshAll();
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"a"}) && At(0, {"a"})->childCount() == 0; }));
    EXPECT_EQ(tree->currentItem(), At(0, {"a"}));
    EXPECT_EQ(path->text().toStdString(), base + "a/");

    std::filesystem::remove_all(dir / "a");
    controller.RefreshAll();
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"a"}) == nullptr; }));
    EXPECT_EQ(tree->currentItem(), nullptr);
    EXPECT_TRUE(tree->selectedItems().isEmpty());
    EXPECT_EQ(path->text(), "");
    Focus(*tree);
    controller.AddFocusedSelection();
    EXPECT_TRUE(ErasePaths(controller).empty());
}

// A file picked in the tree stays picked while its branch and its own entry are read again:
// it is a file, not a folder that went. (What Insert and a drag take of a picked file is
// InsertAndDragsTakeTheItemAsTheLocationListSaysWhatItIs's.)
TEST_F(TreeBrowseTest, AFilePickedInTheTreeStaysPicked) {
    ASSERT_TRUE(MakeDirs(dir / "work/job"));
    for (const char* name : {"alpha.bin", "beta.bin"}) {
        ASSERT_TRUE(WriteFile(dir / ("work/job/" + std::string(name)), name));
    }
    ASSERT_EQ(::symlink("nowhere", (dir / "work/job/dangling").c_str()), 0);
    Start({base}, base + "work/job/");
    ASSERT_TRUE(Selects(base + "work/job/"));
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"work", "job", "dangling"}) != nullptr; }));
    for (const char* name : {"alpha.bin", "dangling"}) {
        SCOPED_TRACE(name);
        QTreeWidgetItem* picked = At(0, {"work", "job", name});
        tree->setCurrentItem(picked);
        // Two rounds of reading every shown item again; a new file shows each has ended, and
        // the second began after the first had read the picked entry.
        for (const std::string& added : {std::string(name) + ".1", std::string(name) + ".2"}) {
            ASSERT_TRUE(WriteFile(dir / ("work/job/" + added), "x"));
            controller.RefreshAll();
            ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"work", "job", added}) != nullptr; }));
        }
        EXPECT_EQ(tree->currentItem(), picked);
        EXPECT_EQ(path->text().toStdString(), base + "work/job/" + name);
    }
}

// Volumes that come and go before or after the one holding the pick leave the pick, its
// branch and the path edit as they were; when its own volume goes, nothing is selected.
TEST_F(TreeBrowseTest, VolumesComingAndGoingLeaveThePickUnlessItsOwnWent) {
    ASSERT_TRUE(MakeDirs(dir / "disk/work/sub"));
    ASSERT_TRUE(MakeDirs(dir / "other"));
    auto volumes = std::make_shared<Names>(Names{base + "disk/"});
    Start([volumes] { return FolderVolumes(*volumes)(); }, base + "disk/work/");
    ASSERT_TRUE(Selects(base + "disk/work/"));
    ASSERT_TRUE(EventuallyOnLoop([&] { return At(0, {"work", "sub"}) != nullptr; }));
    QTreeWidgetItem* picked = tree->currentItem();
    int selectionChanges = 0;
    QObject::connect(tree, &QTreeWidget::currentItemChanged, [&] { ++selectionChanges; });
    auto rootsAre = [&](const Names& roots) {
        *volumes = roots;
        return EventuallyOnLoop([&] {
            controller.RefreshLocations();
            const std::vector<Location>& locations = controller.Locations();
            return std::count_if(locations.begin(), locations.end(), [](const Location& l) {
                       return l.kind == LocationKind::Volume;
                   }) == static_cast<long>(roots.size());
        });
    };
    for (const Names& roots :
         {Names{base, base + "disk/"}, Names{base, base + "disk/", base + "other/"},
          Names{base + "disk/", base + "other/"}}) {
        SCOPED_TRACE(roots.size());
        ASSERT_TRUE(rootsAre(roots));
        EXPECT_EQ(tree->currentItem(), picked);
        EXPECT_EQ(selectionChanges, 0);
        EXPECT_TRUE(picked->parent()->isExpanded());  // its branch stays open
        EXPECT_EQ(path->text().toStdString(), base + "disk/work/");
    }
    ASSERT_TRUE(rootsAre({base + "other/"}));
    EXPECT_EQ(tree->currentItem(), nullptr);
    EXPECT_EQ(path->text(), "");
}

// Whether a root stands for a volume's free space is told by its location entry, not its path:
// the home folder on a volume of its own is still a folder under its "Home" root. Insert adds
// the tree's item with its icon and makes its folder recent unless that is a volume's root; a
// drag carries the item pressed, not the one selected.
TEST_F(TreeBrowseTest, InsertAndDragsTakeTheItemAsTheLocationListSaysWhatItIs) {
    ASSERT_TRUE(MakeDirs(dir / "folder"));
    ASSERT_TRUE(WriteFile(dir / "folder/file.txt", "x"));
    const std::string home = std::string(std::getenv("HOME")) + "/";
    const std::string aboveHome = home.substr(0, home.rfind('/', home.size() - 2) + 1);
    test::DropRunner drag;
    controller.SetDragRunner(drag.Runner());
    Start({base, home}, base + "folder/");
    const std::vector<Location>& locations = controller.Locations();
    QTreeWidgetItem* homeRoot = nullptr;  // the special folder, after the volumes
    // The special folders come once the listing worker has looked for them.
    ASSERT_TRUE(EventuallyOnLoop([&] {
        const auto at = std::find_if(locations.begin() + 2, locations.end(),
                                     [&](const Location& l) { return l.path == home; });
        homeRoot = at == locations.end() ? nullptr : tree->topLevelItem(at - locations.begin());
        return At(0, {"folder", "file.txt"}) && homeRoot;
    }));
    for (QTreeWidgetItem* root : {tree->topLevelItem(1), homeRoot}) {
        const bool volume = controller.TreeRootLocation(root)->kind == LocationKind::Volume;
        EXPECT_EQ(volume, root != homeRoot);
        EXPECT_EQ(controller.ItemPath(tree, root), home);
        EXPECT_EQ(controller.ItemFolder(tree, root), volume ? "" : aboveHome);
    }
    const std::string recent = base + "folder/";
    const struct {
        QTreeWidgetItem* item;
        std::string path;  // of the row added
        std::vector<std::string> recent;
    } cases[] = {
        {At(0, {"folder"}), base + "folder", {}},
        {At(0, {"folder", "file.txt"}), base + "folder/file.txt", {recent}},
        {tree->topLevelItem(0), FormatDriveSpec(base), {recent}},
        {tree->topLevelItem(1), FormatDriveSpec(home), {recent}},
        {homeRoot, home.substr(0, home.size() - 1), {aboveHome, recent}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        tree->setCurrentItem(c.item);
        Focus(*tree);
        controller.AddFocusedSelection();
        ASSERT_EQ(ErasePaths(controller).back(), c.path);
        const QTreeWidgetItem& row = *eraseList->topLevelItem(eraseList->topLevelItemCount() - 1);
        EXPECT_EQ(row.icon(0).cacheKey(), c.item->icon(0).cacheKey());
        EXPECT_EQ(row.text(2) == "free space", c.path.back() == ':');
        EXPECT_EQ(controller.State().recentFolders, c.recent);
    }
    controller.BeginTreeDrag(tree, At(0, {"folder", "file.txt"}));
    EXPECT_EQ(drag.BlockNames(), std::vector<std::string>{base + "folder/file.txt"});
}

}  // namespace
}  // namespace tolvane
