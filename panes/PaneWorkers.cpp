#include "panes/PaneWorkers.h"

#include "platform/PollWait.h"

namespace tolvane {
namespace {

void WaitEnded(const WorkerThread& worker) {
    int fds[] = {worker.EndedFd()};
    while (!worker.Ended()) {
        // A failing poll (no memory) is retried: the end must be awaited, never assumed.
        WaitReadable(fds, 100);
    }
}

}  // namespace

PaneWorkers::~PaneWorkers() {
    if (m_teardown.joinable()) {
        m_teardown.join();
        return;
    }
    for (WorkerThread* worker : {&m_listing, &m_sizing}) {
        worker->RequestStop();
    }
    for (WorkerThread* worker : {&m_listing, &m_sizing}) {
        WaitEnded(*worker);
        worker->Join();
    }
}

bool PaneWorkers::Start(WorkerThread::Pass listingPass, WorkerThread::Pass sizePass) {
    bool listing = m_listing.Start(std::move(listingPass), IoPriority::Idle);
    bool sizing = m_sizing.Start(std::move(sizePass), IoPriority::Normal);
    return listing && sizing;
}

bool PaneWorkers::Shutdown(Closed closed) {
    if (m_shutdown.exchange(true)) {
        return false;
    }
    m_teardown = std::thread([this, closed = std::move(closed)] { Teardown(closed); });
    return true;
}

void PaneWorkers::Teardown(Closed closed) {
    for (WorkerThread* worker : {&m_listing, &m_sizing}) {
        worker->Cancel();
        worker->RequestStop();
        // Let a worker that had lowered itself finish its last reads at the normal priority;
        // it may have ended already, and then there is no thread to change.
        if (!worker->Ended() && worker->ThreadId() != 0) {
            SetIoPriority(worker->ThreadId(), IoPriority::Normal);
        }
    }
    for (WorkerThread* worker : {&m_listing, &m_sizing}) {
        WaitEnded(*worker);
        worker->Join();
    }
    if (closed) {
        closed();
    }
}

}  // namespace tolvane
