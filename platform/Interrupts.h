#pragma once

#include <functional>

namespace tolvane {

// Routes Ctrl+C (SIGINT) into a pipe for as long as it lives, so that a thread can wait for
// it with poll next to other descriptors; restores the previous handling when it goes. One
// at a time per process. The handler itself only writes a byte (async-signal-safe).
class InterruptPipe {
public:
    InterruptPipe();
    ~InterruptPipe();
    InterruptPipe(const InterruptPipe&) = delete;
    InterruptPipe& operator=(const InterruptPipe&) = delete;

    // Readable after an interrupt; -1 when the pipe could not be made (Ctrl+C then keeps its
    // default effect).
    int ReadFd() const { return m_read; }
    // Forgets the interrupts seen so far.
    void Drain() const;

private:
    int m_read = -1;
    void* m_previous;  // the struct sigaction replaced
};

// Runs `start` with SIGINT blocked in the calling thread, so that threads it starts never
// receive the signal (it goes to the thread that waits for it); restores the mask afterwards.
void WithInterruptsBlocked(const std::function<void()>& start);

// A reader of our output that goes away (| head) must not end the process with SIGPIPE in the
// middle of a file: writes then fail with EPIPE instead, which output ignores.
void IgnoreBrokenPipe();

}  // namespace tolvane
