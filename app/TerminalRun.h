#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RunOutcome.h"
#include "engine/FailedItemList.h"
#include "engine/NotifyTarget.h"
#include "platform/Descriptors.h"

namespace tolvane {

class EraseEngine;
class InterruptPipe;

// A command-line run without a window (no display, or --yes): the confirmation as a y/N
// prompt, the engine's own progress line on standard output, Ctrl+C as the stop request,
// and the list of failed paths at the end.
//
// Threads: Run() on the main thread, which owns the engine, answers SIGINT and reads the
// answers; the worker calls Send() directly (there is no GUI thread to hop to). SIGINT is
// kept away from the worker; its handler only writes a byte to a pipe that the main thread
// polls together with the worker's end.
//
// The conversation (confirmation, questions, the failure list) goes to `talkFd`, standard
// error by default, so standard output carries only the engine's lines. Answers are lines
// read from `answerFd`: "y" or "yes" (any case) agree; anything else, end of input and a
// second Ctrl+C while asking mean No. Paths are written byte for byte.
class TerminalRun : public NotifyTarget {
public:
    TerminalRun(std::vector<std::string> paths, std::optional<int> passes, bool assumeYes,
                int answerFd = 0, int talkFd = 2);
    ~TerminalRun() override;
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    // Confirms and erases; returns the exit status (RunOutcome::Status).
    int Run();

    // Worker thread: collects failures, and on ERN_FINISHED takes the engine's counts and
    // wakes the main thread (the engine itself is deleted there, after the worker ended).
    std::intptr_t Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) override;

private:
    enum class Answer { Yes, No };

    bool Confirm();
    void WaitForWorker(const InterruptPipe& interrupts);
    Answer AskStop(const InterruptPipe& interrupts);
    // One answer line; with `interrupts`, a Ctrl+C while waiting means No.
    Answer ReadAnswer(const InterruptPipe* interrupts);
    void Say(const std::string& text) const;

    std::vector<std::string> m_paths;
    std::optional<int> m_passes;
    bool m_assumeYes;
    int m_answerFd;
    int m_talkFd;
    std::string m_pendingInput;  // read past the end of the last answer line

    std::unique_ptr<EraseEngine> m_engine;
    EventPipe m_done;  // notified by the worker after ERN_FINISHED
    std::atomic<bool> m_finished{false};
    // Written by the worker, read by the main thread after it joined the worker.
    FailedItemList m_failedItems;
    int m_failedNotified = 0;
    RunOutcome m_outcome;
};

}  // namespace tolvane
