#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace tolvane {

// The one way worker threads reach the window's thread (the panes' workers, an erase run's
// notifications): a call is queued there and the worker waits until it has run, as a
// blocking queued call does, but only while the gate is open. Closing it answers every waiting
// worker with "not run" and refuses later calls, so the window's thread may then wait for the
// workers to end without ever being waited for by one of them (which is what a controller torn down
// without its shutdown does).
//
// Threads: construct, close and destroy on the window's thread; Run from worker threads.
// No lock is held while a call runs or while a worker waits.
class GuiCallGate {
public:
    GuiCallGate();
    ~GuiCallGate();
    GuiCallGate(const GuiCallGate&) = delete;
    GuiCallGate& operator=(const GuiCallGate&) = delete;

    // Runs `call` on the window's thread and returns true once it has run; false, without
    // running it, when the gate is closed first. A call already running is waited for.
    bool Run(const std::function<void()>& call);
    // From now on no queued call runs and every Run returns false.
    void Close();
    // Called on the worker once its call is queued, before it waits; for tests that must act
    // while a worker waits for this thread. Only while no worker runs.
    void SetQueuedHook(std::function<void()> hook) { m_queuedHook = std::move(hook); }

private:
    struct Shared {
        std::mutex lock;
        std::condition_variable changed;
        bool closed = false;  // guarded by lock
    };

    std::shared_ptr<Shared> m_shared;
    std::function<void()> m_queuedHook;
    QObject m_context;  // lives on the window's thread: queued calls run there
};

}  // namespace tolvane
