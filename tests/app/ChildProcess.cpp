#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#ifndef TOLVANE_BINARY
#error "TOLVANE_BINARY must name the built program"
#endif

namespace tolvane::test {
namespace {

bool WaitUntil(std::chrono::seconds limit, const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::string& home)
    : m_outPath(home + "/stdout"), m_errPath(home + "/stderr") {
    // The shared test main already points HOME, the XDG folders and TMPDIR into a private
    // folder; each child also gets its own home and settings, and no display.
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    std::vector<std::string> argv = {TOLVANE_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (std::string& argument : argv) {
        argvPointers.push_back(argument.data());
    }
    argvPointers.push_back(nullptr);

    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        // The child: only async-signal-safe calls until exec.
        int out = ::open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        int err = ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (out < 0 || err < 0 || ::dup2(in[0], 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0) {
            ::_exit(127);
        }
        // Default signal handling, whatever the test runner set.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argvPointers[0], argvPointers.data());
        ::_exit(127);
    }
    ::close(in[0]);
    m_in = in[1];
}

ChildProcess::~ChildProcess() {
    Signal(SIGKILL);
    Ended(true);
    CloseInput();
}

void ChildProcess::WriteInput(const std::string& text) {
    if (m_in >= 0) {
        [[maybe_unused]] ssize_t n = ::write(m_in, text.data(), text.size());
    }
}

void ChildProcess::CloseInput() {
    if (m_in >= 0) {
        ::close(m_in);
        m_in = -1;
    }
}

void ChildProcess::Signal(int signal) {
    if (m_pid > 0) {
        ::kill(m_pid, signal);
    }
}

bool ChildProcess::Ended(bool block) {
    int status = 0;
    if (m_pid > 0 && ::waitpid(m_pid, &status, block ? 0 : WNOHANG) == m_pid) {
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return m_pid <= 0;
}

bool ChildProcess::WaitFor(const std::string& path, const std::string& needle) {
    bool found = false;
    WaitUntil(std::chrono::seconds(30), [&] {
        bool ended = Ended();  // before reading, so that its last words are read too
        found = ReadFile(path).find(needle) != std::string::npos;
        return found || ended;
    });
    return found;
}

int ChildProcess::Wait() {
    if (!WaitUntil(std::chrono::seconds(120), [this] { return Ended(); })) {
        Signal(SIGKILL);
        Ended(true);
        return -1;
    }
    return m_status;
}

}  // namespace tolvane::test
