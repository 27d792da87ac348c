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

unsigned EffectiveUserId() {
    return ::geteuid();
}

}  // namespace tolvane
