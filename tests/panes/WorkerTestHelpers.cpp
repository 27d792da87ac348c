#include "WorkerTestHelpers.h"

#include <filesystem>
#include <thread>

namespace tolvane::test {

int ThreadCount() {
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    static_cast<void>(warmedUp);
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
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

}  // namespace tolvane::test
