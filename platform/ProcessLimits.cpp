#include "platform/ProcessLimits.h"

#include <sys/resource.h>
#include <unistd.h>

namespace tolvane {

void RaiseOpenFileLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);  // the old limit still works, only shallower
    }
}

std::size_t OpenFileLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 1024;
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

unsigned EffectiveUserId() {
    return ::geteuid();
}

int ProcessId() {
    return static_cast<int>(::getpid());
}

}  // namespace tolvane
