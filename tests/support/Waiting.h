#pragma once

// Waiting in tests, always with a deadline: a broken worker or child fails its test instead of
// hanging the suite. The limits are guards far beyond any normal delay, not measurements.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace tolvane::test {

// Polls `done` until it holds, running `meanwhile` between the polls (a test with a window runs
// its event loop there); false after `limit`.
bool Eventually(const std::function<bool()>& done, const std::function<void()>& meanwhile = {},
                std::chrono::milliseconds limit = std::chrono::minutes(1));

// Appends to `into` what is there on `fd`, waiting at most `limit` for something to come; false
// at the end of the stream or when nothing came.
bool ReadSome(int fd, std::string& into, std::chrono::milliseconds limit = std::chrono::minutes(1));

// Appends to `into` all that comes on `fd` until its writers close it; false when that takes
// longer than `limit`.
bool ReadToEnd(int fd, std::string& into, std::chrono::milliseconds limit);

// Waits for the child process `pid` to end and returns its wait status. One still running after
// `limit` is killed, and the test fails.
int WaitForChild(pid_t pid, std::chrono::milliseconds limit);

// Holds a worker at a point of its work (Arrive) until the test has done what it must do
// meanwhile (Release); the test sees the arrival with Arrived().
class CountGate {
public:
    void Arrive();
    bool Arrived();
    void Release();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_arrived = false;
    bool m_released = false;
};

// Work that, once begun, stays busy until the test releases it: a worker slow to stop. The
// worker calls Run(); the test sees `busy`, sets `release`, and sees `returned`.
struct HeldWork {
    std::atomic<bool> busy{false};
    std::atomic<bool> release{false};
    std::atomic<bool> returned{false};

    void Run() {
        busy = true;
        while (!release.load()) {
            std::this_thread::yield();
        }
        returned = true;
    }
};

// The kernel ids of this process's threads now, to see which threads a step started or left.
std::set<pid_t> ThreadIds();
// Whether the threads are those of `before` again, soon: nothing a step started outlived it.
bool ThreadsAsBefore(const std::set<pid_t>& before);

}  // namespace tolvane::test
