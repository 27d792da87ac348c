#pragma once

#include <condition_variable>
#include <mutex>

namespace tolvane {

// Holds an erase worker still while the user is asked whether to stop. The window's thread
// calls Hold() (returns at once, never waits for the worker) and Release(); the worker calls
// Pass() between blocks and between entries, where it holds no lock, and waits there while
// the gate is held.
class PauseGate {
public:
    void Hold();
    void Release();
    void Pass();
    bool IsHeld() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;  // guarded by m_mutex
};

}  // namespace tolvane
