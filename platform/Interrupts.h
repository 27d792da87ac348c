#pragma once

#include <functional>
#include <memory>

namespace tolvane {

// What reached an InterruptPipe since it was last drained.
struct InterruptsSeen {
    bool interrupt = false;    // Ctrl+C (SIGINT): the user may want to stop; ask
    bool termination = false;  // SIGTERM, or SIGHUP (the terminal or the session went): stop
    bool Any() const { return interrupt || termination; }
};

// Routes Ctrl+C (SIGINT), SIGTERM and SIGHUP into a pipe for as long as it lives, so that a
// thread can wait for them with poll next to other descriptors, and a run ends through its
// own stop (the current file handled as a stop handles it, fill files released) instead of
// dying in the middle of a file. Restores the previous handling when it goes. One at a time
// per process. The handler itself only writes a byte (async-signal-safe).
//
// A signal the process was started with ignored stays ignored: `nohup` and background jobs
// of scripts ask for exactly that.
class InterruptPipe {
public:
    InterruptPipe();
    ~InterruptPipe();
    InterruptPipe(const InterruptPipe&) = delete;
    InterruptPipe& operator=(const InterruptPipe&) = delete;

    // Readable after a signal; -1 when the pipe could not be made (the signals then keep
    // their default effect).
    int ReadFd() const { return m_read; }
    // Takes and forgets the signals seen so far. Any thread.
    InterruptsSeen Drain() const;

private:
    struct Previous;  // the handling replaced, per signal
    int m_read = -1;
    std::unique_ptr<Previous> m_previous;
};

// Runs `start` with the signals of InterruptPipe blocked in the calling thread, so that
// threads it starts never receive them (they go to the thread that waits for them); restores
// the mask afterwards.
void WithInterruptsBlocked(const std::function<void()>& start);

// A reader of our output that goes away (| head) must not end the process with SIGPIPE in the
// middle of a file: writes then fail with EPIPE instead, which output ignores.
void IgnoreBrokenPipe();

}  // namespace tolvane
