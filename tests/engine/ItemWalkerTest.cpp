// The traversal and the size count: item order, folders, patterns, links, mounts, cancel and
// deep trees, seen through a walker that records every call.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "EngineTestHelpers.h"
#include "LoopImage.h"
#include "TempDir.h"
#include "platform/Volumes.h"

namespace tolvane::test {
namespace {

using Log = std::vector<std::string>;
using Counts = std::pair<std::int32_t, std::uint64_t>;

Log Sorted(Log lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// dir/ a.txt, .x (hidden), empty/, sub/ b.txt, sub/deeper/ c; and a lone file
void MakeTree(const TempDir& temp) {
    ASSERT_TRUE(MakeDirs(temp / "dir/empty"));
    ASSERT_TRUE(MakeDirs(temp / "dir/sub/deeper"));
    ASSERT_TRUE(WriteFile(temp / "dir/a.txt", "0123456789"));
    ASSERT_TRUE(WriteFile(temp / "dir/.x", "abc"));
    ASSERT_TRUE(WriteFile(temp / "dir/sub/b.txt", "12345"));
    ASSERT_TRUE(WriteFile(temp / "dir/sub/deeper/c", "1"));
    ASSERT_TRUE(WriteFile(temp / "file", "data"));
}

TEST(ItemWalker, VisitsDriveFolderAndFileInListOrder) {
    TempDir temp;
    MakeTree(temp);
    LoopImage image(temp / "img", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string drive = image.MountPoint() + ":";
    const std::string d = temp / "dir/";

    RecordingWalker walker({drive, temp / "dir", temp / "file"});
    walker.Walk();
    const Log log = walker.Log();
    // drive item, folder item (begin, enter, 10 subtree calls, leave, end), file item, finish
    ASSERT_EQ(log.size(), 3u + 14u + 3u + 1u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 5),
              (Log{"begin " + drive, "drive " + drive, "end " + drive, "begin " + temp / "dir",
                   "enter " + d}));
    EXPECT_EQ(walker.calls[1].volumeRoot, image.MountPoint() + "/");
    EXPECT_EQ(Sorted(Log(log.begin() + 5, log.begin() + 15)),
              Sorted({"enter " + d + "empty/", "leave " + d + "empty/", "file " + d + "a.txt",
                      "file " + d + ".x", "enter " + d + "sub/", "leave " + d + "sub/",
                      "file " + d + "sub/b.txt", "enter " + d + "sub/deeper/",
                      "leave " + d + "sub/deeper/", "file " + d + "sub/deeper/c"}));
    EXPECT_EQ(Log(log.begin() + 15, log.end()),
              (Log{"leave " + d, "end " + temp / "dir", "begin " + temp / "file",
                   "file " + temp / "file", "end " + temp / "file", "finish"}));
    EXPECT_EQ(NestingError(walker.calls), "");
}

TEST(ItemWalker, TrailingSeparatorChangesNothingAndMissingPathsOnlyBeginAndEnd) {
    TempDir temp;
    MakeTree(temp);
    auto withoutItemLines = [](Log log) {
        std::erase_if(log, [](const std::string& line) {
            return line.starts_with("begin ") || line.starts_with("end ");
        });
        return log;
    };
    const Log plain = withoutItemLines(WalkLog({temp / "dir"}));
    EXPECT_EQ(plain.size(), 13u);
    EXPECT_EQ(withoutItemLines(WalkLog({temp / "dir/"})), plain);
    EXPECT_EQ(withoutItemLines(WalkLog({temp / "dir//"})), plain);

    for (const std::string& path :
         {temp / "missing", temp / "missing/", temp / "missing/*.txt", temp / "dir/nothing"}) {
        EXPECT_EQ(WalkLog({path}), (Log{"begin " + path, "end " + path, "finish"})) << path;
    }
    EXPECT_EQ(WalkLog({""}), Log{"finish"});
    EXPECT_EQ(WalkLog({}), Log{"finish"});
}

// Part of the tree above; entries and bytes, a folder counting itself.
TEST(SizeCounter, AddsFoldersFilesAndBytesOfEveryItem) {
    TempDir temp;
    MakeTree(temp);
    const struct {
        std::vector<std::string> items;  // relative to the temp folder
        Counts counts;
    } cases[] = {
        {{"dir"}, {8, 19}},
        {{"dir/"}, {8, 19}},
        {{"dir/empty"}, {1, 0}},
        {{"dir/a.txt"}, {1, 10}},
        {{"dir/*.*"}, {2, 13}},  // the files of dir only
        {{"nothing"}, {0, 0}},
        {{"nothing/*.txt"}, {0, 0}},
        {{"dir/sub", "dir/sub/b.txt"}, {5, 11}},  // listed twice, counted twice
    };
    for (const auto& c : cases) {
        std::vector<std::string> paths;
        for (const std::string& item : c.items) {
            paths.push_back(temp / item);
        }
        EXPECT_EQ(CountItems(paths), c.counts) << c.items[0];
    }

    LoopImage image(temp / "img", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::uint64_t free = FreeBytes(image.MountPoint() + "/");
    ASSERT_GT(free, 0u);
    for (const std::string& spec : {image.MountPoint() + ":", image.MountPoint() + "/:"}) {
        EXPECT_EQ(CountItems({spec}), Counts(1, free)) << spec;  // one entry, the free bytes
    }
}

// --- file patterns ---------------------------------------------------------------------

TEST(ItemWalker, PatternsVisitMatchingFilesOfOneFolderOnly) {
    TempDir temp;
    const std::string p = temp / "p/";
    const std::vector<std::string> all{"a.txt", "b.txt", "c.log", "noext", ".h.txt", "a*b", "axb"};
    ASSERT_TRUE(MakeDirs(p + "sub"));
    for (const std::string& name : all) {
        ASSERT_TRUE(WriteFile(p + name, name)) << name;
    }
    ASSERT_TRUE(WriteFile(p + "sub/g.txt", "g"));
    ASSERT_TRUE(MakeDirs(p + "e.txt"));  // a folder that matches most patterns
    ASSERT_TRUE(WriteFile(p + "e.txt/f.txt", "f"));

    const struct {
        std::string pattern;
        std::vector<std::string> files;  // names in p/ that the item visits
    } cases[] = {
        {"*.txt", {"a.txt", "b.txt", ".h.txt"}},
        {"*.*", all},  // also names without a dot
        {"*", all},
        {"?.txt", {"a.txt", "b.txt"}},
        {"no*", {"noext"}},
        {"*.zip", {}},
        {"a*b", {"a*b"}},         // an existing name is that entry alone, even with '*' in it
        {"a?b", {"a*b", "axb"}},  // a pattern that names nothing matches as a pattern
    };
    for (const auto& c : cases) {
        const std::string item = p + c.pattern;
        RecordingWalker walker({item});
        walker.Walk();
        Log visited;
        for (const WalkCall& call : walker.Calls("file")) {
            visited.push_back(call.path.substr(p.size()));
            EXPECT_EQ(call.entry.name, visited.back());
        }
        EXPECT_EQ(Sorted(visited), Sorted(c.files)) << c.pattern;
        EXPECT_TRUE(walker.Calls("enter").empty()) << c.pattern;
        const Log log = walker.Log();
        EXPECT_EQ(Log(log.end() - 2, log.end()), (Log{"end " + item, "finish"})) << c.pattern;
    }
}

// --- cancel ------------------------------------------------------------------------------

TEST(ItemWalker, CancelStopsAtOnceAndStillFinishesOnce) {
    TempDir temp;
    MakeTree(temp);
    const struct {
        std::string item;         // relative to the temp folder
        std::string cancelAfter;  // the file whose OnFile cancels (relative)
        Log leavesAfter;          // the leave calls the unwinding makes (relative)
    } cases[] = {
        {"dir", "dir/sub/deeper/c", {"dir/sub/deeper/", "dir/sub/", "dir/"}},
        {"dir/*.*", "dir/a.txt", {}},
        {"dir/a.txt", "dir/a.txt", {}},
    };
    for (const auto& c : cases) {
        RecordingWalker walker({temp / c.item, temp / "file"});
        walker.onFile = [&](RecordingWalker& w, const std::string& path) {
            if (path == temp / c.cancelAfter) {
                w.RequestCancel();
            }
        };
        walker.Walk();
        const Log log = walker.Log();
        auto cancelled = std::find(log.begin(), log.end(), "file " + temp / c.cancelAfter);
        ASSERT_NE(cancelled, log.end()) << c.item;
        Log expected;
        for (const std::string& leave : c.leavesAfter) {
            expected.push_back("leave " + temp / leave);
        }
        expected.push_back("finish");
        // no further entries, no OnItemEnd, no further items, one OnFinish
        EXPECT_EQ(Log(cancelled + 1, log.end()), expected) << c.item;
        EXPECT_EQ(std::count(log.begin(), log.end(), "finish"), 1);
    }
}

// --- symbolic links ----------------------------------------------------------------------

TEST(ItemWalker, LinksAreFileEntriesAndTheirTargetsAreNeitherVisitedNorCounted) {
    TempDir temp;
    ASSERT_TRUE(MakeDirs(temp / "outside/inner"));
    ASSERT_TRUE(WriteFileOfSize(temp / "outside/big.bin", 5000));
    ASSERT_TRUE(WriteFileOfSize(temp / "outside.bin", 7000));
    ASSERT_TRUE(MakeDirs(temp / "links"));
    const std::map<std::string, std::string> links{
        {"todir", "../outside"}, {"tofile", "../outside.bin"}, {"dangling", "nowhere"}};
    for (const auto& [name, target] : links) {
        ASSERT_EQ(::symlink(target.c_str(), (temp / ("links/" + name)).c_str()), 0);
    }

    // In a folder item.
    RecordingWalker walker({temp / "links"});
    walker.Walk();
    EXPECT_EQ(walker.Calls("enter").size(), 1u);  // the folder item only
    std::map<std::string, FindData> files;
    for (const WalkCall& call : walker.Calls("file")) {
        files[call.path] = call.entry;
    }
    ASSERT_EQ(files.size(), 3u);
    for (const auto& [name, target] : links) {
        const FindData& entry = files[temp / ("links/" + name)];
        EXPECT_TRUE(S_ISLNK(entry.mode)) << name;
        EXPECT_FALSE(entry.IsDirectory()) << name;
        EXPECT_EQ(entry.size, target.size()) << name;  // the link's own, not its target's
    }
    for (const WalkCall& call : walker.calls) {
        EXPECT_EQ(call.path.find("outside"), std::string::npos) << call.path;
    }
    EXPECT_EQ(CountItems({temp / "links"}), Counts(4, 0));

    // As the item itself, also with the separator a shell's completion adds.
    for (const std::string item : {"todir", "todir/", "tofile", "dangling"}) {
        const std::string path = temp / ("links/" + item);
        const std::string link = path.back() == '/' ? path.substr(0, path.size() - 1) : path;
        RecordingWalker single({path});
        single.Walk();
        ASSERT_EQ(single.Log(), (Log{"begin " + path, "file " + link, "end " + path, "finish"}));
        EXPECT_TRUE(S_ISLNK(single.calls[1].entry.mode)) << item;
    }
}

// --- mounts and depth ----------------------------------------------------------------

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
    TOLVANE_SKIP_UNLESS_MOUNTED(bind);
    ASSERT_TRUE(Exists(temp / "m/bound/secret.txt"));

    RecordingWalker walker({temp / "m"});
    walker.Walk();
    const std::string m = temp / "m/";
    EXPECT_EQ(Sorted(walker.Log()),
              Sorted({"begin " + temp / "m", "enter " + m, "file " + m + "x", "enter " + m + "img/",
                      "file " + image.ImagePath(), "leave " + m + "img/", "leave " + m,
                      "end " + temp / "m", "finish"}));
    EXPECT_EQ(NestingError(walker.calls), "");
    EXPECT_EQ(CountItems({temp / "m"}), Counts(4, 5u + 64u * 1024 * 1024));
}

TEST(ItemWalker, CountsATreeDeeperThanPathMax) {
    TempDir temp;
    constexpr int kLevels = 300;
    const std::string name = "folder-name-of-20-ch";
    const std::string root = temp / "deep";
    ASSERT_TRUE(MakeDirs(root));
    struct Cleanup {  // the full paths are too long for std::filesystem
        std::string root;
        ~Cleanup() { RunCommand("rm -rf '" + root + "'"); }
    } cleanup{root};
    // Made relative to descriptors, one level at a time.
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < kLevels && fd >= 0; ++level) {
        int child = ::mkdirat(fd, name.c_str(), 0700) == 0
                        ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                        : -1;
        ::close(fd);
        fd = child;
    }
    ASSERT_GE(fd, 0);
    int file = ::openat(fd, "bottom.bin", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ::close(fd);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::ftruncate(file, 123), 0);
    ::close(file);

    RecordingWalker walker({root});
    walker.Walk();
    EXPECT_EQ(walker.Calls("enter").size(), 301u);
    EXPECT_EQ(walker.Calls("leave").size(), 301u);
    const auto files = walker.Calls("file");
    ASSERT_EQ(files.size(), 1u);
    std::string expected = root + "/";
    for (int level = 0; level < kLevels; ++level) {
        expected += name + "/";
    }
    EXPECT_EQ(files[0].path, expected + "bottom.bin");
    EXPECT_GT(files[0].path.size(), 4096u);
    EXPECT_EQ(NestingError(walker.calls), "");
    EXPECT_EQ(CountItems({root}), Counts(302, 123));  // the folder item, 300 levels, the file
}

}  // namespace
}  // namespace tolvane::test
