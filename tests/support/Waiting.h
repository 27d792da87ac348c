#pragma once

// Waiting in tests, always with a deadline: a broken worker or child fails its test instead of
// hanging the suite. The limits are guards far beyond any normal delay, not measurements.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

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

}  // namespace tolvane::test
