// The other promise: nothing outside what the user chose is touched. A chosen folder may hold
// links to things outside it, special files and mount points; the erase removes the links and
// special files themselves and never reaches through them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "EngineTestHelpers.h"
#include "LoopImage.h"
#include "TempDir.h"

namespace tolvane::test {
namespace {

class EraseSelectionTest : public testing::TestWithParam<int> {};

// A folder holding links, special files, a hidden and a read-only file and two mounts, and
// links and special files chosen one by one (a link also with the separator a shell's
// completion adds to a link to a folder).
TEST_P(EraseSelectionTest, RemovesLinksAndSpecialFilesButNothingBeyondThem) {
    TempDir tmp;
    const std::string outside = tmp / "outside";
    const std::string chosen = tmp / "chosen";
    const std::string items = tmp / "items";
    ASSERT_TRUE(MakeDirs(outside + "/folder/inner") && MakeDirs(outside + "/bound"));
    ASSERT_TRUE(WriteFile(outside + "/target.txt", "a file outside the selection"));
    ASSERT_TRUE(WriteFile(outside + "/folder/one.txt", "one"));
    ASSERT_TRUE(WriteFile(outside + "/folder/inner/two.txt", "two"));
    ASSERT_TRUE(WriteFile(outside + "/bound/same-volume.txt", "reached by a bind mount"));
    ASSERT_TRUE(MakeDirs(chosen + "/nested") && MakeDirs(items));
    for (const std::string& folder : {chosen, items}) {
        ASSERT_EQ(::symlink((outside + "/target.txt").c_str(), (folder + "/to-file").c_str()), 0);
        ASSERT_EQ(::symlink((outside + "/folder").c_str(), (folder + "/to-folder").c_str()), 0);
        ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
        ASSERT_TRUE(MakeSocket(folder + "/socket"));
    }
    ASSERT_EQ(::symlink("../../outside/folder", (chosen + "/nested/relative").c_str()), 0);
    ASSERT_TRUE(WriteFile(chosen + "/read-only.txt", "no write permission"));
    ASSERT_EQ(::chmod((chosen + "/read-only.txt").c_str(), 0444), 0);
    ASSERT_TRUE(WriteFile(chosen + "/.hidden", "hidden"));
    ASSERT_TRUE(WriteFile(chosen + "/nested/plain.txt", "plain"));

    // A volume mounted inside the chosen folder, and a folder of the same volume bound there
    // (same device, another mount): both are other mounts the walk must not enter.
    LoopImage image(tmp / "image", "ext4", 32);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    ASSERT_TRUE(WriteFile(image.MountPoint() + "/on-the-image.txt", "inside the mounted volume"));
    ASSERT_TRUE(MakeDirs(chosen + "/mounted") && MakeDirs(chosen + "/bound"));
    BindMount mounted(image.MountPoint(), chosen + "/mounted");
    BindMount bound(outside + "/bound", chosen + "/bound");
    ASSERT_TRUE(mounted.Mounted() && bound.Mounted()) << mounted.SkipReason();

    const TreeState outsideBefore = Snapshot(outside);
    const TreeState imageBefore = Snapshot(image.MountPoint());
    ASSERT_EQ(Snapshot(chosen + "/mounted").size(), imageBefore.size());

    // A FIFO opened for writing would block until a reader comes: the bound turns a hang
    // into a failure.
    EraseRun run(GetParam());
    run.Run(
        {chosen, items + "/to-file", items + "/to-folder/", items + "/fifo", items + "/socket"});
    ASSERT_TRUE(run.Finished()) << "the erase hung (a FIFO opened for writing?)";
    EXPECT_EQ(run.engine.FailedCount() + run.engine.NotFoundCount(), 0);
    EXPECT_EQ(run.target.Failures(), std::vector<std::string>{});
    // The chosen folder stays because it holds the mount points, and they stay under their
    // own names.
    EXPECT_EQ(ListNames(chosen), (std::vector<std::string>{"bound", "mounted"}));
    EXPECT_TRUE(ListNames(items).empty());
    EXPECT_EQ(Snapshot(outside), outsideBefore);
    EXPECT_EQ(Snapshot(image.MountPoint()), imageBefore);
    EXPECT_EQ(ReadFile(chosen + "/mounted/on-the-image.txt"), "inside the mounted volume");
    EXPECT_EQ(ReadFile(chosen + "/bound/same-volume.txt"), "reached by a bind mount");
}

INSTANTIATE_TEST_SUITE_P(Passes, EraseSelectionTest, testing::Values(1, 0),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "pass";
                         });

}  // namespace
}  // namespace tolvane::test
