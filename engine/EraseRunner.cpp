#include "engine/EraseRunner.h"

#include <algorithm>

#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"

namespace tolvane {

EraseRunner::EraseRunner(Listener& listener) : m_listener(listener) {}

EraseRunner::~EraseRunner() {
    Stop();
    Join();
}

bool EraseRunner::Start(std::vector<std::string> paths, std::unique_ptr<EraseEngine> engine,
                        NotifyTarget* relay) {
    if (!engine || !engine->Ready() || Running()) {
        return false;
    }
    Join();
    m_emptyPath.assign(paths.size(), false);
    for (std::size_t index = 0; index < paths.size(); ++index) {
        m_emptyPath[index] = paths[index].empty();
    }
    m_nextItem = 0;
    m_failuresInItem = 0;
    m_failuresNotified = 0;
    m_notFoundSeen = 0;
    SkipEmptyPaths();
    EraseEngine* worked = engine.get();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_engine = std::move(engine);
        m_running = true;
        m_finished = false;
        m_asking = false;
        m_endPending = false;
        m_outcome = RunOutcome();
    }
    // The pass count doubles as countBytes: with passes the total is in bytes, without (names
    // only) in entries.
    // The paths go to the job, not copied: a run of many paths costs its starter no time per path.
    m_worker = StartEraseJob(std::move(paths), worked->PassCount(), relay ? relay : this, worked);
    return true;
}

bool EraseRunner::Running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

bool EraseRunner::Stopping() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running && !m_finished && m_engine->IsCancelled();
}

bool EraseRunner::BeginAsking() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_running || m_finished || m_asking || m_engine->IsCancelled()) {
        return false;
    }
    m_asking = true;
    m_engine->Gate().Hold();
    return true;
}

void EraseRunner::EndAsking(bool stop) {
    bool endPending = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_asking) {
            return;
        }
        // In force before the release: released first, the worker could pass its next check
        // and erase an entry the user has just chosen to keep. A worker that ended while we
        // asked (it was past its last gate) has nothing left to stop.
        if (stop && !m_finished) {
            m_engine->RequestCancel();
            m_outcome.stoppedByUser = true;
        }
        m_engine->Gate().Release();
        m_asking = false;
        endPending = m_endPending;
        m_endPending = false;
    }
    if (endPending) {
        End();
    }
}

void EraseRunner::Stop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running && !m_finished) {
        m_engine->RequestCancel();
        m_outcome.stoppedByUser = true;
    }
}

void EraseRunner::Join() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

RunOutcome EraseRunner::Outcome() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outcome;
}

std::intptr_t EraseRunner::Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) {
    if (message != WM_ERASE_NOTIFY || m_engine == nullptr) {
        return 0;
    }
    switch (code) {
        case ERN_PROGRESS:
            m_listener.OnProgress(static_cast<int>(std::clamp<std::intptr_t>(value, 0, 1000)));
            break;
        case ERN_FAILED:
            OnFailed(reinterpret_cast<const char*>(value));
            break;
        case ERN_ITEMDONE:
            OnItemDone();
            break;
        case ERN_FINISHED:
            OnFinished();
            break;
        default:
            break;
    }
    return 0;
}

void EraseRunner::OnFailed(const char* path) {
    ++m_failuresInItem;
    ++m_failuresNotified;
    // The engine says why while this message is handled (the worker waits meanwhile).
    m_listener.OnItemFailed(path, m_engine->LastFailureReason());
}

void EraseRunner::OnItemDone() {
    // The engine reports an item that named nothing before it says the item is done.
    const int notFound = m_engine->NotFoundCount();
    ItemEnd item{m_nextItem, m_failuresInItem, notFound != m_notFoundSeen};
    m_notFoundSeen = notFound;
    m_failuresInItem = 0;
    ++m_nextItem;
    SkipEmptyPaths();
    m_listener.OnItemDone(item);
}

void EraseRunner::SkipEmptyPaths() {
    // The walk skips empty paths without a word: they are no items.
    while (m_nextItem < m_emptyPath.size() && m_emptyPath[m_nextItem]) {
        ++m_nextItem;
    }
}

void EraseRunner::OnFinished() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
        // The engine's count, or the failures we were told about when they are more.
        m_outcome.failed = std::max(m_failuresNotified, m_engine->FailedCount());
        m_outcome.notFound = m_engine->NotFoundCount();
        m_outcome.cutShort = m_engine->CutShort();
    }
    m_listener.OnFinished(*m_engine);
    {
        // Decided only now: an answer given while OnFinished ran must not end the run (and
        // delete the engine) under it.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_asking) {
            m_endPending = true;
            return;
        }
    }
    End();
}

void EraseRunner::End() {
    {
        // The worker no longer touches the engine once ERN_FINISHED is handled.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_engine.reset();
        m_running = false;
    }
    m_listener.OnEnded();
}

}  // namespace tolvane
