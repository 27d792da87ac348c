// Nothing fails silently: whatever could not be erased is reported with its reason and left
// as it was found (name, size, permission bits), so that it can be tried again. Permission
// cases run as an unprivileged user in a child; write, sync, rename and removal failures come
// from the file-system seam.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "LoopImage.h"
#include "RawScan.h"
#include "TempDir.h"
#include "engine/EraseEngine.h"

namespace tolvane::test {
namespace {

const std::string kBlank = "\r                    \r";
constexpr uid_t kNobody = 65534;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

bool Has(const std::string& output, const std::string& line) {
    return output.find(line) != std::string::npos;
}

// Folders an unprivileged owner cannot list, and a file it can reach but not list the folder
// of. Each folder stays exactly as it was; the reachable file goes.
TEST(EraseFailure, UnlistableFoldersAreReportedAndLeftAsTheyWere) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "an unprivileged child is made as root";
    }
    TempDir dir;
    const std::string work = dir / "work";
    struct Case {
        const char* folder;
        mode_t mode;
        const char* line;  // what the report says about it (after the path)
        const char* path;  // the path the line names, relative to work
    };
    const Case cases[] = {
        {"read-only", 0400, " - failed\n", "read-only/inside.txt"},  // listed, not examinable
        {"no-access", 0000, " - failed\n", "no-access"},
        {"write-search", 0300, " - failed\n", "write-search"},
    };
    ASSERT_TRUE(MakeDirs(work + "/search-only"));
    ASSERT_TRUE(WriteFile(work + "/search-only/reachable.txt", "go"));
    for (const Case& c : cases) {
        ASSERT_TRUE(MakeDirs(work + "/" + c.folder));
        ASSERT_TRUE(WriteFile(work + "/" + c.folder + "/inside.txt", "stay"));
    }
    ASSERT_EQ(RunCommand("chown -R 65534:65534 '" + work + "'"), 0);
    OpenUpTo(work);
    std::vector<std::string> paths;
    std::vector<struct stat> before;
    for (const Case& c : cases) {
        ASSERT_EQ(chmod((work + "/" + c.folder).c_str(), c.mode), 0);
        before.push_back(StatOf(work + "/" + c.folder));
        paths.push_back(work + "/" + c.folder);
    }
    // Searchable and writable but not readable: the file can be reached and removed.
    ASSERT_EQ(chmod((work + "/search-only").c_str(), 0300), 0);
    paths.push_back(work + "/search-only/reachable.txt");

    ChildRun run = EraseInChild(1, paths, true);
    EXPECT_EQ(run.status, 3) << run.output;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string folder = work + "/" + cases[i].folder;
        EXPECT_TRUE(Has(run.output, kBlank + work + "/" + cases[i].path + cases[i].line))
            << run.output;
        struct stat after = StatOf(folder);
        EXPECT_EQ(after.st_mode, before[i].st_mode) << folder;
        EXPECT_EQ(after.st_mtim.tv_sec, before[i].st_mtim.tv_sec) << folder;
        chmod(folder.c_str(), 0700);
        EXPECT_EQ(ReadFile(folder + "/inside.txt"), "stay") << folder;
    }
    chmod((work + "/search-only").c_str(), 0700);
    EXPECT_FALSE(Exists(work + "/search-only/reachable.txt"));
}

// A tree deeper than the descriptors the walk may open: the part it cannot list is reported
// and no folder on the way is renamed.
TEST(EraseFailure, TreeDeeperThanTheOpenFileLimitIsReportedAndKeepsItsNames) {
    TempDir dir;
    std::string path = dir / "deep";
    for (int level = 0; level < 40; ++level) {
        path += "/level" + std::to_string(level);
    }
    ASSERT_TRUE(MakeDirs(path));
    ASSERT_TRUE(WriteFile(path + "/bottom.txt", "bottom"));
    ChildRun run = EraseInChild(1, {dir / "deep"}, false, [] {
        rlimit limit{24, 24};  // standard streams, the walk's folders and a few more
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    EXPECT_GE(run.status, 1);
    EXPECT_TRUE(Has(run.output, "could not be listed") || Has(run.output, " - failed\n"))
        << run.output;
    EXPECT_EQ(ReadFile(path + "/bottom.txt"), "bottom");  // every name on the way is intact
}

// Failures the file system gives back during a file's erasure: the file stays where the user
// left it, with its own name and size and its permission bits, and the report says why.
struct FaultCase {
    const char* label;
    std::function<void(FaultyFileSystem&)> arrange;
    const char* reason;
    bool keepsName;  // false: the failure came after the renames
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.label;
}

class EraseFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(EraseFaultTest, FileStaysAndTheReportSaysWhy) {
    TempDir dir;
    const std::string path = dir / "report.doc";
    ASSERT_TRUE(WriteFileOfSize(path, 100000, 'r'));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    FaultyFileSystem fs;
    GetParam().arrange(fs);
    EraseRun run(2, &fs);
    run.Run({path});
    EXPECT_EQ(run.target.Failures(), std::vector<std::string>{path + " - " + GetParam().reason});
    if (GetParam().keepsName) {
        struct stat st = StatOf(path);
        EXPECT_EQ(st.st_size, 100000);
        EXPECT_EQ(st.st_mode & 07777, 0444u);  // the write bit added to open it went again
    } else {
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"aaaaaaaa.aaa"});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EraseFaultTest,
    testing::Values(FaultCase{"WriteError", [](FaultyFileSystem& fs) { fs.failWriteAt = 3; },
                              "could not be overwritten: input/output error", true},
                    FaultCase{"DiskFull",
                              [](FaultyFileSystem& fs) {
                                  fs.failWriteAt = 2;
                                  fs.failWriteErrno = ENOSPC;
                                  fs.failEveryWriteAfter = true;
                              },
                              "could not be overwritten: file system full", true},
                    FaultCase{"SyncError", [](FaultyFileSystem& fs) { fs.failSyncErrno = EIO; },
                              "could not be written to the medium: input/output error", true},
                    FaultCase{"RenameRefused",
                              [](FaultyFileSystem& fs) { fs.failRenameFrom = "report.doc"; },
                              "could not be renamed: permission denied", true},
                    FaultCase{"RemoveRefused",
                              [](FaultyFileSystem& fs) { fs.failRemoveName = "aaaaaaaa.aaa"; },
                              "overwritten but could not be removed: in use", false}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.label; });

// A folder that has to stay keeps the permission bits it had, also those its removal needed.
TEST(EraseFailure, FolderThatStaysKeepsItsPermissionBits) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "work/locked"));
    ASSERT_EQ(chmod((dir / "work/locked").c_str(), 0500), 0);
    FaultyFileSystem fs;
    fs.failRemoveName = "aaaaaaaa.aaa";
    EraseRun run(1, &fs);
    run.Run({dir / "work/locked"});
    // Back at its first-stage name, which says nothing either, with its old bits.
    EXPECT_EQ(ListNames(dir / "work"), std::vector<std::string>{"aaaaaa"});
    EXPECT_EQ(StatOf(dir / "work/aaaaaa").st_mode & 07777, 0500u);
}

// Small files are overwritten in batches; a write or a sync that fails inside one costs
// exactly the file it hit, and the others of the batch are erased.
TEST(EraseFailure, FailureInsideABatchReportsExactlyTheFileItHit) {
    const std::vector<std::function<void(FaultyFileSystem&)>> faults = {
        [](FaultyFileSystem& fs) { fs.failWriteName = "c.txt"; },
        [](FaultyFileSystem& fs) {
            fs.failSyncFileSystem = true;
            fs.failSyncName = "c.txt";
        },
    };
    const std::vector<std::string> reasons = {"could not be overwritten: input/output error",
                                              "could not be written to the medium: "
                                              "input/output error"};
    for (std::size_t i = 0; i < faults.size(); ++i) {
        TempDir dir;
        ASSERT_TRUE(MakeDirs(dir / "folder"));
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) {
            ASSERT_TRUE(WriteFile(dir / "folder/" + name, std::string(3000, 'x')));
        }
        FaultyFileSystem fs;
        faults[i](fs);
        EraseRun run(3, &fs);
        run.Run({dir / "folder"});
        EXPECT_EQ(run.target.Failures(),
                  std::vector<std::string>{dir / "folder/c.txt" + " - " + reasons[i]});
        EXPECT_EQ(ListNames(dir / "folder"), std::vector<std::string>{"c.txt"});
        EXPECT_EQ(StatOf(dir / "folder/c.txt").st_size, 3000);
    }
}

// A free-space wipe that cannot write anything is a failure, not "100%".
TEST(EraseFailure, FreeSpaceThatCannotBeWrittenIsReported) {
    TempDir dir;
    LoopImage image(dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string spec = image.MountPoint() + ":";
    OpenUpTo(image.MountPoint());
    ChildRun unprivileged = EraseInChild(1, {spec}, true);  // the volume's root is root's
    EXPECT_EQ(unprivileged.status, 1) << unprivileged.output;
    EXPECT_TRUE(Has(unprivileged.output, kBlank + spec + " - failed\n")) << unprivileged.output;

    ASSERT_EQ(mount(nullptr, image.MountPoint().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
              0);
    EraseRun readOnly(1);
    readOnly.Run({spec});
    EXPECT_EQ(readOnly.target.Failures(),
              std::vector<std::string>{spec + " - free space could not be written: read-only "
                                              "file system"});
    EXPECT_EQ(ListNames(image.MountPoint()), std::vector<std::string>{"lost+found"});
}

// A sparse file larger than the disk: only what it holds is overwritten, so the pass reaches
// the data at its end instead of filling the disk with the hole.
TEST(EraseFailure, SparseFileIsOverwrittenWhereItHoldsData) {
    TempDir dir;
    LoopImage image(dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string path = image.MountPoint() + "/sparse";
    const Marker marker = Marker::Random();
    const std::string data = marker.Content(64 * 1024);
    {
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT, 0600));
        ASSERT_TRUE(fd.Valid());
        ASSERT_EQ(pwrite(fd.Get(), data.data(), data.size(), 200 << 20),
                  static_cast<ssize_t>(data.size()));
    }
    sync();
    EraseRun run(1);
    run.Run({path});
    EXPECT_EQ(run.engine.FailedCount(), 0);
    EXPECT_FALSE(Exists(path));
    ASSERT_TRUE(image.Unmount());
    MarkerScanner scanner;
    scanner.Add(marker);
    EXPECT_EQ(scanner.Scan(image.ReadImage())[0].count, 0u);
}

}  // namespace
}  // namespace tolvane::test
