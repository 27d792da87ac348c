#pragma once

#include <condition_variable>
#include <mutex>

#include "Waiting.h"

namespace tolvane::test {

// The number of threads of this process, from /proc/self/task. A sanitizer's own helper
// thread, which starts with the first thread a program makes, is counted from the first call
// on, so counts taken before and after some work compare.
int ThreadCount();

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

}  // namespace tolvane::test
