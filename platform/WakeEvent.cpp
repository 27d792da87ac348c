#include "platform/WakeEvent.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tolvane {

WakeEvent::WakeEvent() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeEvent::Signal() const {
    if (!Valid()) {
        return;
    }
    std::uint64_t one = 1;
    // EAGAIN means the counter is full, which is signalled as well; EINTR cannot happen on a
    // non-blocking eventfd write of 8 bytes, so the one write is all.
    [[maybe_unused]] ssize_t written = ::write(m_fd.Get(), &one, sizeof one);
}

void WakeEvent::Reset() const {
    if (!Valid()) {
        return;
    }
    std::uint64_t count = 0;
    // EAGAIN: not signalled, nothing to take away. One read empties the counter.
    [[maybe_unused]] ssize_t got = ::read(m_fd.Get(), &count, sizeof count);
}

bool WakeEvent::IsSignalled() const {
    if (!Valid()) {
        return false;
    }
    pollfd entry{m_fd.Get(), POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
}

}  // namespace tolvane
