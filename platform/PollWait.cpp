#include "platform/PollWait.h"

#include <errno.h>
#include <poll.h>

#include <vector>

#include "platform/Descriptors.h"

namespace tolvane {

int WaitReadable(std::span<const int> fds, int timeoutMs) {
    std::vector<pollfd> entries;
    entries.reserve(fds.size());
    for (int fd : fds) {
        entries.push_back({fd, POLLIN, 0});
    }
    for (;;) {
        // A signal restarts the full timeout; callers wait without limit or only briefly.
        const int ready =
            RetryOnInterrupt([&] { return ::poll(entries.data(), entries.size(), timeoutMs); });
        if (ready < 0) {
            return kWaitFailed;
        }
        if (ready == 0) {
            return kWaitTimedOut;
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].revents != 0) {
                // POLLNVAL is a descriptor closed under the waiter: a caller's fault, and
                // waiting again would spin.
                return (entries[i].revents & POLLNVAL) != 0 ? kWaitFailed : static_cast<int>(i);
            }
        }
    }
}

}  // namespace tolvane
