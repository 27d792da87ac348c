#include "StdOut.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

void WriteStdOut(std::string_view text) {
    // A process started without standard output has fd 1 closed: check it at every write,
    // as a descriptor may appear later.
    if (::fcntl(STDOUT_FILENO, F_GETFD) < 0) {
        return;
    }
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDOUT_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;  // EPIPE, ENOSPC and the like: output is best effort
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace tolvane
