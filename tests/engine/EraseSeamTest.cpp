// What the eraser promises where only a failing or odd file system shows it, failed through
// the file-system seam so that it holds for root too: no run without a
// random source, special files never opened, unlistable folders and unexaminable entries kept
// and reported, and the free-space figures deciding what a wipe does and says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "LoopImage.h"
#include "TempDir.h"
#include "engine/FailureReasons.h"
#include "engine/FormatSize.h"
#include "engine/NotifyTarget.h"

namespace tolvane::test {
namespace {

// Without a random source every pattern would be predictable: the engine is not ready, and a
// job started with it ends at once, touching nothing. Time scrambling draws from it too, so
// this holds without passes.
TEST(EraseSeam, NoRunStartsWithoutARandomSource) {
    TempDir dir;
    const std::string path = dir / "secret.txt";
    ASSERT_TRUE(WriteFile(path, "secret"));
    for (const int passes : {0, 1}) {
        SCOPED_TRACE(passes);
        FaultyFileSystem fs;
        fs.noRandom = true;
        EraseRun run(passes, &fs);
        EXPECT_FALSE(run.engine.Ready());
        run.Run({path});
        EXPECT_EQ(ReadFile(path), "secret");
        EXPECT_EQ(run.target.Messages().size(), 1u);
        EXPECT_EQ(run.target.Count(ERN_FINISHED), 1);
    }
}

// Opening a device can act on it (a tape rewinds, a modem hangs up), and a FIFO's open blocks:
// special files are renamed and removed, never opened, with passes or without.
TEST(EraseSeam, DeviceNodesAndOtherSpecialFilesAreNeverOpened) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "making a device node needs root";
    }
    TempDir dir;
    for (const int passes : {0, 1}) {
        SCOPED_TRACE(passes);
        const std::string work = dir / ("work" + std::to_string(passes));
        ASSERT_TRUE(MakeDirs(work));
        ASSERT_EQ(mknod((work + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(mknod((work + "/loop").c_str(), S_IFBLK | 0600, makedev(7, 255)), 0);
        ASSERT_EQ(mkfifo((work + "/fifo").c_str(), 0600), 0);
        ASSERT_TRUE(MakeSocket(work + "/socket"));
        ASSERT_TRUE(WriteFile(work + "/plain.txt", "plain"));
        FaultyFileSystem fs;
        std::mutex mutex;
        std::vector<mode_t> opened;  // the type of everything the engine asked to open
        fs.beforeOpen = [&](int dirFd, const std::string& name) {
            struct stat st {};
            if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                std::lock_guard<std::mutex> lock(mutex);
                opened.push_back(st.st_mode & S_IFMT);
            }
        };
        EraseRun run(passes, &fs);
        run.Run({work + "/"});
        EXPECT_EQ(run.target.Failures(), std::vector<std::string>{});
        EXPECT_EQ(ListNames(work), std::vector<std::string>{});
        EXPECT_EQ(opened, std::vector<mode_t>{S_IFREG});  // the plain file only
    }
}

// Right before a name goes, the engine looks at what it holds now: when that cannot be
// examined, the name may hold something put there since the renames, so it stays and is
// reported instead of being removed unchecked.
TEST(EraseSeam, ANameWhoseEntryCannotBeExaminedIsNotRemoved) {
    TempDir dir;
    for (const int passes : {0, 1}) {
        SCOPED_TRACE(passes);
        const std::string work = dir / ("work" + std::to_string(passes));
        ASSERT_TRUE(MakeDirs(work));
        const std::string path = work + "/letter.txt";
        ASSERT_TRUE(WriteFile(path, "letter"));
        FaultyFileSystem fs;
        fs.failStatName = "aaaaaaaa.aaa";  // the name every entry has after its renames
        EraseRun run(passes, &fs);
        run.Run({path});
        const char* what = passes > 0 ? kOverwrittenNotRemoved : kCouldNotBeRemoved;
        EXPECT_EQ(run.target.Failures(),
                  std::vector<std::string>{path + " - " + FailureReason(what, EIO)});
        EXPECT_TRUE(Exists(work + "/aaaaaaaa.aaa"));
    }
}

// A folder that cannot be listed completely stays as it is, with what it holds, and says
// why; what lies beside it goes. So does an item that cannot be examined: it is no "not found".
TEST(EraseSeam, AFolderThatCannotBeListedStaysAndIsReported) {
    TempDir dir;
    const std::string work = dir / "work";
    ASSERT_TRUE(MakeDirs(work + "/sub"));
    ASSERT_TRUE(WriteFile(work + "/sub/inside.txt", "inside"));
    ASSERT_TRUE(WriteFile(work + "/top.txt", "top"));
    ASSERT_TRUE(WriteFile(dir / "item.txt", "item"));
    FaultyFileSystem fs;
    fs.failListName = "sub";
    fs.failStatName = dir / "item.txt";  // only where the walk looks the item up by its path
    EraseRun run(1, &fs);
    run.Run({work, dir / "item.txt"});
    EXPECT_EQ(
        run.target.Failures(),
        (std::vector<std::string>{work + "/sub - " + FailureReason(kCouldNotBeListed, EIO),
                                  dir / "item.txt - " + FailureReason(kCouldNotBeExamined, EIO)}));
    EXPECT_EQ(ReadFile(work + "/sub/inside.txt"), "inside");
    EXPECT_EQ(ReadFile(dir / "item.txt"), "item");
    EXPECT_FALSE(Exists(work + "/top.txt"));
}

// Where the root itself cannot be examined no folder can be told apart from it: a folder item
// is refused as the root would be, and a file item still goes.
TEST(EraseSeam, WhenTheRootCannotBeExaminedNoFolderIsErased) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "folder"));
    ASSERT_TRUE(WriteFile(dir / "folder/inside.txt", "inside"));
    ASSERT_TRUE(WriteFile(dir / "file.txt", "file"));
    FaultyFileSystem fs;
    fs.failStatName = "/";
    EraseRun run(1, &fs);
    run.Run({dir / "folder", dir / "file.txt"});
    EXPECT_EQ(run.target.Failures(),
              std::vector<std::string>{dir / "folder - " + std::string(kRefusedRoot)});
    EXPECT_EQ(ReadFile(dir / "folder/inside.txt"), "inside");
    EXPECT_FALSE(Exists(dir / "file.txt"));
}

// What the volume reports free decides the wipe: nothing free for us is nothing to do (not a
// failure), and what stays free once the fill files hold everything they could get is
// reported as the file system's reserve.
TEST(EraseSeam, FreeSpaceFiguresDecideWhatAWipeDoesAndSays) {
    TempDir dir;
    LoopImage image(dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string spec = image.MountPoint() + ":";
    FaultyFileSystem full;
    full.volumeFull = true;
    EraseRun nothing(1, &full);
    nothing.Run({spec});
    EXPECT_EQ(nothing.target.Failures(), std::vector<std::string>{});
    EXPECT_EQ(nothing.engine.BytesWritten(), 0u);

    FaultyFileSystem reserved;
    reserved.allFreeSpace = 5000000;
    EraseRun wipe(1, &reserved);
    wipe.Run({spec});
    EXPECT_EQ(wipe.target.Failures(), std::vector<std::string>{});
    EXPECT_GT(wipe.engine.BytesWritten(), 0u);
    const std::string note = FormatDecimalSize(5000000) + " of free space on " +
                             image.MountPoint() +
                             " could not be overwritten: reserved by the file system";
    const std::vector<std::string>& notes = wipe.engine.Notes();
    EXPECT_NE(std::find(notes.begin(), notes.end(), note), notes.end()) << notes.size();
}

}  // namespace
}  // namespace tolvane::test
