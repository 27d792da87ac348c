#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace tolvane {

// Holds an erase worker still while the user is asked whether to stop. The window's thread
// calls Hold() (returns at once, never waits for the worker) and Release(); the worker calls
// Pass() between blocks and between entries, where it holds no lock, and waits there while
// the gate is held.
//
// A stop must be requested (the engine's cancel flag set) BEFORE Release(): the worker
// leaves the gate straight into its next step, and a flag set after the release may come
// too late for it.
class PauseGate {
public:
    void Hold();
    void Release();
    void Pass();
    bool IsHeld() const;

    // Observers for tests that need the worker at a known point, without timing. Set them
    // before the worker starts; none is called under the gate's lock, so each may call
    // Hold() or Release(). Any of them may be empty.
    struct Hooks {
        std::function<void()> arriving;  // worker, entering Pass() (before it may wait)
        std::function<void()> passed;    // worker, leaving Pass()
        std::function<void()> released;  // the releasing thread, at the end of Release()
    };
    void SetHooks(Hooks hooks) { m_hooks = std::move(hooks); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;  // guarded by m_mutex
    Hooks m_hooks;        // set before the worker starts, then only read
};

}  // namespace tolvane
