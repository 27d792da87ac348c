#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#ifndef TOLVANE_BINARY
#error "TOLVANE_BINARY must name the built program"
#endif

namespace tolvane::test {
namespace {

// The child's command line: env(1) takes the display variables and those the options unset
// out of the test's environment, puts the home folders and the options' settings in, and then
// becomes the program.
std::vector<std::string> CommandLine(const std::vector<std::string>& arguments,
                                     const std::string& home, const ChildOptions& options) {
    std::vector<std::string> argv = {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
    for (const std::string& name : options.unsetEnvironment) {
        argv.insert(argv.end(), {"-u", name});
    }
    argv.insert(argv.end(), {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config"});
    argv.insert(argv.end(), options.setEnvironment.begin(), options.setEnvironment.end());
    argv.push_back(TOLVANE_BINARY);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// A pseudo-terminal that passes output bytes unchanged and does not echo input. Returns the
// master side (non-blocking) and the slave's path, or -1.
int OpenTerminal(std::string& slavePath) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    int slave = -1;
    termios modes;
    bool ok = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 &&
              ::ptsname_r(master, name, sizeof name) == 0 &&
              (slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) >= 0 &&
              ::tcgetattr(slave, &modes) == 0;
    if (ok) {
        slavePath = name;
        modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        modes.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ok = ::tcsetattr(slave, TCSANOW, &modes) == 0 && ::fcntl(master, F_SETFL, O_NONBLOCK) == 0;
    }
    if (slave >= 0) {
        ::close(slave);
    }
    if (!ok && master >= 0) {
        ::close(master);
        master = -1;
    }
    return master;
}

// In the forked child, before exec: the holder of options.terminalHolder, in a process group
// of its own within the child's session. Only async-signal-safe calls.
void StartTerminalHolder(int terminal, const int held[2]) {
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::setpgid(0, 0);
        ::signal(SIGTTOU, SIG_IGN);  // a background group may then take the foreground
        ::close(held[1]);
        char command;
        while (::read(held[0], &command, 1) == 1) {
            if (::tcsetpgrp(terminal, ::getpgrp()) == 0) {
                [[maybe_unused]] ssize_t n =
                    ::write(terminal, kTerminalTaken, sizeof kTerminalTaken - 1);
            }
        }
        ::_exit(0);
    }
    ::setpgid(holder, holder);  // settled before the test can ask for it
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::string& home,
                           const ChildOptions& options)
    : m_outPath(home + "/stdout"), m_errPath(home + "/stderr") {
    std::vector<std::string> argv = CommandLine(arguments, home, options);
    std::vector<char*> argvPointers = Pointers(argv);

    // A previous child's words must not be taken for this one's.
    ::unlink(m_outPath.c_str());
    ::unlink(m_errPath.c_str());
    std::string slavePath;
    if (options.terminal && (m_terminal = OpenTerminal(slavePath)) < 0) {
        return;
    }
    int in[2];
    int held[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0 || (options.terminalHolder && ::pipe2(held, O_CLOEXEC) != 0)) {
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        // The child: only async-signal-safe calls until exec. A session of its own: no
        // controlling terminal, unless the slave opened below becomes it.
        ::setsid();
        int terminal = -1;
        if (options.terminal) {
            terminal = ::open(slavePath.c_str(), O_RDWR | O_CLOEXEC);
            if (terminal < 0 || ::ioctl(terminal, TIOCSCTTY, 0) != 0) {
                ::_exit(127);
            }
        }
        if (options.terminalHolder) {
            StartTerminalHolder(terminal, held);
        }
        int out = ::open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        int err = options.errorOnTerminal
                      ? terminal
                      : ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        int input = options.input == ChildOptions::Input::kNull
                        ? ::open("/dev/null", O_RDONLY | O_CLOEXEC)
                        : in[0];
        if (out < 0 || err < 0 || input < 0 || ::dup2(input, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0) {
            ::_exit(127);
        }
        if (options.input == ChildOptions::Input::kClosed) {
            ::close(0);
        }
        if (options.closeOutput) {
            ::close(1);
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
    if (held[0] >= 0) {
        ::close(held[0]);
        m_holder = held[1];
    }
}

ChildProcess::~ChildProcess() {
    Signal(SIGKILL);
    Ended(true);
    CloseInput();
    if (m_holder >= 0) {
        ::close(m_holder);  // the holder ends when its pipe does
    }
    if (m_terminal >= 0) {
        ::close(m_terminal);
    }
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

void ChildProcess::Type(const std::string& text) {
    if (m_terminal >= 0) {
        [[maybe_unused]] ssize_t n = ::write(m_terminal, text.data(), text.size());
    }
}

void ChildProcess::GiveTerminalAway() {
    if (m_holder >= 0) {
        [[maybe_unused]] ssize_t n = ::write(m_holder, "x", 1);
    }
}

std::string ChildProcess::Terminal() {
    char buffer[4096];
    ssize_t n = 0;
    // Non-blocking: ends when nothing more is there (EAGAIN) or no slave is open (EIO).
    while (m_terminal >= 0 && (n = ::read(m_terminal, buffer, sizeof buffer)) > 0) {
        m_terminalText.append(buffer, static_cast<std::size_t>(n));
    }
    return WithoutHostNotes(m_terminalText);
}

bool ChildProcess::Ended(bool block) {
    int status = 0;
    if (m_pid > 0 && ::waitpid(m_pid, &status, block ? 0 : WNOHANG) == m_pid) {
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return m_pid <= 0;
}

bool ChildProcess::WaitFor(const std::function<std::string()>& read, const std::string& needle) {
    bool found = false;
    Eventually([&] {
        bool ended = Ended();  // before reading, so that its last words are read too
        found = read().find(needle) != std::string::npos;
        return found || ended;
    });
    return found;
}

int ChildProcess::Wait(std::chrono::seconds limit) {
    // The terminal is read meanwhile, so the child never blocks writing to a full one.
    if (!Eventually(
            [this] {
                Terminal();
                return Ended();
            },
            {}, limit)) {
        Signal(SIGKILL);
        Ended(true);
        return -1;
    }
    Terminal();
    return m_status;
}

}  // namespace tolvane::test
