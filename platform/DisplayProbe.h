#pragma once

#include <string>

namespace tolvane {

// Whether a graphical session can be reached, decided from the environment and by connecting
// to the display server's socket (and closing again at once), before any toolkit is started:
// Qt aborts the process when its display is gone, and a DISPLAY left behind by an ended
// session (a terminal multiplexer, an old shell) is common.
//
//   none:        neither DISPLAY nor WAYLAND_DISPLAY is set (or both are empty);
//   reachable:   an X server (DISPLAY ":N" -> the socket /tmp/.X11-unix/XN, abstract or
//                not; "host:N" -> TCP port 6000 + N) or a Wayland compositor
//                (WAYLAND_DISPLAY, relative to XDG_RUNTIME_DIR unless absolute) accepted
//                a connection, or QT_QPA_PLATFORM asks for a platform that needs no server
//                (offscreen, minimal);
//   unreachable: set, but nothing answers.
// `description` names what was tried, e.g. "DISPLAY=:97", for a message.
//
// May block for a moment on a remote X display (at most a few seconds per address). Any
// thread; reads the environment only.
struct DisplayStatus {
    enum class Access { kNone, kReachable, kUnreachable };
    Access access = Access::kNone;
    std::string description;
};
DisplayStatus ProbeDisplay();

}  // namespace tolvane
