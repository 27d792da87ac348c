// The main window driven as a user would: a private X server (xvfb-run) with a window manager
// (openbox), the xcb platform, keys and clicks from xdotool. The window runs in a private
// mount namespace whose "/" is read-only and whose home folder lies on a loop image the test
// made, so whatever a wrong pick would erase can only be on that image. The steps are in
// window_scenario_app; `timeout` ends it, its server and xdotool if it hangs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "LoopImage.h"
#include "TempDir.h"
#include "WindowSession.h"

#ifndef TOLVANE_WINDOW_SCENARIO_APP
#error "TOLVANE_WINDOW_SCENARIO_APP must name the scenario program"
#endif

namespace tolvane {
namespace {

using test::kReadOnlyRootLines;
using test::kWindowManagerLines;
using test::kWindowProgramEnv;
using test::LoopImage;
using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

// Runs in xvfb-run: the window manager, then the program in its own mount namespace, where
// "/" is made read-only and checked to be so before anything starts. $1 home, $2 program, $3
// image, $4 its mount point.
std::string Script() {
    return std::string(kWindowManagerLines) + "unshare -m --propagation private sh -c '\n" +
           kReadOnlyRootLines +
           R"(exec env HOME="$1" XDG_CONFIG_HOME="$1/.config" XDG_DATA_HOME="$1/.local/share" \
    XDG_CACHE_HOME="$1/.cache" XDG_STATE_HOME="$1/.local/state" \
    XDG_RUNTIME_DIR="$1/.runtime" TMPDIR="$1/.tmp" )" +
           kWindowProgramEnv + R"( "$2" "$1" "$3" "$4"
' sh "$1" "$2" "$3" "$4"
)";
}

// A file picked in the tree by keyboard and by mouse is the one erased, and its neighbours,
// its folder and the home folder stay; another image mounted and unmounted while a folder is
// picked leaves the pick where it was.
TEST(WindowScenarioTest, PicksInTheTreeAreExactlyWhatIsErased) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mount namespaces and loop images need root";
    }
    const std::string missing = test::MissingProgram(
        {"xvfb-run", "Xvfb", "xdotool", "openbox", "unshare", "timeout", "mount"});
    if (!missing.empty()) {
        GTEST_SKIP() << missing << " is missing (scripts/setup.sh installs it)";
    }
    TempDir temp;
    LoopImage image(temp / "b", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    LoopImage second(temp / "second", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(second);
    ASSERT_TRUE(second.Unmount());
    // Mounted where it sorts before the first image, so its root comes before the others.
    ASSERT_TRUE(MakeDirs(temp / "a"));

    const std::string home = image.MountPoint() + "/home";
    const std::string job = home + "/work/job/";
    for (const char* folder :
         {"/.config", "/.local/share", "/.cache", "/.local/state", "/.tmp", "/work/job"}) {
        ASSERT_TRUE(MakeDirs(home + folder));
    }
    ASSERT_TRUE(MakeDirs(home + "/.runtime"));
    ASSERT_EQ(::chmod((home + "/.runtime").c_str(), 0700), 0);
    for (const char* name : {"alpha.bin", "beta.bin", "gamma.bin", "delta.bin"}) {
        ASSERT_TRUE(WriteFile(job + name, std::string(4096, name[0])));
    }
    ASSERT_TRUE(WriteFile(home + "/work/keep.txt", "keep"));
    ASSERT_TRUE(WriteFile(temp / "scenario.sh", Script()));

    std::string output;
    const int status = test::RunCommand(
        "timeout -k 10 200 xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' sh '" +
            (temp / "scenario.sh") + "' '" + home + "' '" TOLVANE_WINDOW_SCENARIO_APP "' '" +
            second.ImagePath() + "' '" + (temp / "a") + "' </dev/null 2>&1",
        &output);
    ASSERT_NE(status, 124) << "the scenario hung\n" << output;
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("scenario passed"), std::string::npos) << output;

    namespace fs = std::filesystem;
    EXPECT_FALSE(fs::exists(job + "alpha.bin"));
    EXPECT_FALSE(fs::exists(job + "gamma.bin"));
    EXPECT_TRUE(fs::exists(job + "beta.bin"));
    EXPECT_TRUE(fs::exists(job + "delta.bin"));
    EXPECT_TRUE(fs::exists(home + "/work/keep.txt"));
}

}  // namespace
}  // namespace tolvane
