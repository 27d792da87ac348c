#pragma once

namespace tolvane {

// Exit statuses of the command-line mode, the same in the window and in the terminal.
enum ExitStatus : int {
    kExitErased = 0,      // everything erased, or the user declined (nothing to report)
    kExitSomeFailed = 1,  // some items failed or named nothing, or no random source works
    kExitUsage = 2,
    kExitStopped = 130,  // stopped by the user or a signal; what was not reached is untouched
};

// How an erase run ended, as far as the exit status cares.
struct RunOutcome {
    // A stop was put in force: the stop question answered Yes, Ctrl+C with nobody to ask,
    // SIGTERM or SIGHUP.
    bool stoppedByUser = false;
    // The stop left something undone (the engine's CutShort()). A stop that came after the
    // last piece of work changed nothing: the run is judged by its failures alone.
    bool cutShort = false;
    bool notStarted = false;  // the engine could not work (no random source)
    int failed = 0;           // items reported failed (also refused ones)
    int notFound = 0;         // items that named nothing

    bool Stopped() const { return stoppedByUser && cutShort; }
    int Status() const {
        if (Stopped()) {
            return kExitStopped;
        }
        return notStarted || failed > 0 || notFound > 0 ? kExitSomeFailed : kExitErased;
    }
};

}  // namespace tolvane
