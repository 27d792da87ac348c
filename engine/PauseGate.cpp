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
    if (m_hooks.released) {
        m_hooks.released();
    }
}

void PauseGate::Pass() {
    if (m_hooks.arriving) {
        m_hooks.arriving();
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_released.wait(lock, [this] { return !m_held; });
    }
    if (m_hooks.passed) {
        m_hooks.passed();
    }
}

bool PauseGate::IsHeld() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held;
}

}  // namespace tolvane
