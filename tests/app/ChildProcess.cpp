#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

extern char** environ;

namespace tolvane::test {
namespace {

bool Dropped(const char* entry) {
    // Whatever could lead the child to a display or to the user's real files.
    for (const char* prefix : {"DISPLAY=", "WAYLAND_DISPLAY=", "HOME=", "TMPDIR=", "XDG_"}) {
        if (std::strncmp(entry, prefix, std::strlen(prefix)) == 0) {
            return true;
        }
    }
    return false;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& home) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!Dropped(*entry)) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("HOME=" + home);
    environment.push_back("XDG_CONFIG_HOME=" + home + "/.config");
    environment.push_back("XDG_DATA_HOME=" + home + "/.local/share");
    environment.push_back("XDG_CACHE_HOME=" + home + "/.cache");
    environment.push_back("TMPDIR=" + home + "/tmp");
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : args) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // The child starts with default signal handling, whatever the test runner set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    if (::posix_spawn(&m_pid, program.c_str(), &actions, &attributes, argv.data(), envp.data()) !=
        0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    m_in = in[1];
    m_outFd = out[0];
    m_errFd = err[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (int fd : {m_in, m_outFd, m_errFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
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

bool ChildProcess::Pump(int timeoutMs) {
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    if (m_outFd < 0 && m_errFd < 0) {
        return false;
    }
    if (::poll(fds, 2, timeoutMs) <= 0) {
        return true;
    }
    int* ends[2] = {&m_outFd, &m_errFd};
    std::string* texts[2] = {&m_out, &m_err};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        char buffer[4096];
        ssize_t n = ::read(*ends[i], buffer, sizeof buffer);
        if (n > 0) {
            texts[i]->append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(*ends[i]);
            *ends[i] = -1;
        }
    }
    return true;
}

bool ChildProcess::WaitForOutput(const std::string& needle, int timeoutMs) {
    std::int64_t deadline = NowMs() + timeoutMs;
    while (m_out.find(needle) == std::string::npos) {
        if (NowMs() > deadline || !Pump(50)) {
            return false;
        }
    }
    return true;
}

bool ChildProcess::WaitForError(const std::string& needle, int timeoutMs) {
    std::int64_t deadline = NowMs() + timeoutMs;
    while (m_err.find(needle) == std::string::npos) {
        if (NowMs() > deadline || !Pump(50)) {
            return false;
        }
    }
    return true;
}

int ChildProcess::Wait(int timeoutMs) {
    std::int64_t deadline = NowMs() + timeoutMs;
    while (Pump(50)) {
        if (NowMs() > deadline) {
            ::kill(m_pid, SIGKILL);
            break;
        }
    }
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tolvane::test
