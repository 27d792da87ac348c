// The main window driven as a user would: a private X server (xvfb-run) with a window manager
// (openbox), the xcb platform, keys and clicks from xdotool. The window runs in a private
// mount namespace whose "/" is read-only and whose home folder lies on a loop image the test
// made, so whatever a wrong pick would erase can only be on that image. The steps are in
// window_app; `timeout` ends it, its server and xdotool if it hangs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "LoopImage.h"
#include "TempDir.h"

#ifndef TOLVANE_WINDOW_APP
#error "TOLVANE_WINDOW_APP must name the window program"
#endif

namespace tolvane::test {
namespace {

// Runs in xvfb-run with the home folder, then the window program and its arguments: starts
// openbox and ends it however the script ends (a timeout's signal becomes an exit), then runs
// the program in its own mount namespace, where "/" is made read-only (the flag is the
// mount's, not the file system's) and checked to be so before anything starts.
constexpr char kScript[] = R"(openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null' EXIT
trap 'exit 143' TERM INT HUP
sleep 1
unshare -m --propagation private sh -c '
mount -o remount,bind,ro / || { echo "cannot make / read-only"; exit 90; }
if touch /.tolvane-write-probe 2>/dev/null; then
    rm -f /.tolvane-write-probe; echo "/ is still writable"; exit 91
fi
home="$1"; shift
exec env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.local/state" \
    XDG_RUNTIME_DIR="$home/.runtime" TMPDIR="$home/.tmp" "$@"
' sh "$@"
)";

class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "mount namespaces and loop images need root";
        }
        if (const std::string missing = MissingProgram(
                {"xvfb-run", "Xvfb", "xdotool", "openbox", "unshare", "timeout", "mount"});
            !missing.empty()) {
            GTEST_SKIP() << missing << " is missing (scripts/setup.sh installs it)";
        }
        TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
        for (const char* folder : {"/.config", "/.local/share", "/.cache", "/.local/state", "/.tmp",
                                   "/work", "/.runtime"}) {
            ASSERT_TRUE(MakeDirs(m_home + folder));
        }
        ASSERT_EQ(::chmod((m_home + "/.runtime").c_str(), 0700), 0);
        ASSERT_TRUE(WriteFile(m_temp / "scenario.sh", kScript));
    }

    // Runs the scenario with these arguments after the home folder and expects it to pass;
    // returns its output.
    std::string RunScenario(const std::string& scenario, const std::string& arguments = "") {
        std::string output;
        const int status = RunOnPrivateXServer(200,
                                               "sh '" + (m_temp / "scenario.sh") + "' '" + m_home +
                                                   "' '" TOLVANE_WINDOW_APP "' " + scenario + " '" +
                                                   m_home + "' " + arguments,
                                               output);
        EXPECT_NE(status, 124) << "the scenario hung\n" << output;
        EXPECT_EQ(status, 0) << output;
        EXPECT_NE(output.find("scenario passed"), std::string::npos) << output;
        return output;
    }

    TempDir m_temp;
    // Room for the long run's files.
    LoopImage m_image{m_temp / "b", "ext4", 192};
    const std::string m_home = m_image.MountPoint() + "/home";
};

// A file picked in the tree by keyboard and by mouse is the one erased, and its neighbours,
// its folder and the home folder stay; another image mounted and unmounted while a folder is
// picked leaves the pick where it was.
TEST_F(WindowTest, PicksInTheTreeAreExactlyWhatIsErased) {
    LoopImage second(m_temp / "second", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(second);
    ASSERT_TRUE(second.Unmount());
    // Mounted where it sorts before the first image, so its root comes before the others.
    ASSERT_TRUE(MakeDirs(m_temp / "a"));
    const std::string job = m_home + "/work/job/";
    ASSERT_TRUE(MakeDirs(job));
    for (const char* name : {"alpha.bin", "beta.bin", "gamma.bin", "delta.bin"}) {
        ASSERT_TRUE(WriteFile(job + name, std::string(4096, name[0])));
    }
    ASSERT_TRUE(WriteFile(m_home + "/work/keep.txt", "keep"));

    RunScenario("picks", "'" + second.ImagePath() + "' '" + (m_temp / "a") + "'");
    EXPECT_FALSE(Exists(job + "alpha.bin"));
    EXPECT_FALSE(Exists(job + "gamma.bin"));
    EXPECT_TRUE(Exists(job + "beta.bin"));
    EXPECT_TRUE(Exists(job + "delta.bin"));
    EXPECT_TRUE(Exists(m_home + "/work/keep.txt"));
}

// A folder inserted with the mouse and Insert, then renamed in a shell, then erased: the
// window says it was not found (a Warning, not "Data successfully erased"), its row stays
// marked, and its data and its neighbour stay.
TEST_F(WindowTest, RenamedFolderIsReportedNotFoundAndItsDataStays) {
    const std::string output = RunScenario("renamed");
    EXPECT_NE(output.find("closing: Warning: Following files can't be erased:\n" + m_home +
                          "/work/victim - not found"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("rows: 1 marked not found"), std::string::npos) << output;
    EXPECT_EQ(ReadFile(m_home + "/work/victim-renamed/data.bin"), "precious");
}

// The window manager's close during a run, Yes to the stop question: the window closes once
// the run has stopped, and the bar is back at 0 behind the run's last box.
TEST_F(WindowTest, CloseDuringARunClosesOnceTheRunStopped) {
    const std::string output = RunScenario("close");
    EXPECT_NE(output.find("stop: Question: Do you want to stop erasing?"), std::string::npos)
        << output;
    EXPECT_NE(output.find("window: closed"), std::string::npos) << output;
    const std::size_t closing = output.find("closing: ");
    if (closing != std::string::npos) {
        EXPECT_NE(output.find("bar: 0", closing), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace tolvane::test
