#include "platform/IoPriority.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace tolvane {
namespace {

// From linux/ioprio.h, which older C libraries do not wrap.
constexpr int kWhoProcess = 1;  // a "process" here is one thread id
constexpr int kClassShift = 13;
constexpr int kClassBestEffort = 2;
constexpr int kClassIdle = 3;
constexpr int kDefaultLevel = 4;

int Encode(IoPriority priority) {
    switch (priority) {
        case IoPriority::Idle:
            return kClassIdle << kClassShift;
        case IoPriority::Lowest:
            return (kClassBestEffort << kClassShift) | 7;
        case IoPriority::Normal:
            break;
    }
    return (kClassBestEffort << kClassShift) | kDefaultLevel;
}

}  // namespace

pid_t CurrentThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool SetIoPriority(pid_t tid, IoPriority priority) {
    return ::syscall(SYS_ioprio_set, kWhoProcess, tid, Encode(priority)) == 0;
}

bool GetIoPriority(pid_t tid, IoPriority& priority) {
    long value = ::syscall(SYS_ioprio_get, kWhoProcess, tid);
    if (value < 0) {
        return false;
    }
    int ioClass = static_cast<int>(value) >> kClassShift;
    int level = static_cast<int>(value) & ((1 << kClassShift) - 1);
    if (ioClass == kClassIdle) {
        priority = IoPriority::Idle;
    } else if (ioClass == kClassBestEffort && level == 7) {
        priority = IoPriority::Lowest;
    } else {
        // No class set yet (class 0) follows the nice value: the default best effort.
        priority = IoPriority::Normal;
    }
    return true;
}

}  // namespace tolvane
