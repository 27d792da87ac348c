#include "platform/StandardStreams.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

bool OpenMissingStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lower numbers are open by now, so open() hands out exactly this one. Not
        // close-on-exec: these are the standard descriptors of anything we might start.
        int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0) {
                ::close(opened);  // cannot happen while the lower ones are open; be safe
            }
            return false;
        }
    }
    return true;
}

UniqueFd OpenControllingTerminal() {
    // O_NOCTTY: a process without a terminal must not acquire one by asking.
    return UniqueFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
}

}  // namespace tolvane
