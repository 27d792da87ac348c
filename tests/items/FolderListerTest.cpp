#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "items/FileItemList.h"
#include "items/FolderLister.h"
#include "platform/Directory.h"

namespace tolvane {
namespace {

using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

std::vector<std::string> Names(const std::vector<FolderEntry>& entries) {
    std::vector<std::string> names;
    for (const FolderEntry& entry : entries) {
        names.push_back(entry.findData.name);
    }
    return names;
}

using Names_ = std::vector<std::string>;

struct CanonicalCase {
    const char* text;
    const char* expected;
};

class CanonicalFolderPathTest : public testing::TestWithParam<CanonicalCase> {};

TEST_P(CanonicalFolderPathTest, MatchesTheTextualRule) {
    EXPECT_EQ(CanonicalFolderPath(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CanonicalFolderPathTest,
    testing::Values(CanonicalCase{"/a/b/../c", "/a/c/"}, CanonicalCase{"/a/b/", "/a/b/"},
                    CanonicalCase{"\"/My Files\"", "/My Files/"},
                    CanonicalCase{"\"/My Files/\"", "/My Files/"}, CanonicalCase{"/..", "/"},
                    CanonicalCase{"/../../x", "/x/"}, CanonicalCase{"/a/./b/.", "/a/b/"},
                    CanonicalCase{"//a///b", "/a/b/"}, CanonicalCase{"/", "/"},
                    CanonicalCase{"nowhere", "nowhere/"}, CanonicalCase{"", ""},
                    CanonicalCase{"/a/...", "/a/.../"}, CanonicalCase{"\"", "\"/"}));

struct StepCase {
    const char* from;
    const char* name;
    const char* to;
    const char* removed;
};

class StepTest : public testing::TestWithParam<StepCase> {};

TEST_P(StepTest, MovesTextually) {
    const StepCase& c = GetParam();
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(c.from));
    std::string removed = "stale";
    EXPECT_TRUE(lister.Step(c.name, &removed));
    EXPECT_EQ(lister.Path(), c.to);
    EXPECT_EQ(removed, c.removed);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, StepTest,
    testing::Values(StepCase{"/usr/share/doc/", "..", "/usr/share/", "doc/"},
                    StepCase{"/usr/", "..", "/", "usr/"}, StepCase{"/", "..", "/", ""},
                    StepCase{"nowhere/", "..", "nowhere/", ""}, StepCase{"/usr/", ".", "/usr/", ""},
                    StepCase{"/", "tmp", "/tmp/", ""}, StepCase{"/a/", "b c", "/a/b c/", ""}));

TEST(FolderListerTest, OverlongPathsAreRefusedAndLeaveThePath) {
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath("/a/"));
    std::string longName(kMaxFolderPathLength, 'x');
    EXPECT_FALSE(lister.SetPath("/" + longName));
    EXPECT_EQ(lister.Path(), "/a/");
    EXPECT_FALSE(lister.Step(longName));
    EXPECT_EQ(lister.Path(), "/a/");
    // Exactly the limit, trailing separator included, is still accepted.
    EXPECT_TRUE(lister.SetPath("/" + std::string(kMaxFolderPathLength - 2, 'y')));
    EXPECT_EQ(lister.Path().size(), kMaxFolderPathLength);
}

TEST(FolderListerTest, StartsInTheCurrentDirectory) {
    TempDir dir;
    char* saved = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    FolderLister lister;
    EXPECT_EQ(::chdir(saved), 0);
    std::free(saved);
    EXPECT_EQ(lister.Path(), dir.Path() + "/");
    EXPECT_EQ(lister.Patterns(), Names_{"*.*"});
    EXPECT_EQ(lister.Flags(), 28u);
}

TEST(FolderListerTest, EmptyFolderListsOnlyDotDotAndRootHasNone) {
    TempDir dir;
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir.Path()));
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()), Names_{".."});
    EXPECT_EQ(lister.FolderCount(), 1u);
    EXPECT_EQ(lister.Total(), 1u);

    // With the "." bit set, "." comes too; without the ".." bit, ".." goes.
    lister.SetFlags(kListDot | kListDirectories | kListFiles);
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()), Names_{"."});

    lister.SetFlags(kDefaultListFlags);
    ASSERT_TRUE(lister.SetPath("/"));
    lister.Refresh();
    for (const FolderEntry& entry : lister.Entries()) {
        EXPECT_NE(entry.findData.name, "..");
    }
}

TEST(FolderListerTest, SortsDotDotThenFoldersThenFilesByName) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "b.txt", ""));
    ASSERT_TRUE(MakeDirs(dir / "A"));
    ASSERT_TRUE(WriteFile(dir / "a.txt", ""));
    ASSERT_TRUE(MakeDirs(dir / "Zeta"));
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir.Path()));
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()), (Names_{"..", "A", "Zeta", "a.txt", "b.txt"}));
    EXPECT_EQ(lister.FolderCount(), 3u);
    EXPECT_EQ(lister.FileCount(), 2u);
    for (const FolderEntry& entry : lister.Entries()) {
        EXPECT_EQ(entry.tag, 0);
    }
}

TEST(FolderListerTest, NameOrderIsCaseInsensitiveForUtf8) {
    TempDir dir;
    // Byte order would give "Zebra", "apfel", "Ärmel", "ärger"; ASCII-only folding would
    // put "Ärmel" before "ärger".
    for (const char* name : {"\xc3\x84rmel", "Zebra", "\xc3\xa4rger", "apfel", "_x", "\xce\xa9mega",
                             "\xce\xb1lpha", "bad\xff", "bad\xc3"}) {
        ASSERT_TRUE(WriteFile(dir / name, "")) << name;
    }
    // ".-x" sorts before ".." by name, yet ".." still comes first.
    ASSERT_TRUE(MakeDirs(dir / ".-x"));
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir.Path()));
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()),
              (Names_{"..", ".-x", "_x", "apfel", "bad\xc3", "bad\xff", "Zebra", "\xc3\xa4rger",
                      "\xc3\x84rmel", "\xce\xb1lpha", "\xce\xa9mega"}));
}

TEST(FolderListerTest, EqualNamesKeepListingOrderAcrossPatterns) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "x.txt", ""));
    ASSERT_TRUE(WriteFile(dir / "X.log", ""));
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir.Path()));
    lister.SetPatterns("*.txt ; *.log;");
    EXPECT_EQ(lister.Patterns(), (Names_{"*.txt", "*.log", ""}));
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()), (Names_{"..", "X.log", "x.txt"}));
    EXPECT_EQ(lister.FileCount(), 2u);  // the empty pattern found nothing

    lister.SetPatterns("x*;*.txt");  // x.txt matches both
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()), (Names_{"..", "x.txt", "x.txt"}));
    EXPECT_EQ(lister.Total(), 3u);
}

TEST(FolderListerTest, PatternsNeverHideFoldersAndLinksAreNotFolders) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "sub.d"));
    ASSERT_TRUE(WriteFile(dir / "notes.md", ""));
    ASSERT_EQ(::symlink("sub.d", (dir / "link").c_str()), 0);
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir.Path()));
    lister.SetPatterns("*.txt");
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()), (Names_{"..", "sub.d"}));
    lister.SetPatterns("*");
    lister.SetFlags(kListFiles);
    lister.Refresh();
    EXPECT_EQ(Names(lister.Entries()), (Names_{"link", "notes.md"}));
}

TEST(FolderListerTest, NavigateStepsInAndOut) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "sub"));
    ASSERT_TRUE(WriteFile(dir / "sub/f", ""));
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir.Path()));
    EXPECT_EQ(Names(lister.Navigate("sub")), (Names_{"..", "f"}));
    EXPECT_EQ(lister.Path(), dir.Path() + "/sub/");
    std::string removed;
    EXPECT_EQ(Names(lister.Navigate("..", &removed)), (Names_{"..", "sub"}));
    EXPECT_EQ(removed, "sub/");
    EXPECT_EQ(lister.Path(), dir.Path() + "/");
    EXPECT_EQ(Names(lister.Reload()), (Names_{"..", "sub"}));
}

TEST(FolderListerTest, NavigateIntoADeletedFolderLandsInTheNearestParent) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "keep/gone/deeper"));
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir / "keep/gone/"));
    std::filesystem::remove_all(dir / "keep/gone");
    const auto& entries = lister.Navigate("deeper");
    EXPECT_EQ(lister.Path(), dir.Path() + "/keep/");
    EXPECT_EQ(Names(entries), Names_{".."});
}

TEST(FolderListerTest, NavigateWithNothingToClimbToEndsEmpty) {
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath("no-such-location-\x01"));
    EXPECT_TRUE(lister.Navigate(".").empty());
    EXPECT_EQ(lister.Path(), "no-such-location-\x01/");
    EXPECT_EQ(lister.Total(), 0u);
}

TEST(FolderListerTest, StopFromAnotherThreadKeepsAConsistentPartialListing) {
    TempDir dir;
    constexpr int kFiles = 100000;
    {
        UniqueFd folder = OpenDirectory(AT_FDCWD, dir.Path());
        ASSERT_TRUE(folder.Valid());
        for (int i = 0; i < kFiles; ++i) {
            int fd = ::openat(folder.Get(), ("f" + std::to_string(i)).c_str(),
                              O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    FolderLister lister;
    ASSERT_TRUE(lister.SetPath(dir.Path()));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        lister.Refresh();
        done = true;
    });
    // Refresh clears older requests when it starts, so keep asking until it has ended.
    while (!done) {
        lister.Stop();
        std::this_thread::yield();
    }
    worker.join();
    ASSERT_TRUE(lister.WasStopped());
    EXPECT_LT(lister.Entries().size(), static_cast<std::size_t>(kFiles + 1));
    EXPECT_EQ(lister.Total(), lister.Entries().size());
    EXPECT_EQ(lister.Total(), lister.FolderCount() + lister.FileCount());

    // Unstopped, the same folder lists completely.
    lister.Refresh();
    EXPECT_FALSE(lister.WasStopped());
    EXPECT_EQ(lister.Total(), static_cast<std::uint32_t>(kFiles + 1));
}

TEST(FileItemListTest, CursorWalksInOrderAndStaysAtTheEnd) {
    FileItemList list;
    EXPECT_TRUE(list.AtEnd());
    FileItem item;
    item.folder = "/a/";
    for (const char* name : {"x", "y"}) {
        item.name = name;
        list.PushBack(item);
    }
    EXPECT_TRUE(list.AtEnd());  // appending does not move a cursor that is at the end
    std::vector<std::string> paths;
    for (list.Begin(); !list.AtEnd(); list.Next()) {
        paths.push_back(list.Current().FullPath());
    }
    EXPECT_EQ(paths, (Names_{"/a/x", "/a/y"}));

    FileItemList copy;
    copy = list;
    list.Clear();
    EXPECT_TRUE(list.AtEnd());
    list.Begin();
    EXPECT_TRUE(list.AtEnd());
    copy.Begin();
    ASSERT_FALSE(copy.AtEnd());
    EXPECT_EQ(copy.Current().name, "x");
    EXPECT_EQ(copy.Size(), 2u);
}

}  // namespace
}  // namespace tolvane
