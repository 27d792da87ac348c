#include "panes/WorkerThread.h"

#include "platform/PollWait.h"

namespace tolvane {

WorkerThread::~WorkerThread() {
    RequestStop();
    if (m_thread.joinable()) {
        // The owner normally joined already; waiting here for the end keeps the rule that
        // no thread outlives its object even on an owner's early return.
        int ended[] = {m_ended.Fd()};
        while (!Ended() && WaitReadable(ended, -1) == kWaitTimedOut) {
        }
        m_thread.join();
    }
}

bool WorkerThread::Start(Pass pass, IoPriority priority) {
    if (m_started.exchange(true)) {
        return false;
    }
    if (!m_wake.Valid() || !m_ended.Valid()) {
        return false;
    }
    m_pass = std::move(pass);
    m_launched.store(true);
    m_thread = std::thread([this, priority] { Run(priority); });
    return true;
}

void WorkerThread::RequestStop() {
    m_stop.store(true);
    m_wake.Signal();
}

void WorkerThread::Nap(std::chrono::milliseconds timeout) const {
    const int wake[] = {m_wake.Fd()};
    // Failing or woken, the nap ends: the pass goes on either way.
    (void)WaitReadable(wake, static_cast<int>(timeout.count()));
}

bool WorkerThread::Join() {
    if (!Ended() || !m_thread.joinable()) {
        return false;
    }
    m_thread.join();
    return true;
}

void WorkerThread::Run(IoPriority priority) {
    m_tid.store(CurrentThreadId());
    // Best effort: a thread at the normal priority only competes harder for the disk.
    SetIoPriority(0, priority);
    std::vector<int> fds{m_wake.Fd()};
    fds.insert(fds.end(), m_watchFds.begin(), m_watchFds.end());
    while (!m_stop.load()) {
        int woken = WaitReadable(fds, -1);
        if (woken == kWaitFailed) {
            break;  // nothing can wake this worker any more: end rather than spin
        }
        if (m_stop.load()) {
            break;
        }
        if (woken == 0) {
            m_wake.Reset();
        }
        if (m_pass) {
            m_pass(*this, woken);
        }
    }
    SayEnded();
}

void WorkerThread::SayEnded() {
    m_endedCount.fetch_add(1);
    m_ended.Signal();  // the last act: from here on the thread touches nothing of this object
}

}  // namespace tolvane
