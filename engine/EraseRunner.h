#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/NotifyTarget.h"
#include "engine/RunOutcome.h"

namespace tolvane {

class EraseEngine;

// One erase run, the same for every front end: owns the engine and its worker thread, starts
// the job, turns the worker's WM_ERASE_NOTIFY messages into calls of a Listener, holds the
// worker still while the user is asked whether to stop, and says how the run ended.
//
// The notifications reach the runner through Send(). A front end whose handlers must run on
// its own thread (a window) passes a relay to Start() that hops there with a blocking call and
// calls Send() on arrival; without a relay the worker calls Send() itself. Either way the
// worker waits while the Listener runs, so a failed path's text and the engine's reason stay
// valid during the call.
//
// The stop question: BeginAsking() holds the worker at its next gate (between blocks and
// between entries, where it holds no lock), EndAsking() puts the answer in force BEFORE the
// worker is let go, so a worker released first can never erase an entry the user has just
// chosen to keep. A run whose worker was already past its last gate may end while the
// question is open; its end is then kept back until the question is answered, so the
// front end never tears the run down under its own question.
//
// Threads: Start, BeginAsking, EndAsking, Stop, Running and Join on the owner's thread; Send
// on the relay's thread (the owner's) or on the worker. The owner must not destroy a runner
// whose end has not been delivered while Send can only reach it through the owner's own
// event loop (see ~EraseRunner).
class EraseRunner : public NotifyTarget {
public:
    // How one item of the list ended.
    struct ItemEnd {
        std::size_t index = 0;  // in the list given to Start()
        int failures = 0;       // ERN_FAILED for it (failures between two item ends are its)
        bool notFound = false;  // it named nothing
        bool Erased() const { return failures == 0 && !notFound; }
    };

    // What a run tells its front end, decoded once. Called from Send(), while the worker
    // waits; the engine may be read through Engine() during the calls.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void OnProgress(int /*perMille*/) {}
        // `path` is the worker's text, valid during the call only.
        virtual void OnItemFailed(const std::string& /*path*/, const std::string& /*reason*/) {}
        virtual void OnItemDone(const ItemEnd& /*item*/) {}
        // The walk is over; Outcome() is final and the engine's counts and notes can be read.
        virtual void OnFinished(const EraseEngine& /*engine*/) {}
        // The run is over and no stop question is open: the engine is gone. Comes right after
        // OnFinished, or from EndAsking() when the end came while the question was open.
        virtual void OnEnded() {}
    };

    explicit EraseRunner(Listener& listener);
    // A run still going is stopped and its worker joined. The worker must be able to reach
    // Send() meanwhile: a front end that relays to its own thread ends the run first.
    ~EraseRunner() override;
    EraseRunner(const EraseRunner&) = delete;
    EraseRunner& operator=(const EraseRunner&) = delete;

    // Starts the worker on `paths` with `engine` (the pass count decides whether the total is
    // counted in bytes or in entries). False, and nothing started, without a working engine
    // or while a run is going. A finished earlier run's worker is joined first.
    bool Start(std::vector<std::string> paths, std::unique_ptr<EraseEngine> engine,
               NotifyTarget* relay = nullptr);
    // From Start() until the end was delivered (OnEnded).
    bool Running() const;
    // A stop is in force (asked for and not yet overtaken by the end).
    bool Stopping() const;

    // Holds the worker for a stop question. False, and nothing held, when there is nothing to
    // ask about: no run, its end already came, a stop is already in force, or a question is
    // already open.
    bool BeginAsking();
    // The answer to the question begun above: on `stop` the run stops at the engine's next
    // check (unless its end already came). Then the worker goes on, and an end that came
    // meanwhile is delivered.
    void EndAsking(bool stop);
    // A stop without a question (a termination signal, a window that closes). Does nothing
    // once the end has come.
    void Stop();
    // Waits for the worker of an ended run (it only frees its job after the end).
    void Join();

    // The engine of the run, for the Listener's calls; null outside a run.
    const EraseEngine* Engine() const { return m_engine.get(); }
    // Final once OnFinished is called.
    RunOutcome Outcome() const;

    // The worker's notifications (through the relay, if any).
    std::intptr_t Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) override;

private:
    void OnFailed(const char* path);
    void OnItemDone();
    void OnFinished();
    void End();
    void SkipEmptyPaths();

    Listener& m_listener;
    std::thread m_worker;
    std::vector<bool> m_emptyPath;  // by index in the list given to Start()

    mutable std::mutex m_mutex;  // guards the engine's ownership and the states below
    std::unique_ptr<EraseEngine> m_engine;
    bool m_running = false;
    bool m_finished = false;  // ERN_FINISHED came
    bool m_asking = false;
    bool m_endPending = false;  // ERN_FINISHED came while asking
    RunOutcome m_outcome;

    // Read and written by the delivering thread only (one worker, one message at a time).
    std::size_t m_nextItem = 0;  // index in the list given to Start() of the item being walked
    int m_failuresInItem = 0;
    int m_failuresNotified = 0;
    int m_notFoundSeen = 0;
};

}  // namespace tolvane
