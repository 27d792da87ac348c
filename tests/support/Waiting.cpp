#include "Waiting.h"

#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <thread>

namespace tolvane::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

}  // namespace

bool Eventually(const std::function<bool()>& done, const std::function<void()>& meanwhile,
                std::chrono::milliseconds limit) {
    const auto giveUp = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > giveUp) {
            return false;
        }
        if (meanwhile) {
            meanwhile();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool ReadSome(int fd, std::string& into, std::chrono::milliseconds limit) {
    pollfd waited{fd, POLLIN, 0};
    const int ready = ::poll(&waited, 1, static_cast<int>(limit.count()));
    if (ready <= 0) {
        return false;  // nothing came in time, or poll failed: either way nothing to read
    }
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool ReadToEnd(int fd, std::string& into, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        pollfd waited{fd, POLLIN, 0};
        const int ready = ::poll(&waited, 1, MillisecondsLeft(deadline));
        if (ready == 0) {
            return false;
        }
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (!ReadSome(fd, into, std::chrono::milliseconds(0))) {
            return true;  // the end (or a read error, which ends it as well)
        }
    }
}

int WaitForChild(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const bool ended =
        Eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, {}, limit);
    if (!ended) {
        ADD_FAILURE() << "child " << pid << " did not end within " << limit.count() << " ms";
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    return status;
}

void CountGate::Arrive() {
    std::unique_lock lock(m_mutex);
    m_arrived = true;
    m_changed.wait(lock, [this] { return m_released; });
}

bool CountGate::Arrived() {
    std::lock_guard lock(m_mutex);
    return m_arrived;
}

void CountGate::Release() {
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
}

std::set<pid_t> ThreadIds() {
    // ThreadSanitizer's runtime starts a helper thread when the first thread is made: one made
    // here first keeps it out of any difference between two calls. A joined thread can stay
    // listed for a moment while the kernel ends it, so this one's own id is left out.
    pid_t made = 0;
    std::thread([&made] { made = ::gettid(); }).join();
    std::set<pid_t> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                ids.insert(static_cast<pid_t>(std::stol(entry->d_name)));
            }
        }
        closedir(dir);
    }
    ids.erase(made);
    return ids;
}

bool ThreadsAsBefore(const std::set<pid_t>& before) {
    // Threads that were joined can stay listed for a moment while the kernel ends them.
    return Eventually([&] { return ThreadIds() == before; });
}

}  // namespace tolvane::test
