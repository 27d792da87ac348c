// The traversal and the size count: item order, folders, patterns, links, mounts, cancel and
// deep trees, seen through a walker that records every call.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>

#include "LoopImage.h"
#include "TempDir.h"
#include "engine/ItemWalker.h"
#include "engine/SizeCounter.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

namespace tolvane::test {
namespace {

using Log = std::vector<std::string>;
using Counts = std::pair<std::int32_t, std::uint64_t>;

Log Sorted(Log lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

EraseItemList OrdinaryItems(const std::vector<std::string>& paths) {
    EraseItemList items;
    for (const std::string& path : paths) {
        items.push_back({ItemKind::Ordinary, path});
    }
    return items;
}

// Walks ordinary items and logs every call as "<kind> <path>" (the item's path for begin and
// end, "drive <path> <volume root>"), and what each file and folder entry was. onFile runs
// after a file was logged (to cancel from inside a handler).
class RecordingWalker : public ItemWalker {
public:
    explicit RecordingWalker(const std::vector<std::string>& paths)
        : m_items(OrdinaryItems(paths)) {
        SetItems(&m_items);
    }

    Log Walked() {
        Walk();
        return log;
    }
    long Count(const std::string& kind) const {
        return std::count_if(log.begin(), log.end(),
                             [&](const std::string& line) { return line.starts_with(kind + " "); });
    }

    Log log;
    std::map<std::string, FindData> entries;  // by path
    std::function<void(RecordingWalker&, const std::string&)> onFile;

protected:
    void OnFile(std::string& path, const FindData& entry) override {
        Add("file", path, entry);
        if (onFile) {
            onFile(*this, path);
        }
    }
    void OnEnterFolder(std::string& path, const FindData& e) override { Add("enter", path, e); }
    void OnLeaveFolder(std::string& path, const FindData&) override {
        log.push_back("leave " + path);
    }
    void OnDrive(std::string& path, const std::string& root) override {
        log.push_back("drive " + path + " " + root);
    }
    void OnItemBegin(const EraseItem& item) override { log.push_back("begin " + item.path); }
    void OnItemEnd(const EraseItem& item) override { log.push_back("end " + item.path); }
    void OnFinish() override { log.push_back("finish"); }

private:
    void Add(const char* kind, const std::string& path, const FindData& entry) {
        log.push_back(kind + (" " + path));
        entries[path] = entry;
    }
    EraseItemList m_items;
};

Log WalkLog(const std::vector<std::string>& paths) {
    return RecordingWalker(paths).Walked();
}

// What a SizeCounter adds up for the paths: entries and bytes.
Counts CountItems(const std::vector<std::string>& paths) {
    EraseItemList items = OrdinaryItems(paths);
    SizeCounter counter;
    counter.SetItems(&items);
    counter.Walk();
    return {counter.Count(), counter.Bytes()};
}

// Empty when every entry lies directly in the innermost open folder (entered with a trailing
// '/') and every leave closes the folder entered last; else what is wrong.
std::string NestingError(const Log& log) {
    std::vector<std::string> open;  // folders entered and not left yet, the innermost last
    for (const std::string& line : log) {
        const std::string kind = line.substr(0, line.find(' '));
        const std::string path = line.substr(std::min(kind.size() + 1, line.size()));
        if (kind == "leave") {
            if (open.empty() || open.back() != path) {
                return line + " does not close the folder entered last";
            }
            open.pop_back();
        } else if ((kind == "enter" || kind == "file") && !open.empty()) {
            const std::string name =
                path.starts_with(open.back()) ? path.substr(open.back().size()) : "";
            if (name.empty() ||
                name.find('/') != (kind == "enter" ? name.size() - 1 : std::string::npos)) {
                return path + " is not directly inside " + open.back();
            }
        }
        if (kind == "enter") {
            open.push_back(path);
        }
    }
    return open.empty() ? std::string() : "folder never left: " + open.back();
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

    const Log log = WalkLog({drive, temp / "dir", temp / "file"});
    // drive item, folder item (begin, enter, 10 subtree calls, leave, end), file item, finish
    ASSERT_EQ(log.size(), 3u + 14u + 3u + 1u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 5),
              (Log{"begin " + drive, "drive " + drive + " " + image.MountPoint() + "/",
                   "end " + drive, "begin " + temp / "dir", "enter " + d}));
    EXPECT_EQ(Sorted(Log(log.begin() + 5, log.begin() + 15)),
              Sorted({"enter " + d + "empty/", "leave " + d + "empty/", "file " + d + "a.txt",
                      "file " + d + ".x", "enter " + d + "sub/", "leave " + d + "sub/",
                      "file " + d + "sub/b.txt", "enter " + d + "sub/deeper/",
                      "leave " + d + "sub/deeper/", "file " + d + "sub/deeper/c"}));
    EXPECT_EQ(Log(log.begin() + 15, log.end()),
              (Log{"leave " + d, "end " + temp / "dir", "begin " + temp / "file",
                   "file " + temp / "file", "end " + temp / "file", "finish"}));
    EXPECT_EQ(NestingError(log), "");
    // A drive item counts as one entry holding the volume's free space.
    const std::uint64_t free = AvailableBytes(RealFileSystem(), image.MountPoint() + "/");
    ASSERT_GT(free, 0u);
    EXPECT_EQ(CountItems({drive}), Counts(1, free));
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

// Part of the tree above; entries and bytes, a folder counting itself (a drive item: above).
TEST(SizeCounter, AddsFoldersFilesAndBytesOfEveryItem) {
    TempDir temp;
    MakeTree(temp);
    const struct {
        std::vector<std::string> items;  // relative to the temp folder
        Counts counts;
    } cases[] = {
        {{"dir"}, {8, 19}},
        {{"dir/empty"}, {1, 0}},
        {{"dir/a.txt"}, {1, 10}},
        {{"dir/*.*"}, {2, 13}},  // the files of dir only
        {{"nothing"}, {0, 0}},
        {{"dir/sub", "dir/sub/b.txt"}, {5, 11}},  // listed twice, counted twice
    };
    for (const auto& c : cases) {
        std::vector<std::string> paths;
        for (const std::string& item : c.items) {
            paths.push_back(temp / item);
        }
        EXPECT_EQ(CountItems(paths), c.counts) << c.items[0];
    }
}

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
        {"*.zip", {}},
        {"a*b", {"a*b"}},         // an existing name is that entry alone, even with '*' in it
        {"a?b", {"a*b", "axb"}},  // a pattern that names nothing matches as a pattern
    };
    for (const auto& c : cases) {
        const std::string item = p + c.pattern;
        RecordingWalker walker({item});
        const Log log = walker.Walked();
        Log visited;
        for (const auto& [path, entry] : walker.entries) {
            visited.push_back(path.substr(p.size()));
            EXPECT_EQ(entry.name, visited.back());
        }
        EXPECT_EQ(Sorted(visited), Sorted(c.files)) << c.pattern;
        EXPECT_EQ(walker.Count("enter"), 0) << c.pattern;
        EXPECT_EQ(Log(log.end() - 2, log.end()), (Log{"end " + item, "finish"})) << c.pattern;
    }
}

// Listings come in hash order on ext4 and newest first on tmpfs; the walk hands entries out
// by inode number, so that a batch's writes and its sync touch the disk in sequence.
TEST(ItemWalker, HandsOutTheEntriesOfAFolderInInodeOrder) {
    TempDir temp;
    const std::string folder = temp / "many/";
    ASSERT_TRUE(MakeDirs(folder));
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(WriteFile(folder + "n" + std::to_string(i * 7919 % 300), "x"));
    }
    for (const std::string& item : {folder, folder + "n*"}) {
        RecordingWalker walker({item});
        walker.Walked();
        std::vector<std::uint64_t> inodes;
        for (const std::string& line : walker.log) {
            if (line.starts_with("file ")) {
                inodes.push_back(walker.entries.at(line.substr(5)).inode);
            }
        }
        EXPECT_EQ(inodes.size(), 300u) << item;
        EXPECT_TRUE(std::is_sorted(inodes.begin(), inodes.end())) << item;
    }
}

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
        const Log log = walker.Walked();
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
    const Log log = walker.Walked();
    EXPECT_EQ(walker.Count("enter"), 1);  // the folder item only
    for (const auto& [name, target] : links) {
        EXPECT_TRUE(S_ISLNK(walker.entries[temp / ("links/" + name)].mode)) << name;
    }
    for (const std::string& line : log) {
        EXPECT_EQ(line.find("outside"), std::string::npos) << line;
    }
    EXPECT_EQ(CountItems({temp / "links"}), Counts(4, 0));

    // As the item itself, also with the separator a shell's completion adds.
    for (const std::string item : {"todir", "todir/", "tofile", "dangling"}) {
        const std::string path = temp / ("links/" + item);
        const std::string link = path.back() == '/' ? path.substr(0, path.size() - 1) : path;
        RecordingWalker single({path});
        ASSERT_EQ(single.Walked(), (Log{"begin " + path, "file " + link, "end " + path, "finish"}));
        EXPECT_TRUE(S_ISLNK(single.entries[link].mode)) << item;
    }
}

TEST(ItemWalker, CountsATreeDeeperThanPathMax) {
    TempDir temp;
    const std::string root = temp / "deep";
    const std::string name = "folder-name-of-20-ch";
    struct Cleanup {  // the full paths are too long for std::filesystem
        std::string root;
        ~Cleanup() { RunCommand("rm -rf '" + root + "'"); }
    } cleanup{root};
    // 300 levels, made by the shell in three relative steps of 100 that stay short.
    std::string hundred = name;
    for (int level = 1; level < 100; ++level) {
        hundred += "/" + name;
    }
    ASSERT_EQ(RunCommand("mkdir '" + root + "' && cd '" + root + "' && for i in 1 2 3; do " +
                         "mkdir -p " + hundred + " && cd -P " + hundred +
                         " || exit 1; done && truncate -s 123 bottom.bin"),
              0);

    RecordingWalker walker({root});
    const Log log = walker.Walked();
    EXPECT_EQ(walker.Count("enter"), 301);
    EXPECT_EQ(walker.Count("leave"), 301);
    const std::string expected = root + "/" + hundred + "/" + hundred + "/" + hundred + "/";
    EXPECT_EQ(Log(log.begin() + 301, log.begin() + 304),
              (Log{"enter " + expected, "file " + expected + "bottom.bin", "leave " + expected}));
    EXPECT_GT(expected.size(), 4096u);
    EXPECT_EQ(NestingError(log), "");
    EXPECT_EQ(CountItems({root}), Counts(302, 123));  // the folder item, 300 levels, the file
}

}  // namespace
}  // namespace tolvane::test
