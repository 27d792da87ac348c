// Items the program refuses before touching anything, each with a line that says why: names
// ending in "." or ".." (they name a folder other than the one the user read), files of
// kernel file systems (controls of the running system), and drive specs that name no volume
// of user data.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include "EngineTestHelpers.h"
#include "TempDir.h"
#include "engine/EraseEngine.h"
#include "engine/FailureReasons.h"

namespace tolvane::test {
namespace {

std::string RefusedLine(const std::string& path, const std::string& reason) {
    return kBlank + path + " - " + reason + "\n";
}

TEST(EraseRefusal, FinalDotOrDotDotIsRefusedAndNothingIsTouched) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "elsewhere/inside"));
    ASSERT_TRUE(MakeDirs(dir / "work/dir"));
    ASSERT_TRUE(WriteFile(dir / "elsewhere/inside/keep.txt", "keep"));
    ASSERT_TRUE(WriteFile(dir / "work/dir/keep.txt", "keep"));
    ASSERT_EQ(symlink((dir / "elsewhere/inside").c_str(), (dir / "work/linkdir").c_str()), 0);
    // "work/linkdir/.." means the link target's parent to the kernel, not "work".
    const std::vector<std::string> paths = {dir / "work/linkdir/..", dir / "work/dir/..",
                                            dir / "work/dir/.", dir / "work/dir/../"};
    for (int passes : {1, 0}) {
        EraseEngine engine(passes);
        std::string output = RunEraseHere(engine, paths);
        EXPECT_EQ(engine.FailedCount(), 4);
        std::string expected;
        for (const std::string& path : paths) {
            expected += RefusedLine(path, kRefusedDotName);
        }
        EXPECT_NE(output.find(expected), std::string::npos) << output;
    }
    EXPECT_EQ(ReadFile(dir / "elsewhere/inside/keep.txt"), "keep");
    EXPECT_EQ(ReadFile(dir / "work/dir/keep.txt"), "keep");
    EXPECT_TRUE(Exists(dir / "work/linkdir"));
}

TEST(EraseRefusal, KernelFilesAreNeverWritten) {
    const std::string comm = ReadFile("/proc/self/comm");
    ASSERT_FALSE(comm.empty()) << "no procfs here";
    const std::vector<std::string> paths = {"/proc/self/comm", "/proc/self/*", "/proc/self/fd"};
    EraseEngine engine(1);
    std::string output = RunEraseHere(engine, paths);
    EXPECT_EQ(ReadFile("/proc/self/comm"), comm);
    EXPECT_EQ(engine.FailedCount(), 3);
    for (const std::string& path : paths) {
        EXPECT_NE(output.find(RefusedLine(path, kRefusedKernelFileSystem)), std::string::npos)
            << output;
    }
}

// A path ending in ':' that is no volume of user data says what it is instead of "not found".
TEST(EraseRefusal, DriveSpecsOfNoVolumeSayWhy) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "folder"));
    std::vector<std::pair<std::string, std::string>> cases = {
        {":", kRefusedNotAVolume},
        {dir / "folder:", kRefusedNotAVolume},
        {dir / "folder/missing:", kRefusedNotAVolume},
    };
    ASSERT_TRUE(MakeDirs(dir / "ram"));
    const bool ram = mount("tolvane-test", (dir / "ram").c_str(), "tmpfs", 0, "size=1m") == 0;
    if (ram) {
        cases.push_back({dir / "ram:", kRefusedRamVolume});
    }
    EraseEngine engine(1);
    std::vector<std::string> paths;
    for (const auto& [path, reason] : cases) {
        paths.push_back(path);
    }
    std::string output = RunEraseHere(engine, paths);
    if (ram) {
        EXPECT_EQ(umount((dir / "ram").c_str()), 0);
    }
    EXPECT_EQ(engine.FailedCount(), static_cast<int>(cases.size()));
    EXPECT_EQ(engine.NotFoundCount(), 0);
    for (const auto& [path, reason] : cases) {
        EXPECT_NE(output.find(RefusedLine(path, reason)), std::string::npos) << output;
    }
    if (!ram) {
        GTEST_SKIP() << "a tmpfs cannot be mounted here; the RAM volume case was not run";
    }
}

}  // namespace
}  // namespace tolvane::test
