// The traversal: item order, folders, patterns, links, mounts, cancel and deep trees, seen
// through a walker that records every call.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "LoopImage.h"
#include "TempDir.h"
#include "WalkTestHelpers.h"
#include "engine/SizeCounter.h"

namespace tolvane::test {
namespace {

using Log = std::vector<std::string>;

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// dir/ a.txt, .x (hidden), empty/, sub/ b.txt, sub/deeper/ c
void MakeTree(const TempDir& temp) {
    ASSERT_TRUE(MakeDirs(temp / "dir/empty"));
    ASSERT_TRUE(MakeDirs(temp / "dir/sub/deeper"));
    ASSERT_TRUE(WriteFile(temp / "dir/a.txt", "0123456789"));
    ASSERT_TRUE(WriteFile(temp / "dir/.x", "abc"));
    ASSERT_TRUE(WriteFile(temp / "dir/sub/b.txt", "12345"));
    ASSERT_TRUE(WriteFile(temp / "dir/sub/deeper/c", "1"));
}

// What a walk of dir visits between its own enter and leave, in some order.
Log TreeEntries(const TempDir& temp) {
    const std::string d = temp / "dir/";
    return Sorted({"enter " + d + "empty/", "leave " + d + "empty/", "file " + d + "a.txt",
                   "file " + d + ".x", "enter " + d + "sub/", "leave " + d + "sub/",
                   "file " + d + "sub/b.txt", "enter " + d + "sub/deeper/",
                   "leave " + d + "sub/deeper/", "file " + d + "sub/deeper/c"});
}

TEST(ItemWalker, VisitsDriveFolderAndFileInListOrder) {
    TempDir temp;
    MakeTree(temp);
    ASSERT_TRUE(WriteFile(temp / "file", "data"));
    LoopImage image(temp / "img", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string drive = image.MountPoint() + ":";

    EraseItemList items = MakeItems({drive, temp / "dir", temp / "file"});
    RecordingWalker walker;
    walker.SetItems(&items);
    walker.Walk();
    Log log = walker.Log();

    // drive item, folder item (begin, enter, 10 subtree calls, leave, end), file item, finish
    ASSERT_EQ(log.size(), 3u + 14u + 3u + 1u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 5),
              (Log{"begin " + drive, "drive " + drive, "end " + drive, "begin " + temp / "dir",
                   "enter " + temp / "dir/"}));
    EXPECT_EQ(walker.calls[1].volumeRoot, image.MountPoint() + "/");
    EXPECT_EQ(Sorted(Log(log.begin() + 5, log.begin() + 15)), TreeEntries(temp));
    EXPECT_EQ(Log(log.begin() + 15, log.end()),
              (Log{"leave " + temp / "dir/", "end " + temp / "dir", "begin " + temp / "file",
                   "file " + temp / "file", "end " + temp / "file", "finish"}));
    EXPECT_EQ(NestingError(walker.calls), "");
}

TEST(ItemWalker, HiddenEntriesAndEmptyFoldersAreWalked) {
    TempDir temp;
    MakeTree(temp);
    RecordingWalker walker;
    EraseItemList items = MakeItems({temp / "dir"});
    walker.SetItems(&items);
    walker.Walk();
    const auto files = walker.Calls("file");
    auto hidden = std::find_if(files.begin(), files.end(),
                               [&](const WalkCall& c) { return c.path == temp / "dir/.x"; });
    ASSERT_NE(hidden, files.end());
    EXPECT_TRUE(hidden->entry.attributes & kAttrHidden);
    EXPECT_EQ(hidden->entry.size, 3u);
    EXPECT_EQ(hidden->entry.name, ".x");
}

TEST(ItemWalker, TrailingSeparatorOnAFolderItemChangesNothing) {
    TempDir temp;
    MakeTree(temp);
    auto withoutItemLines = [](Log log) {
        log.erase(std::remove_if(log.begin(), log.end(),
                                 [](const std::string& line) {
                                     return line.rfind("begin ", 0) == 0 ||
                                            line.rfind("end ", 0) == 0;
                                 }),
                  log.end());
        return log;
    };
    const Log plain = withoutItemLines(WalkLog({temp / "dir"}));
    EXPECT_EQ(plain.size(), 13u);
    EXPECT_EQ(withoutItemLines(WalkLog({temp / "dir/"})), plain);
    EXPECT_EQ(withoutItemLines(WalkLog({temp / "dir//"})), plain);
}

TEST(ItemWalker, PathsNamingNothingReachOnlyItemBeginAndEnd) {
    TempDir temp;
    MakeTree(temp);
    for (const std::string& path :
         {temp / "missing", temp / "missing/", temp / "missing/*.txt", temp / "dir/nothing"}) {
        EXPECT_EQ(WalkLog({path}), (Log{"begin " + path, "end " + path, "finish"})) << path;
    }
    EXPECT_EQ(WalkLog({""}), Log{"finish"});
    EXPECT_EQ(WalkLog({}), Log{"finish"});
}

// --- file patterns ---------------------------------------------------------------------

struct PatternCase {
    std::string pattern;
    std::vector<std::string> files;  // names in p/ that the item visits
};

class ItemWalkerPattern : public testing::TestWithParam<PatternCase> {};

TEST_P(ItemWalkerPattern, VisitsMatchingFilesOfOneFolderOnly) {
    TempDir temp;
    const std::string p = temp / "p/";
    ASSERT_TRUE(MakeDirs(p));
    for (const char* name : {"a.txt", "b.txt", "c.log", "noext", ".h.txt", "a*b", "axb"}) {
        ASSERT_TRUE(WriteFile(p + name, name)) << name;
    }
    ASSERT_TRUE(MakeDirs(p + "e.txt"));  // a folder that matches most patterns
    ASSERT_TRUE(WriteFile(p + "e.txt/f.txt", "f"));
    ASSERT_TRUE(MakeDirs(p + "sub"));
    ASSERT_TRUE(WriteFile(p + "sub/g.txt", "g"));

    const std::string item = p + GetParam().pattern;
    RecordingWalker walker;
    EraseItemList items = MakeItems({item});
    walker.SetItems(&items);
    walker.Walk();

    Log expected{"begin " + item};
    std::vector<std::string> visited;
    for (const WalkCall& call : walker.calls) {
        if (call.kind == "file") {
            visited.push_back(call.path);
            EXPECT_EQ(call.entry.name, call.path.substr(p.size()));
        }
    }
    std::vector<std::string> wanted;
    for (const std::string& name : GetParam().files) {
        wanted.push_back(p + name);
    }
    EXPECT_EQ(Sorted(visited), Sorted(wanted));
    EXPECT_TRUE(walker.Calls("enter").empty());
    EXPECT_EQ(walker.calls.front().kind, "begin");
    EXPECT_EQ(walker.calls[walker.calls.size() - 2].kind, "end");
    EXPECT_EQ(walker.calls.back().kind, "finish");
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, ItemWalkerPattern,
    testing::Values(PatternCase{"*.txt", {"a.txt", "b.txt", ".h.txt"}},
                    // "*.*" also matches names without a dot
                    PatternCase{"*.*",
                                {"a.txt", "b.txt", "c.log", "noext", ".h.txt", "a*b", "axb"}},
                    PatternCase{"*", {"a.txt", "b.txt", "c.log", "noext", ".h.txt", "a*b", "axb"}},
                    PatternCase{"?.txt", {"a.txt", "b.txt"}}, PatternCase{"no*", {"noext"}},
                    PatternCase{"*.zip", {}},
                    // an existing name is that entry alone, even with '*' in it
                    PatternCase{"a*b", {"a*b"}},
                    // a pattern that names nothing matches as a pattern
                    PatternCase{"a?b", {"a*b", "axb"}}),
    [](const testing::TestParamInfo<PatternCase>& info) {
        return "Case" + std::to_string(info.index);
    });

// --- cancel ------------------------------------------------------------------------------

struct CancelCase {
    std::string name;
    std::string item;         // relative to the temp folder
    std::string cancelAfter;  // the file whose OnFile cancels (relative)
    Log leavesAfter;          // the leave calls the unwinding makes (relative)
};

class ItemWalkerCancel : public testing::TestWithParam<CancelCase> {};

TEST_P(ItemWalkerCancel, StopsAtOnceAndStillFinishesOnce) {
    TempDir temp;
    MakeTree(temp);
    ASSERT_TRUE(WriteFile(temp / "file", "data"));
    const CancelCase& c = GetParam();
    EraseItemList items = MakeItems({temp / c.item, temp / "file"});
    RecordingWalker walker;
    walker.onFile = [&](RecordingWalker& w, const std::string& path) {
        if (path == temp / c.cancelAfter) {
            w.RequestCancel();
        }
    };
    walker.SetItems(&items);
    walker.Walk();

    const Log log = walker.Log();
    auto cancelled = std::find(log.begin(), log.end(), "file " + temp / c.cancelAfter);
    ASSERT_NE(cancelled, log.end());
    Log rest(cancelled + 1, log.end());
    Log expected;
    for (const std::string& leave : c.leavesAfter) {
        expected.push_back("leave " + temp / leave);
    }
    expected.push_back("finish");
    EXPECT_EQ(rest, expected);  // no further entries, no OnItemEnd, no further items
    EXPECT_EQ(std::count(log.begin(), log.end(), "finish"), 1);
    EXPECT_TRUE(walker.IsCancelled());
}

INSTANTIATE_TEST_SUITE_P(Cancel, ItemWalkerCancel,
                         testing::Values(CancelCase{"DeepInAFolder",
                                                    "dir",
                                                    "dir/sub/deeper/c",
                                                    {"dir/sub/deeper/", "dir/sub/", "dir/"}},
                                         CancelCase{"InAPattern", "dir/*.*", "dir/a.txt", {}},
                                         CancelCase{"OnAFileItem", "dir/a.txt", "dir/a.txt", {}}),
                         [](const testing::TestParamInfo<CancelCase>& info) {
                             return info.param.name;
                         });

// --- symbolic links ----------------------------------------------------------------------

class ItemWalkerLinks : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirs(m_temp / "outside/inner"));
        ASSERT_TRUE(WriteFileOfSize(m_temp / "outside/big.bin", 5000));
        ASSERT_TRUE(WriteFileOfSize(m_temp / "outside.bin", 7000));
        ASSERT_TRUE(MakeDirs(m_temp / "links"));
        ASSERT_EQ(::symlink("../outside", (m_temp / "links/todir").c_str()), 0);
        ASSERT_EQ(::symlink("../outside.bin", (m_temp / "links/tofile").c_str()), 0);
        ASSERT_EQ(::symlink("nowhere", (m_temp / "links/dangling").c_str()), 0);
    }
    TempDir m_temp;
};

TEST_F(ItemWalkerLinks, LinksInAFolderAreFilesAndTheirTargetsAreNotVisited) {
    RecordingWalker walker;
    EraseItemList items = MakeItems({m_temp / "links"});
    walker.SetItems(&items);
    walker.Walk();

    EXPECT_EQ(walker.Calls("enter").size(), 1u);  // the folder item only
    std::map<std::string, WalkCall> files;
    for (const WalkCall& call : walker.Calls("file")) {
        files[call.path] = call;
    }
    ASSERT_EQ(files.size(), 3u);
    const std::map<std::string, std::size_t> targets{
        {"todir", 10}, {"tofile", 14}, {"dangling", 7}};  // the link text's length
    for (const auto& [name, length] : targets) {
        const WalkCall& call = files[m_temp / ("links/" + name)];
        EXPECT_TRUE(S_ISLNK(call.entry.mode)) << name;
        EXPECT_FALSE(call.entry.IsDirectory()) << name;
        EXPECT_EQ(call.entry.size, length) << name;
    }
    for (const WalkCall& call : walker.calls) {
        EXPECT_EQ(call.path.find("outside"), std::string::npos) << call.path;
    }

    SizeCounter counter;
    counter.SetItems(&items);
    counter.Walk();
    EXPECT_EQ(counter.Count(), 4);
    EXPECT_EQ(counter.Bytes(), 0u);  // neither the targets nor the link texts are overwritten
}

class ItemWalkerLinkItem : public ItemWalkerLinks,
                           public testing::WithParamInterface<std::string> {};

TEST_P(ItemWalkerLinkItem, ALinkGivenAsTheItemIsAFileEntry) {
    const std::string item = m_temp / GetParam();
    std::string path = item;
    while (path.back() == '/') {
        path.pop_back();
    }
    RecordingWalker walker;
    EraseItemList items = MakeItems({item});
    walker.SetItems(&items);
    walker.Walk();
    ASSERT_EQ(walker.Log(), (Log{"begin " + item, "file " + path, "end " + item, "finish"}));
    EXPECT_TRUE(S_ISLNK(walker.calls[1].entry.mode));
}

INSTANTIATE_TEST_SUITE_P(Links, ItemWalkerLinkItem,
                         testing::Values("links/todir", "links/todir/", "links/tofile",
                                         "links/dangling"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return "Case" + std::to_string(info.index);
                         });

// --- mounts below a folder item ------------------------------------------------------

TEST(ItemWalker, DoesNotEnterBindOrLoopMountsBelowAFolderItem) {
    TempDir temp;
    ASSERT_TRUE(MakeDirs(temp / "src/inner"));
    ASSERT_TRUE(WriteFile(temp / "src/secret.txt", "bound"));
    ASSERT_TRUE(MakeDirs(temp / "m/bound"));
    ASSERT_TRUE(WriteFile(temp / "m/x", "12345"));
    LoopImage image(temp / "m/img", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    ASSERT_TRUE(WriteFile(image.MountPoint() + "/inside.txt", "on the image"));
    BindMount bind(temp / "src", temp / "m/bound");
    if (!bind.Mounted()) {
        GTEST_SKIP() << "bind mount not available: " << bind.SkipReason();
    }
    ASSERT_TRUE(Exists(temp / "m/bound/secret.txt"));

    RecordingWalker walker;
    EraseItemList items = MakeItems({temp / "m"});
    walker.SetItems(&items);
    walker.Walk();
    const std::string m = temp / "m/";
    EXPECT_EQ(Sorted(walker.Log()),
              Sorted({"begin " + temp / "m", "enter " + m, "file " + m + "x", "enter " + m + "img/",
                      "file " + image.ImagePath(), "leave " + m + "img/", "leave " + m,
                      "end " + temp / "m", "finish"}));
    EXPECT_EQ(NestingError(walker.calls), "");

    SizeCounter counter;
    counter.SetItems(&items);
    counter.Walk();
    EXPECT_EQ(counter.Count(), 4);
    EXPECT_EQ(counter.Bytes(), 5u + 64u * 1024 * 1024);
}

// --- depth ---------------------------------------------------------------------------

TEST(ItemWalker, CountsATreeDeeperThanPathMax) {
    TempDir temp;
    constexpr int kLevels = 300;
    const std::string name = "folder-name-of-20-ch";
    ASSERT_TRUE(MakeDirs(temp / "deep"));
    struct Cleanup {
        std::string root, name;
        ~Cleanup() { RemoveChain(root, name, kLevels, "bottom.bin"); }
    } cleanup{temp / "deep", name};
    ASSERT_TRUE(MakeChain(temp / "deep", name, kLevels, "bottom.bin", 123));

    RecordingWalker walker;
    EraseItemList items = MakeItems({temp / "deep"});
    walker.SetItems(&items);
    walker.Walk();
    EXPECT_EQ(walker.Calls("enter").size(), 301u);
    EXPECT_EQ(walker.Calls("leave").size(), 301u);
    const auto files = walker.Calls("file");
    ASSERT_EQ(files.size(), 1u);
    std::string expected = temp / "deep/";
    for (int level = 0; level < kLevels; ++level) {
        expected += name + "/";
    }
    expected += "bottom.bin";
    EXPECT_EQ(files[0].path, expected);
    EXPECT_GT(files[0].path.size(), 4096u);
    EXPECT_EQ(NestingError(walker.calls), "");

    SizeCounter counter;
    counter.SetItems(&items);
    counter.Walk();
    EXPECT_EQ(counter.Count(), 302);  // the folder item, 300 levels, the file
    EXPECT_EQ(counter.Bytes(), 123u);
}

// --- the system root -----------------------------------------------------------------

// VisitItem checks for the system root before it opens anything, so these items cost a
// statx of "/" and nothing more. stopOnAnyEntry bounds the damage should that ever change.
TEST(ItemWalker, RefusesTheSystemRootAsAFolderItem) {
    for (const std::string root : {"/", "//", "/."}) {
        EraseItemList items = MakeItems({root});
        RecordingWalker walker;
        walker.stopOnAnyEntry = true;
        walker.SetItems(&items);
        walker.Walk();
        EXPECT_EQ(walker.Log(), (Log{"begin " + root, "refused " + root, "end " + root, "finish"}));
    }
}

}  // namespace
}  // namespace tolvane::test
