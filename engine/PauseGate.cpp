#include "engine/PauseGate.h"

namespace tolvane {

void PauseGate::Hold() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_held = true;
}

void PauseGate::Release() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held = false;
    }
    m_released.notify_all();
}

void PauseGate::Pass() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_released.wait(lock, [this] { return !m_held; });
}

bool PauseGate::IsHeld() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held;
}

}  // namespace tolvane
