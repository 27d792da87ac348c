// The main window done for real: a private X server, the openbox window manager, the xcb
// platform and the real keyboard and pointer through xdotool. Each scenario runs in a child
// (real_window_app) inside a private mount namespace whose root is read-only, so a faulty run
// can reach nothing but the test's own folder: a fresh /tmp (a RAM file system, for the X
// server) with the test's root folder bound back into it. `timeout` ends the child, its
// server and its window manager as one process group if it hangs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "TempDir.h"
#include "WindowSession.h"

#ifndef TOLVANE_REAL_WINDOW_APP
#error "TOLVANE_REAL_WINDOW_APP must name the window program"
#endif

namespace tolvane {
namespace {

class RealWindowTest : public testing::Test {
protected:
    void SetUp() override {
        const std::string missing =
            test::MissingProgram({"Xvfb", "openbox", "xdotool", "timeout", "unshare"});
        if (!missing.empty()) {
            GTEST_SKIP() << missing << " is missing (scripts/setup.sh installs it)";
        }
        if (test::RunCommand("unshare -m sh -c 'mount --make-rprivate / && "
                             "mount -o remount,bind,ro /' 2>/dev/null") != 0) {
            GTEST_SKIP() << "no private mount namespace with a read-only root here";
        }
    }

    // Runs the scenario in the namespace; its output in `output`, its status returned.
    int RunScenario(const std::string& scenario, std::string* output) {
        // HOME, the XDG folders and TMPDIR all live in the test program's root folder.
        const std::string home = std::getenv("HOME");
        const std::string root = home.substr(0, home.rfind('/'));
        const std::string display = ":" + std::to_string(200 + ::getpid() % 700);
        const std::string script =
            "set -e; mount --make-rprivate /\n"
            // The root folder is kept open across the new /tmp, then bound back at its path.
            "exec 3<'" +
            root + "'; mount -t tmpfs tmpfs /tmp; mkdir -p '" + root +
            "'\nmount --no-canonicalize --bind /proc/self/fd/3 '" + root + "'; exec 3<&-\n" +
            test::kReadOnlyRootLines + "Xvfb " + display +
            " -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &\nxs=$!\nexport DISPLAY=" +
            display + "\nsleep 1.5\n" + test::kWindowManagerLines + test::kWindowProgramEnv +
            " '" TOLVANE_REAL_WINDOW_APP "' " + scenario + " '" + m_dir.Path() +
            "' && status=0 || status=$?\nexit $status\n";
        const std::string file = m_dir / "scenario.sh";
        EXPECT_TRUE(test::WriteFile(file, script));
        return test::RunCommand("timeout -k 10 150 unshare -m sh '" + file + "' </dev/null 2>&1",
                                output);
    }

    test::TempDir m_dir;
};

// A folder inserted with the mouse and Insert, then renamed in a shell, then erased: the
// window says it was not found (a Warning, not "Data successfully erased"), its row stays
// marked, and its data and its neighbour stay.
TEST_F(RealWindowTest, RenamedFolderIsReportedNotFoundAndItsDataStays) {
    std::string output;
    const int status = RunScenario("renamed", &output);
    ASSERT_NE(status, 124) << "the window program hung\n" << output;
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("closing: Warning: Following files can't be erased:\n" + m_dir.Path() +
                          "/work/victim - not found"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("rows: 1 marked not found"), std::string::npos) << output;
    EXPECT_EQ(test::ReadFile(m_dir / "work/victim-renamed/data.bin"), "precious");
}

// The window manager's close during a run, Yes to the stop question: the window closes once
// the run has stopped, and the bar is back at 0 behind the run's last box.
TEST_F(RealWindowTest, CloseDuringARunClosesOnceTheRunStopped) {
    std::string output;
    const int status = RunScenario("close", &output);
    ASSERT_NE(status, 124) << "the window program hung\n" << output;
    EXPECT_NE(output.find("stop: Question: Do you want to stop erasing?"), std::string::npos)
        << output;
    EXPECT_NE(output.find("window: closed"), std::string::npos) << output;
    EXPECT_EQ(status, 0) << output;
    const std::size_t closing = output.find("closing: ");
    if (closing != std::string::npos) {
        EXPECT_NE(output.find("bar: 0", closing), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace tolvane
