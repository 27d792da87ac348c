#pragma once

#include <sys/types.h>

namespace tolvane {

// The I/O scheduling class of one thread. Lowering it is how the panes' background workers
// keep out of the way of the user's own disk work. An unprivileged user may set Idle and
// BestEffort for their own threads, so a lowered thread can always be put back; the CPU
// priority is never changed, as an unprivileged user could not raise it again.
enum class IoPriority {
    Idle,    // served only when no other I/O is waiting
    Lowest,  // best effort, level 7
    Normal,  // best effort, level 4 (the kernel's default for a nice value of 0)
};

// The kernel's id of the calling thread, for SetIoPriority on it from another thread.
pid_t CurrentThreadId();

// Sets the I/O priority of thread `tid` (0: the calling thread). False when the kernel
// refused (no such thread). Schedulers that ignore priorities still accept them.
bool SetIoPriority(pid_t tid, IoPriority priority);

// The thread's I/O priority as the kernel reports it, or false when it cannot be read. A
// thread that never set one reports Normal.
bool GetIoPriority(pid_t tid, IoPriority& priority);

}  // namespace tolvane
