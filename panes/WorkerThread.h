#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/IoPriority.h"
#include "platform/WakeEvent.h"

namespace tolvane {

// One background worker of the browser panes: a thread that sleeps in poll() on its wake
// event and its watch descriptors, and runs its pass each time one of them is ready, until it
// is asked to stop. Its last act is to say it has ended (Ended(), EndedFd()); only then may
// it be joined, so a joining thread never waits for a worker that is still busy.
//
// The pass runs on the worker thread. It is given the index of what woke it: 0 the wake
// event (already reset, so a Wake() during the pass runs it again), 1.. the watch descriptors
// in the order given (the pass must drain them). A long pass polls StopRequested() and
// CancelRequested() and returns early when either is set.
//
// Threads: Start, Join and the destructor on the owning thread; Wake, RequestStop, Cancel,
// ClearCancel and the queries from any thread.
class WorkerThread {
public:
    using Pass = std::function<void(WorkerThread& worker, int woken)>;

    WorkerThread() = default;
    // Stops the worker, waits for it to end and joins it: no thread outlives its object.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Watch descriptors stay owned by the caller and must stay open until the worker ended.
    // Only before Start.
    void SetWatchFds(std::vector<int> fds) { m_watchFds = std::move(fds); }
    // Starts the thread with the given I/O priority. False when it was started before or its
    // events could not be made (descriptor limit); then no thread runs.
    bool Start(Pass pass, IoPriority priority);

    void Wake() const { m_wake.Signal(); }
    // Sleeps for at most `timeout`, returning early when woken or asked to stop. A wake
    // stays pending, so the pass after it still runs for the request that woke it.
    void Nap(std::chrono::milliseconds timeout) const;
    void RequestStop();
    bool StopRequested() const { return m_stop.load(); }
    void Cancel() { m_cancel.store(true); }
    void ClearCancel() { m_cancel.store(false); }
    bool CancelRequested() const { return m_cancel.load() || m_stop.load(); }

    // True once the thread has ended, and for a worker whose thread never ran. EndedFd() is
    // readable once a thread that ran has ended.
    bool Ended() const { return !m_launched.load() || m_endedCount.load() > 0; }
    int EndedFd() const { return m_ended.Fd(); }
    // How often the thread said it ended: 1 after a run, 0 before its end or without one.
    int EndedCount() const { return m_endedCount.load(); }
    // The kernel's id of the worker thread, 0 before it started.
    pid_t ThreadId() const { return m_tid.load(); }
    // Joins the thread; only once Ended() is true (false and nothing done otherwise).
    bool Join();
    bool Joinable() const { return m_thread.joinable(); }

private:
    void Run(IoPriority priority);
    void SayEnded();

    WakeEvent m_wake;
    WakeEvent m_ended;
    std::vector<int> m_watchFds;
    Pass m_pass;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_launched{false};
    std::atomic<int> m_endedCount{0};
    std::atomic<pid_t> m_tid{0};
    std::thread m_thread;
};

}  // namespace tolvane
