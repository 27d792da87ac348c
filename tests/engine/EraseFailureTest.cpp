// Nothing fails silently: whatever could not be erased is reported with its reason and left as
// it was found, to be tried again. Permission cases run unprivileged in a child; other failures
// come from the file-system seam. Refused before anything is touched: names ending in "." or
// ".." (they name another folder than the one read), files of kernel file systems (controls of
// the running system), and drive specs that name no volume of user data.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "LoopImage.h"
#include "RawScan.h"
#include "TempDir.h"
#include "engine/EraseEngine.h"
#include "engine/FailureReasons.h"
#include "engine/KeystreamGenerator.h"
#include "platform/ProcessLimits.h"
#include "platform/UniqueFd.h"
#include "platform/Volumes.h"

namespace tolvane::test {
namespace {

// Folders an unprivileged owner cannot list, and a file it can reach but not list the folder
// of. Each folder stays exactly as it was; the reachable file goes.
TEST(EraseFailure, UnlistableFoldersAreReportedAndLeftAsTheyWere) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "an unprivileged child is made as root";
    }
    TempDir dir;
    const std::string work = dir / "work";
    const struct {
        const char* folder;
        mode_t mode;
        const char* reported;  // the path the failure line names, relative to work
    } cases[] = {
        {"read-only", 0400, "read-only/inside.txt"},  // listed, not examinable
        {"no-access", 0000, "no-access"},
        {"write-search", 0300, "write-search"},
    };
    ASSERT_TRUE(MakeDirs(work + "/search-only"));
    ASSERT_TRUE(WriteFile(work + "/search-only/reachable.txt", "go"));
    std::vector<std::string> paths;
    for (const auto& c : cases) {
        paths.push_back(work + "/" + c.folder);
        ASSERT_TRUE(MakeDirs(paths.back()) && WriteFile(paths.back() + "/inside.txt", "stay"));
    }
    ASSERT_EQ(RunCommand("chown -R 65534:65534 '" + work + "'"), 0);
    OpenUpTo(work);
    std::vector<struct stat> before;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ASSERT_EQ(chmod(paths[i].c_str(), cases[i].mode), 0);
        before.push_back(StatOf(paths[i]));
    }
    // Searchable and writable but not readable: the file can be reached and removed.
    ASSERT_EQ(chmod((work + "/search-only").c_str(), 0300), 0);
    paths.push_back(work + "/search-only/reachable.txt");

    ChildRun run = EraseInChild(1, paths, true);
    EXPECT_EQ(run.status, 3) << run.output;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string failed = kBlank + work + "/" + cases[i].reported + " - failed\n";
        EXPECT_NE(run.output.find(failed), std::string::npos) << run.output;
        struct stat after = StatOf(paths[i]);
        EXPECT_EQ(after.st_mode, before[i].st_mode) << paths[i];
        EXPECT_EQ(after.st_mtim.tv_sec, before[i].st_mtim.tv_sec) << paths[i];
        chmod(paths[i].c_str(), 0700);
        EXPECT_EQ(ReadFile(paths[i] + "/inside.txt"), "stay") << paths[i];
    }
    chmod((work + "/search-only").c_str(), 0700);
    EXPECT_FALSE(Exists(work + "/search-only/reachable.txt"));
}

// A tree `depth` folders deep below `root`, made one level at a time (its path is far longer
// than a system call takes), with a file at the bottom.
void MakeDeepTree(const std::string& root, int depth) {
    ASSERT_TRUE(MakeDirs(root));
    UniqueFd folder(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int level = 0; level < depth && folder.Valid(); ++level) {
        ASSERT_EQ(mkdirat(folder.Get(), "d", 0700), 0);
        folder = UniqueFd(openat(folder.Get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    ASSERT_TRUE(folder.Valid());
    UniqueFd file(openat(folder.Get(), "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(write(file.Get(), "bottom", 6), 6);
}

// How many levels of the tree are left, and whether its bottom file still is.
std::pair<int, bool> DeepTreeLeft(const std::string& root) {
    int levels = 0;
    UniqueFd folder(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (UniqueFd next; folder.Valid(); folder = std::move(next), ++levels) {
        next = UniqueFd(openat(folder.Get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!next.Valid()) {
            return {levels, faccessat(folder.Get(), "bottom", F_OK, 0) == 0};
        }
    }
    return {-1, false};
}

// A recursive walk overflowed the usual 8 MiB stack at 19,000 levels; the walk's own stack
// erases 5,000 levels on a 1 MiB one. Deeper than the open-file limit, the folder where the
// descriptors ran out is reported and everything above keeps its name.
TEST(EraseFailure, TreesOfAnyDepthAreWalkedWithoutExhaustingTheStack) {
    rlimit files{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    const auto openable = static_cast<int>(std::min<rlim_t>(files.rlim_max, 1 << 20)) - 100;
    const struct {
        int depth;
        rlim_t stack;  // 0: as it is
        rlim_t files;  // 0: as many as allowed
    } cases[] = {{std::min(5000, openable), 1 << 20, 0},
                 {25000, 0, 0},
                 {40, 0, 24}};  // standard streams, the walk's folders and a few more
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        TempDir dir;
        MakeDeepTree(dir / "deep", c.depth);
        ChildRun run = EraseInChild(1, {dir / "deep"}, false, [&c] {
            rlimit stack{c.stack, c.stack};
            if (c.stack != 0) {
                setrlimit(RLIMIT_STACK, &stack);
            }
            rlimit limit{c.files, c.files};
            if (c.files == 0) {
                RaiseOpenFileLimit();
            } else {
                setrlimit(RLIMIT_NOFILE, &limit);
            }
        });
        if (c.files == 0 && c.depth <= openable) {
            EXPECT_EQ(run.status, 0) << run.output.substr(0, 2000);
            EXPECT_FALSE(Exists(dir / "deep"));
            continue;
        }
        EXPECT_EQ(run.status, 1) << run.output.substr(0, 2000);
        EXPECT_NE(run.output.find("could not be listed: too many open files"), std::string::npos);
        const auto [levels, bottom] = DeepTreeLeft(dir / "deep");
        EXPECT_EQ(levels, c.depth);
        EXPECT_TRUE(bottom);
    }
}

// A batch's open files and a deep walk's folders need more descriptors than the limit: the
// batch is finished, the next ones are smaller, and nothing of any file stays on the medium.
TEST(EraseFailure, RunningOutOfDescriptorsFinishesTheBatchAndGoesOnWithSmallerOnes) {
    TempDir dir;
    LoopImage image(dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string top = image.MountPoint() + "/deep";
    std::string path = top;
    for (int level = 0; level < 40; ++level) {
        path += "/level" + std::to_string(level);
    }
    ASSERT_TRUE(MakeDirs(path));
    const Marker marker = Marker::Random();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(WriteFile(path + "/file" + std::to_string(i), marker.Content(8192)));
    }
    sync();
    ChildRun run = EraseInChild(3, {top}, false, [] {
        rlimit limit{64, 64};
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("too many open files"), std::string::npos) << run.output;
    // A note about names that may remain names its volume, though the mount table could not
    // be read while the batch held the descriptors.
    EXPECT_EQ(run.output.find("may remain in the journal of \n"), std::string::npos) << run.output;
    EXPECT_FALSE(Exists(top));
    const std::uint64_t left = ScanUnmounted(image, {marker})[0].count;
    EXPECT_EQ(left, 0u);
    RecordProperty("descriptors_short_marker_windows_left", std::to_string(left));
}

// Failures the file system gives back during a file's erasure: the file stays where the user
// left it, with its own name and size and its permission bits, and the report says why. The
// first open is refused, as for a read-only file of the user's: the owner's write bit the
// engine then adds must go again, also as root. A writable file's refused open is final.
TEST(EraseFailure, FileStaysAndTheReportSaysWhy) {
    const struct {
        std::function<void(FaultyFileSystem&)> arrange;
        const char* reason;
        bool keepsName;  // false: the failure came after the renames
        mode_t mode = 0444;
    } cases[] = {
        {[](FaultyFileSystem&) {}, "could not be opened for writing: permission denied", true,
         0644},
        {[](FaultyFileSystem& fs) { fs.failWriteAt = 2; },
         "could not be overwritten: input/output error", true},
        {[](FaultyFileSystem& fs) {
             fs.failWriteAt = 2;
             fs.failWriteErrno = ENOSPC;
             fs.failEveryWriteAfter = true;
         },
         "could not be overwritten: file system full", true},
        {[](FaultyFileSystem& fs) { fs.failSyncErrno = EIO; },
         "could not be written to the medium: input/output error", true},
        {[](FaultyFileSystem& fs) { fs.failRenameFrom = "report.doc"; },
         "could not be renamed: permission denied", true},
        {[](FaultyFileSystem& fs) { fs.failRemoveName = "aaaaaaaa.aaa"; },
         "overwritten but could not be removed: in use", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        TempDir dir;
        const std::string path = dir / "report.doc";
        ASSERT_TRUE(WriteFileOfSize(path, 100000, 'r'));
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        FaultyFileSystem fs;
        fs.refuseOpenName = "report.doc";
        c.arrange(fs);
        EraseRun run(2, &fs);
        run.Run({path});
        EXPECT_EQ(run.target.Failures(), std::vector<std::string>{path + " - " + c.reason});
        if (c.keepsName) {
            EXPECT_EQ(StatOf(path).st_size, 100000);
            EXPECT_EQ(StatOf(path).st_mode & 07777, c.mode);  // the write bit added to open it went
        } else {
            EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"aaaaaaaa.aaa"});
        }
    }
}

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

// The report line of a volume, holding `path`, whose sync at the end of a run failed.
std::string VolumeNotSynced(const std::string& path) {
    std::string root = VolumeRootOf(path);
    root.resize(std::max<std::size_t>(root.size() - 1, 1));  // without its '/'
    return root + " - " + kVolumeNotSynced + ": input/output error";
}

// A write or sync that fails inside a batch of small files costs exactly the file it hit; a
// file system that cannot be synced at all is reported too, at the end.
TEST(EraseFailure, FailureInsideABatchReportsExactlyTheFileItHit) {
    const struct {
        std::function<void(FaultyFileSystem&)> arrange;
        const char* reason;
    } cases[] = {
        {[](FaultyFileSystem& fs) { fs.failWriteName = "c.txt"; },
         "could not be overwritten: input/output error"},
        {[](FaultyFileSystem& fs) {
             fs.failSyncFileSystem = true;
             fs.failSyncName = "c.txt";
         },
         "could not be written to the medium: input/output error"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ASSERT_TRUE(MakeDirs(dir / "folder"));
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) {
            ASSERT_TRUE(WriteFile(dir / "folder/" + name, std::string(3000, 'x')));
        }
        FaultyFileSystem fs;
        c.arrange(fs);
        EraseRun run(3, &fs);
        run.Run({dir / "folder"});
        std::vector<std::string> expected{dir / "folder/c.txt" + " - " + c.reason};
        if (fs.failSyncFileSystem) {
            expected.push_back(VolumeNotSynced(dir.Path()));
        }
        EXPECT_EQ(run.target.Failures(), expected);
        EXPECT_EQ(ListNames(dir / "folder"), std::vector<std::string>{"c.txt"});
        EXPECT_EQ(StatOf(dir / "folder/c.txt").st_size, 3000);
    }
}

// A free-space wipe that cannot write anything is a failure, not "100%", and why is what the
// failing call said: the progress line written after a failed write, to a closed (EBADF) or
// full (ENOSPC) standard output, must not change the reason. A read-only volume refuses the
// fill file itself, and nothing is left on it.
TEST(EraseFailure, FreeSpaceFailureReasonDoesNotDependOnStandardOutput) {
    TempDir dir;
    LoopImage image(dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string spec = image.MountPoint() + ":";
    const std::vector<std::string> expected{spec + " - " +
                                            FailureReason(kFreeSpaceNotWritten, EIO)};
    for (const char* stdOut : {"", "closed", "/dev/full"}) {
        SCOPED_TRACE(stdOut);
        FaultyFileSystem fs;
        fs.failWriteAt = 1;
        fs.failEveryWriteAfter = true;  // EIO
        EraseRun run(1, &fs);
        const int saved = dup(STDOUT_FILENO);
        ASSERT_GE(saved, 0);
        if (*stdOut != '\0') {
            run.captureStdOut = false;
            UniqueFd replacement(open(stdOut, O_WRONLY | O_CLOEXEC));  // invalid when "closed"
            if (replacement.Valid()) {
                dup2(replacement.Get(), STDOUT_FILENO);
            } else {
                close(STDOUT_FILENO);
            }
        }
        run.Run({spec});
        dup2(saved, STDOUT_FILENO);
        close(saved);
        EXPECT_EQ(run.target.Failures(), expected);
    }

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
    EXPECT_EQ(ScanUnmounted(image, {marker})[0].count, 0u);
}

// The run ends with a sync of every volume it changed, so that what it renamed and removed
// cannot come back with the journal after a crash; a volume whose sync fails is reported.
TEST(EraseFailure, EveryChangedVolumeIsSyncedOnceAtTheEndAndAFailureIsReported) {
    TempDir dir;
    LoopImage image(dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        const std::vector<std::string> files = {dir / "a", dir / "b", image.MountPoint() + "/c"};
        for (const std::string& file : files) {
            ASSERT_TRUE(WriteFile(file, "secret"));
        }
        FaultyFileSystem fs;
        std::vector<dev_t> synced;
        fs.beforeSyncFileSystem = [&synced](int fd) {
            struct stat st;
            ASSERT_EQ(fstat(fd, &st), 0);
            synced.push_back(st.st_dev);
        };
        fs.failSyncFileSystem = fails;
        EraseRun run(0, &fs);  // no passes: nothing else syncs
        const std::string output = run.Run(files);
        // The run's last act: one sync of each volume, in the order it changed them.
        ASSERT_GE(synced.size(), 2u);
        EXPECT_EQ(
            std::vector<dev_t>(synced.end() - 2, synced.end()),
            (std::vector<dev_t>{StatOf(dir.Path()).st_dev, StatOf(image.MountPoint()).st_dev}));
        for (const std::string& file : files) {
            EXPECT_FALSE(Exists(file));
        }
        std::vector<std::string> expected;
        if (fails) {
            expected = {VolumeNotSynced(dir.Path()), VolumeNotSynced(image.MountPoint())};
        }
        EXPECT_EQ(run.target.Failures(), expected) << output;
    }
}

// What the summary calls written is what the writes took: every pass up to the end of the
// file's last medium block and no further (an empty file still gets one block a pass), every
// chunk of a file written in several, the data of a sparse file, not its size, and nothing
// where every write failed.
TEST(EraseFailure, BytesWrittenAreWhatTheWritesTook) {
    TempDir dir;
    const auto medium = static_cast<std::uint64_t>(StatOf(dir.Path()).st_blksize);
    const struct {
        std::uint64_t size;
        int passes;
        std::uint64_t written;
    } cases[] = {{0, 1, medium},
                 {32769, 3, 3 * (32768 + medium)},
                 {5000, 0, 0},
                 {3 * kChunkSize + 5, 2, 2 * (3 * kChunkSize + medium)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string path = dir / "file";
        ASSERT_TRUE(WriteFileOfSize(path, c.size));
        EraseRun run(c.passes);
        run.Run({path});
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(run.engine.BytesWritten(), c.written);
    }

    const std::string sparse = dir / "sparse";
    {
        UniqueFd fd(open(sparse.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        ASSERT_EQ(pwrite(fd.Get(), "data", 4, 0), 4);
        ASSERT_EQ(ftruncate(fd.Get(), 200 << 20), 0);
    }
    EraseRun run(3);
    run.Run({sparse});
    EXPECT_FALSE(Exists(sparse));
    EXPECT_GT(run.engine.BytesWritten(), 0u);
    EXPECT_LE(run.engine.BytesWritten(), 3u * kBlockSize);

    std::vector<std::string> files;
    for (const char* name : {"x", "y", "z"}) {
        files.push_back(dir / name);
        ASSERT_TRUE(WriteFile(files.back(), std::string(100000, 's')));
    }
    FaultyFileSystem full;
    full.failWriteAt = 1;
    full.failWriteErrno = ENOSPC;
    full.failEveryWriteAfter = true;
    EraseRun failing(3, &full);
    failing.Run(files);
    EXPECT_EQ(failing.engine.FailedCount(), 3);
    EXPECT_EQ(failing.engine.BytesWritten(), 0u);
}

// In a sticky folder only an entry's owner may rename or remove it: another user's writable
// file there is found before anything is written, reported and left as it was; one's own goes.
TEST(EraseFailure, OthersFileInAStickyFolderIsFoundBeforeItIsOverwritten) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "an unprivileged child is made as root";
    }
    TempDir dir;
    const std::string shared = dir / "shared";
    ASSERT_TRUE(MakeDirs(shared));
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    OpenUpTo(shared);
    const std::string theirs = shared + "/theirs";
    const std::string own = shared + "/own";
    for (const int passes : {1, 0}) {
        SCOPED_TRACE(passes);
        ASSERT_TRUE(WriteFile(theirs, "their data"));
        ASSERT_EQ(chmod(theirs.c_str(), 0666), 0);  // anyone may write it
        ASSERT_TRUE(WriteFile(own, "mine"));
        ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
        ChildRun run = EraseInChild(passes, {theirs, own}, true);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_EQ(ReadFile(theirs), "their data");
        EXPECT_FALSE(Exists(own));
        EXPECT_EQ(ListNames(shared), std::vector<std::string>{"theirs"});
        EXPECT_NE(run.output.find(kStickyFolderOthersFile), std::string::npos) << run.output;
    }
}

// The refusals of the header above, with and without passes.
TEST(EraseRefusal, RefusedItemsSayWhyAndNothingIsTouched) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "elsewhere/inside") && MakeDirs(dir / "work/dir"));
    ASSERT_TRUE(MakeDirs(dir / "folder") && MakeDirs(dir / "ram"));
    ASSERT_TRUE(WriteFile(dir / "elsewhere/inside/keep.txt", "keep"));
    ASSERT_TRUE(WriteFile(dir / "work/dir/keep.txt", "keep"));
    ASSERT_EQ(symlink((dir / "elsewhere/inside").c_str(), (dir / "work/linkdir").c_str()), 0);
    const std::string comm = ReadFile("/proc/self/comm");
    ASSERT_FALSE(comm.empty()) << "no procfs here";
    std::vector<std::pair<std::string, std::string>> cases = {
        // "work/linkdir/.." means the link target's parent to the kernel, not "work".
        {dir / "work/linkdir/..", kRefusedDotName},
        {dir / "work/dir/..", kRefusedDotName},
        {dir / "work/dir/.", kRefusedDotName},
        {dir / "work/dir/../", kRefusedDotName},
        {"/proc/self/comm", kRefusedKernelFileSystem},
        {"/proc/self/*", kRefusedKernelFileSystem},
        {"/proc/self/fd", kRefusedKernelFileSystem},
        // Not "file not found": what the path ending in ':' is instead.
        {":", kRefusedNotAVolume},
        {dir / "folder:", kRefusedNotAVolume}};
    TmpfsMount ram(dir / "ram", 1);
    if (ram.Mounted()) {
        cases.push_back({dir / "ram:", kRefusedRamVolume});
    }
    std::vector<std::string> paths;
    for (const auto& [path, reason] : cases) {
        paths.push_back(path);
    }
    for (int passes : {1, 0}) {
        EraseEngine engine(passes);
        const std::string output = RunEraseHere(engine, paths);
        EXPECT_EQ(engine.FailedCount(), static_cast<int>(cases.size()));
        EXPECT_EQ(engine.NotFoundCount(), 0);
        for (const auto& [path, reason] : cases) {
            EXPECT_NE(output.find(kBlank + path + " - " + reason + "\n"), std::string::npos)
                << output;
        }
    }
    EXPECT_EQ(ReadFile("/proc/self/comm"), comm);
    EXPECT_EQ(ReadFile(dir / "elsewhere/inside/keep.txt"), "keep");
    EXPECT_EQ(ReadFile(dir / "work/dir/keep.txt"), "keep");
    EXPECT_TRUE(Exists(dir / "work/linkdir"));
    if (!ram.Mounted()) {
        GTEST_SKIP() << "the RAM volume case was not run: " << ram.SkipReason();
    }
}

}  // namespace
}  // namespace tolvane::test
