// Folder listings: paths, steps, order, patterns, a stop from another thread; and the drive
// rows that stand for a volume's free space.
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
#include "Waiting.h"
#include "items/FileItem.h"
#include "items/FolderLister.h"
#include "platform/Directory.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

using List = std::vector<std::string>;

List Names(const std::vector<FolderEntry>& entries) {
    List names;
    for (const FolderEntry& entry : entries) {
        names.push_back(entry.findData.name);
    }
    return names;
}

TEST(CanonicalFolderPathTest, MatchesTheTextualRule) {
    using C = std::pair<const char*, const char*>;
    for (const auto& [text, expected] :
         {C{"/a/b/../c", "/a/c/"}, C{"\"/My Files/\"", "/My Files/"}, C{"/../../x", "/x/"},
          C{"/a/./b/.", "/a/b/"}, C{"//a///b", "/a/b/"}, C{"nowhere", "nowhere/"}, C{"", ""},
          C{"/a/...", "/a/.../"}, C{"\"", "\"/"}}) {
        EXPECT_EQ(CanonicalFolderPath(text), expected) << text;
    }
}

struct StepCase {
    const char* from;
    const char* name;
    const char* to;
    const char* removed;
};

TEST(FolderListerTest, StepMovesTextually) {
    for (const StepCase& c :
         {StepCase{"/usr/share/doc/", "..", "/usr/share/", "doc/"},
          StepCase{"/usr/", "..", "/", "usr/"}, StepCase{"/", "..", "/", ""},
          StepCase{"nowhere/", "..", "nowhere/", ""}, StepCase{"/usr/", ".", "/usr/", ""},
          StepCase{"/a/", "b c", "/a/b c/", ""}}) {
        SCOPED_TRACE(std::string(c.from) + " " + c.name);
        FolderLister lister;
        ASSERT_TRUE(lister.SetPath(c.from));
        std::string removed = "stale";
        EXPECT_TRUE(lister.Step(c.name, &removed));
        EXPECT_EQ(lister.Path(), c.to);
        EXPECT_EQ(removed, c.removed);
    }
}

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
}

// A lister on a fresh temporary folder.
class ListingTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_lister.SetPath(m_dir.Path())); }
    List Refreshed() {
        m_lister.Refresh();
        return Names(m_lister.Entries());
    }
    // Makes the entries named: folders where the name ends in '/', else empty files.
    void Make(std::initializer_list<std::string> names) {
        for (const std::string& name : names) {
            bool made = name.back() == '/' ? MakeDirs(m_dir / name) : WriteFile(m_dir / name, "");
            ASSERT_TRUE(made) << name;
        }
    }

    TempDir m_dir;
    FolderLister m_lister;
};

TEST_F(ListingTest, EmptyFolderListsOnlyDotDotAndRootHasNone) {
    EXPECT_EQ(Refreshed(), List{".."});
    // With the "." bit set, "." comes too; without the ".." bit, ".." goes.
    m_lister.SetFlags(kListDot | kListDirectories | kListFiles);
    EXPECT_EQ(Refreshed(), List{"."});

    m_lister.SetFlags(kDefaultListFlags);
    ASSERT_TRUE(m_lister.SetPath("/"));
    for (const std::string& name : Refreshed()) {
        EXPECT_NE(name, "..");
    }
}

// "..", then folders, then files, each by name. Byte order would give "Zebra", "apfel",
// "Ärmel", "ärger"; ASCII-only folding would put "Ärmel" before "ärger". ".-x" sorts before
// ".." by name, yet ".." still comes first.
TEST_F(ListingTest, SortsFoldersFirstAndNamesCaseInsensitivelyForUtf8) {
    Make({"\xc3\x84rmel", "Zebra", "\xc3\xa4rger", "apfel", "_x", "\xce\xa9mega", "\xce\xb1lpha",
          "bad\xff", "bad\xc3", ".-x/", "zulu/"});
    EXPECT_EQ(Refreshed(), (List{"..", ".-x", "zulu", "_x", "apfel", "bad\xc3", "bad\xff", "Zebra",
                                 "\xc3\xa4rger", "\xc3\x84rmel", "\xce\xb1lpha", "\xce\xa9mega"}));
    EXPECT_EQ(m_lister.FolderCount(), 3u);
    EXPECT_EQ(m_lister.FileCount(), 9u);
}

// Patterns split at ';' with spaces trimmed; the empty one finds nothing. A file matching
// two patterns is listed twice, equal names keep their order across patterns. Patterns never
// hide folders, and a link to a folder is no folder.
TEST_F(ListingTest, PatternsPickFilesOnly) {
    Make({"x.txt", "X.log", "sub.d/"});
    ASSERT_EQ(::symlink("sub.d", (m_dir / "link").c_str()), 0);
    m_lister.SetPatterns("*.txt ; *.log;");
    EXPECT_EQ(m_lister.Patterns(), (List{"*.txt", "*.log", ""}));
    EXPECT_EQ(Refreshed(), (List{"..", "sub.d", "X.log", "x.txt"}));

    m_lister.SetPatterns("x*;*.txt");
    EXPECT_EQ(Refreshed(), (List{"..", "sub.d", "x.txt", "x.txt"}));
    EXPECT_EQ(m_lister.Total(), 4u);
    m_lister.SetPatterns("*");
    m_lister.SetFlags(kListFiles);
    EXPECT_EQ(Refreshed(), (List{"link", "X.log", "x.txt"}));
}

// Navigate steps in and out; into a folder deleted meanwhile it lands in the nearest parent,
// and with no parent left at all it ends with nothing listed.
TEST_F(ListingTest, NavigateStepsInAndOutOrToTheNearestParent) {
    Make({"sub/gone/deeper/", "sub/f"});
    EXPECT_EQ(Names(m_lister.Navigate("sub")), (List{"..", "gone", "f"}));
    EXPECT_EQ(m_lister.Path(), m_dir / "sub/");
    std::string removed;
    EXPECT_EQ(Names(m_lister.Navigate("..", &removed)), (List{"..", "sub"}));
    EXPECT_EQ(removed, "sub/");
    EXPECT_EQ(m_lister.Path(), m_dir.Path() + "/");

    ASSERT_TRUE(m_lister.SetPath(m_dir / "sub/gone/"));
    std::filesystem::remove_all(m_dir / "sub/gone");
    EXPECT_EQ(Names(m_lister.Navigate("deeper")), (List{"..", "f"}));
    EXPECT_EQ(m_lister.Path(), m_dir / "sub/");

    ASSERT_TRUE(m_lister.SetPath("no-such-location-\x01"));
    EXPECT_TRUE(m_lister.Navigate(".").empty());
    EXPECT_EQ(m_lister.Path(), "no-such-location-\x01/");
    EXPECT_EQ(m_lister.Total(), 0u);
}

TEST_F(ListingTest, StopFromAnotherThreadKeepsAConsistentPartialListing) {
    constexpr std::uint32_t kFiles = 20000;
    {
        UniqueFd folder = OpenDirectory(AT_FDCWD, m_dir.Path());
        ASSERT_TRUE(folder.Valid());
        for (std::uint32_t i = 0; i < kFiles; ++i) {
            int fd = ::openat(folder.Get(), ("f" + std::to_string(i)).c_str(),
                              O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    std::atomic<bool> done{false};
    std::thread worker([&] {
        m_lister.Refresh();
        done = true;
    });
    // Refresh clears older requests when it starts, so keep asking until it has ended.
    EXPECT_TRUE(test::Eventually([&] {
        m_lister.Stop();
        return done.load();
    }));
    worker.join();
    ASSERT_TRUE(m_lister.WasStopped());
    EXPECT_LT(m_lister.Total(), kFiles / 2);
    EXPECT_EQ(m_lister.Total(), m_lister.Entries().size());
    EXPECT_EQ(m_lister.Total(), m_lister.FolderCount() + m_lister.FileCount());

    m_lister.Refresh();  // unstopped, the same folder lists completely
    EXPECT_FALSE(m_lister.WasStopped());
    EXPECT_EQ(m_lister.Total(), kFiles + 1);
}

// A drive row stands for a volume's free space: its full path is the drive spec that an erase
// run takes as free space (VolumesTest parses these specs), never the volume's root folder.
TEST(FileItemTest, DriveRowOfAVolumeRootIsItsDriveSpec) {
    using C = std::pair<const char*, const char*>;
    for (const auto& [volumeRoot, spec] :
         {C{"/", "/:"}, C{"/home/", "/home:"}, C{"/home", "/home:"},
          C{"/media/me/My Disk/", "/media/me/My Disk:"}}) {
        SCOPED_TRACE(volumeRoot);
        const std::optional<FileItem> row = DriveItem(volumeRoot);
        ASSERT_TRUE(row);
        EXPECT_TRUE(row->IsDriveRow());
        EXPECT_EQ(row->folder, "");
        EXPECT_EQ(row->FullPath(), spec);
        EXPECT_EQ(row->findData.name, spec);
    }
    for (const char* notARoot : {"", "home/", ":"}) {
        EXPECT_FALSE(DriveItem(notARoot)) << notARoot;
    }
}

}  // namespace
}  // namespace tolvane
