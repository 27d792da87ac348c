#include "StdOut.h"

#include "platform/Descriptors.h"
#include "platform/TerminalText.h"

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
    // EPIPE, ENOSPC and the like are ignored: output is best effort.
    (void)WriteToDescriptor(STDOUT_FILENO, text);
}

void WriteStdOutName(std::string_view name) {
    // Once: a run's lines should not change style half-way, and isatty per name is wasted.
    static const bool terminal = IsTerminal(STDOUT_FILENO);
    if (terminal) {
        WriteStdOut(EscapeForTerminal(name));
    } else {
        WriteStdOut(name);
    }
}

}  // namespace tolvane
