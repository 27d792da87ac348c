#pragma once

#include <span>

namespace tolvane {

// Waits until one of the descriptors is readable (or hung up), for at most timeoutMs
// milliseconds (-1: no limit), continuing after signals. Returns the index of the first
// ready descriptor, kWaitTimedOut, or kWaitFailed when poll() itself fails (an invalid
// descriptor, no memory). Negative descriptors are skipped, as poll() does.
constexpr int kWaitTimedOut = -1;
constexpr int kWaitFailed = -2;
int WaitReadable(std::span<const int> fds, int timeoutMs);

}  // namespace tolvane
