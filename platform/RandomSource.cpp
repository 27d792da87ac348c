#include "RandomSource.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "platform/Descriptors.h"

namespace tolvane {

namespace {

// Reads length bytes through a read-like function, continuing after signals and short reads.
template <typename ReadFn>
bool ReadFully(unsigned char* out, std::size_t length, ReadFn read) {
    while (length > 0) {
        // A signal during a large request: ask for the rest.
        const ssize_t n = RetryOnInterrupt([&] { return read(out, length); });
        if (n <= 0) {
            return false;
        }
        out += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool SystemRandom(void* buffer, std::size_t length) {
    auto* out = static_cast<unsigned char*>(buffer);
    if (ReadFully(out, length,
                  [](unsigned char* p, std::size_t n) { return ::getrandom(p, n, 0); })) {
        return true;
    }
    // getrandom is missing in some sandboxes (ENOSYS, or EPERM from a seccomp filter):
    // the device is the same source under another door.
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok =
        ReadFully(out, length, [fd](unsigned char* p, std::size_t n) { return ::read(fd, p, n); });
    ::close(fd);
    return ok;
}

}  // namespace tolvane
