#include "platform/Descriptors.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tolvane {

bool WriteToDescriptor(int fd, std::string_view text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = RetryOnInterrupt([&] { return ::write(fd, p, left); });
        if (n <= 0) {
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

Readable WaitForEither(int fd, int other, int timeoutMs) {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {other, POLLIN, 0}};
        // A signal's handler only wrote to a pipe: the wait goes on.
        const int ready =
            RetryOnInterrupt([&] { return ::poll(fds, other >= 0 ? 2 : 1, timeoutMs); });
        if (ready < 0) {
            return Readable::Error;
        }
        if (ready == 0) {
            return Readable::TimedOut;
        }
        // The other descriptor first: an interrupt wins over input that arrived with it.
        if (other >= 0 && fds[1].revents != 0) {
            return Readable::Other;
        }
        // POLLHUP and POLLNVAL count too: the read that follows reports end of input.
        if (fds[0].revents != 0) {
            return Readable::First;
        }
    }
}

EventPipe::EventPipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        m_read = fds[0];
        m_write = fds[1];
    }
}

EventPipe::~EventPipe() {
    if (m_read >= 0) {
        ::close(m_read);
        ::close(m_write);
    }
}

void EventPipe::Notify() const {
    char byte = 1;
    (void)WriteToDescriptor(m_write, std::string_view(&byte, 1));  // a full pipe is notified
}

}  // namespace tolvane
