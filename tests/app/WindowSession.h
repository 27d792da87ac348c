#pragma once

// What the tests that run the real window under a private X server share: the check for the
// programs they need and the shell lines around the window program (a window manager that
// ends with the script, a read-only root, the window program's environment).
#include <initializer_list>
#include <string>

#include "TempDir.h"

namespace tolvane::test {

// The first of `programs` that is not on PATH, or "" when all are.
inline std::string MissingProgram(std::initializer_list<const char*> programs) {
    for (const char* program : programs) {
        if (RunCommand(std::string("command -v ") + program + " >/dev/null 2>&1") != 0) {
            return program;
        }
    }
    return {};
}

// Starts openbox on $DISPLAY and ends it, and the X server in $xs when one was started, however
// the script ends: at its exit, and at a timeout's signal, which the second trap turns into an
// exit. A window manager left behind would outlive the test and hold its display.
inline constexpr char kWindowManagerLines[] =
    "openbox >/dev/null 2>&1 &\n"
    "wm=$!\n"
    "trap 'kill $wm ${xs:-} 2>/dev/null' EXIT\n"
    "trap 'exit 143' TERM INT HUP\n"
    "sleep 1\n";

// Makes "/" read-only in the script's own mount namespace (the flag is the mount's, not the
// file system's) and checks that it is, before anything else runs. No single quotes: the
// lines also run inside sh -c '...'.
inline constexpr char kReadOnlyRootLines[] =
    "mount -o remount,bind,ro / || { echo \"cannot make / read-only\"; exit 90; }\n"
    "if touch /.tolvane-write-probe 2>/dev/null; then\n"
    "    rm -f /.tolvane-write-probe; echo \"/ is still writable\"; exit 91\n"
    "fi\n";

// The window program's environment: the xcb platform, and no leak report, since the X
// libraries keep allocations to their end and such a report would end the program before its
// own report reaches the test.
inline constexpr char kWindowProgramEnv[] = "QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0";

}  // namespace tolvane::test
