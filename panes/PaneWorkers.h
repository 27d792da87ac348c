#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "panes/WorkerThread.h"

namespace tolvane {

// The two background workers of the browser panes, the listing worker (lowest I/O
// priority) and the size worker (normal priority), and their shutdown.
//
// Shutdown returns at once: a teardown thread asks both workers to stop, waits until each
// has said it ended, joins them, puts their I/O priority back and then, as its very last
// act, calls `closed`. The owner's thread therefore never waits for a busy worker, and keeps
// serving whatever the workers ask of it while they finish.
//
// Threads: the owning thread calls everything except the workers' own operations.
class PaneWorkers {
public:
    using Closed = std::function<void()>;

    PaneWorkers() = default;
    // After Shutdown: joins the teardown thread, which has ended once `closed` ran (the owner
    // normally waits for that). Without Shutdown: stops the workers and joins them here.
    ~PaneWorkers();
    PaneWorkers(const PaneWorkers&) = delete;
    PaneWorkers& operator=(const PaneWorkers&) = delete;

    // False when a worker could not be started; the other may run, and Shutdown still ends
    // both and reports `closed`.
    bool Start(WorkerThread::Pass listingPass, WorkerThread::Pass sizePass);
    WorkerThread& Listing() { return m_listing; }
    WorkerThread& Sizing() { return m_sizing; }
    // Stops an ongoing folder read or list fill early; the worker stays.
    void CancelListing() { m_listing.Cancel(); }

    // Starts the teardown and returns at once. Only the first call does anything (true);
    // `closed` runs on the teardown thread, exactly once, after both workers have ended.
    bool Shutdown(Closed closed);
    bool ShuttingDown() const { return m_shutdown.load(); }

private:
    void Teardown(Closed closed);

    WorkerThread m_listing;
    WorkerThread m_sizing;
    std::atomic<bool> m_shutdown{false};
    std::thread m_teardown;
};

}  // namespace tolvane
