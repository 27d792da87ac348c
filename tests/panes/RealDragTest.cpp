// Drag and drop done for real: a private X server (Xvfb), the xcb platform, and the mouse
// driven by xdotool through Qt's own drag loop. The drags themselves run in a child program
// (real_drag_app) so that this test can always end it and the server, whatever happens.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"

extern char** environ;

#ifndef TOLVANE_REAL_DRAG_APP
#error "TOLVANE_REAL_DRAG_APP must name the drag program"
#endif

namespace tolvane {
namespace {

using namespace std::chrono_literals;

bool OnPath(const std::string& program) {
    return test::RunCommand("command -v " + program) == 0;
}

// Starts a program in a process group of its own with extra environment entries and its
// output in `log`; -1 when it could not be started. `keepOpen` is a descriptor it inherits.
pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extra,
            const std::string& log, int keepOpen = -1) {
    std::vector<std::string> environment = extra;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);  // later entries lose to the extra ones
    }
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid > 0) {
        ::setpgid(pid, pid);  // also here: a kill of the group may come before the child runs
        return pid;
    }
    if (pid < 0) {
        return -1;
    }
    // The child: only async-signal-safe calls until exec.
    ::setpgid(0, 0);
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) {
        ::_exit(127);
    }
    if (keepOpen >= 0) {
        ::fcntl(keepOpen, F_SETFD, 0);
    }
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

// Waits for a child; false (and the child's group killed) when it has not ended in time.
bool WaitFor(pid_t pid, std::chrono::seconds limit, int& status) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A private X server on a free display, ended with the object.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const std::string& log) {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0) {
            return;
        }
        // The server picks a free display itself and writes its number once it listens.
        m_pid = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                       "1024x768x24", "-nolisten", "tcp"},
                      {}, log, ready[1]);
        ::close(ready[1]);
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char c;
        while (m_pid > 0 && ::poll(&wait, 1, 20000) == 1 && ::read(ready[0], &c, 1) == 1 &&
               c != '\n') {
            number.push_back(c);
        }
        ::close(ready[0]);
        if (!number.empty()) {
            m_display = ":" + number;
        }
    }
    ~VirtualDisplay() {
        if (m_pid <= 0) {
            return;
        }
        ::kill(-m_pid, SIGTERM);
        int status = 0;
        if (!WaitFor(m_pid, 10s, status)) {
            ADD_FAILURE() << "Xvfb had to be killed";
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Empty when the server did not start.
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// The program drags two selected files from the side list onto the erase list, and then
// both rows out of the erase list onto the side list, and says what each drag did.
TEST(RealDragTest, XdotoolDragsFilesOntoTheEraseListAndRowsOutOfIt) {
    if (!OnPath("Xvfb") || !OnPath("xdotool")) {
        GTEST_SKIP() << "Xvfb or xdotool is missing (scripts/setup.sh installs both)";
    }
    test::TempDir temp;
    VirtualDisplay display(temp / "xvfb.log");
    ASSERT_FALSE(display.Display().empty()) << test::ReadFile(temp / "xvfb.log");

    const std::string log = temp / "drag.log";
    pid_t app = Spawn({TOLVANE_REAL_DRAG_APP, temp.Path()},
                      {"DISPLAY=" + display.Display(), "QT_QPA_PLATFORM=xcb"}, log);
    ASSERT_GT(app, 0);
    int status = 0;
    ASSERT_TRUE(WaitFor(app, 90s, status)) << "the drag program hung\n" << test::ReadFile(log);
    const std::string output = test::ReadFile(log);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("dragged in: a.txt b.txt"), std::string::npos) << output;
    EXPECT_NE(output.find("dragged out: 0 rows left"), std::string::npos) << output;
}

}  // namespace
}  // namespace tolvane
